#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root and tries it as an
# installed program: its file list, the desktop's validators, and the unpacked
# player itself playing a wave, a MIDI and an AVI file (the video driver found
# from the installed layout), each heard on SDL's disk audio driver.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --tests
# Built as CI builds everything: a warning that only the hardening flags
# bring out (fortified calls, the optimiser) is an error here.
QUORVANA_WERROR=ON bash scripts/package.sh
deb=$(ls build/package/quorvana_*_amd64.deb)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
dpkg-deb -x "$deb" "$root"

expected="usr/bin/quorvana
usr/lib/quorvana/quorvana-video.so
usr/share/applications/quorvana.desktop
usr/share/doc/quorvana/changelog.gz
usr/share/doc/quorvana/copyright
usr/share/icons/hicolor/128x128/apps/quorvana.png
usr/share/icons/hicolor/16x16/apps/quorvana.png
usr/share/icons/hicolor/24x24/apps/quorvana.png
usr/share/icons/hicolor/256x256/apps/quorvana.png
usr/share/icons/hicolor/32x32/apps/quorvana.png
usr/share/icons/hicolor/48x48/apps/quorvana.png
usr/share/icons/hicolor/64x64/apps/quorvana.png
usr/share/icons/hicolor/scalable/apps/quorvana.svg
usr/share/man/man1/quorvana.1.gz
usr/share/metainfo/io.github.quorvana.Quorvana.metainfo.xml
usr/share/mime/packages/quorvana.xml"
actual=$(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
  echo "The package holds other files than expected:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
desktop-file-validate "$root/usr/share/applications/quorvana.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.quorvana.Quorvana.metainfo.xml"
lintian --allow-root --fail-on error "$deb"

# Any General MIDI soundfont Debian has will do, not only FluidR3.
depends=$(dpkg-deb -f "$deb" Depends)
if ! grep -q 'fluid-soundfont-gm | sf2-soundfont-gm' <<<"$depends"; then
  echo "The package does not accept any General MIDI soundfont: $depends"
  exit 1
fi

# Debian's hardening, read from the files themselves as lintian does:
# relocations read-only and bound at start, the stack protector, and
# fortified libc calls wherever a call can be fortified.
unhardened() {
  local file=$1 segments dynamic symbols
  segments=$(readelf -lW "$file")
  dynamic=$(readelf -dW "$file")
  symbols=$(readelf -W --dyn-syms "$file" | awk '$7 == "UND" { sub(/@.*/, "", $8); print $8 }')
  grep -q GNU_RELRO <<<"$segments" || echo "no RELRO"
  grep -Eq 'BIND_NOW|\(FLAGS_1\).* NOW' <<<"$dynamic" || echo "no BIND_NOW"
  grep -qx '__stack_chk_fail' <<<"$symbols" || echo "no stack protector"
  if ! grep -Eqx '__[a-z0-9_]+_chk' <<<"$symbols" \
    && grep -Eqx '(mem(cpy|move|set)|st(r|p)n?cpy|strn?cat|v?s?n?printf|v?fprintf|read|pread(64)?|readlink|getcwd|realpath)' <<<"$symbols"; then
    echo "no fortified libc calls"
  fi
}
for file in usr/bin/quorvana usr/lib/quorvana/quorvana-video.so; do
  problems=$(unhardened "$root/$file")
  if [ -n "$problems" ]; then
    echo "$file is not hardened:" $problems
    exit 1
  fi
done
if ! grep -q 'Type: *DYN' <<<"$(readelf -hW "$root/usr/bin/quorvana")"; then
  echo "usr/bin/quorvana is no position-independent executable"
  exit 1
fi

media="$work/media"
mkdir -p "$media" "$work/home"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=2" "$media/tone.wav"
ffmpeg -loglevel error -f lavfi -i testsrc=size=160x120:rate=10:duration=2 \
  -f lavfi -i "sine=frequency=300:duration=2" -c:v mjpeg -c:a pcm_s16le "$media/clip.avi"
# One format-0 track: four notes of a quarter each at 120 bpm.
printf 'MThd\0\0\0\6\0\0\0\1\1\xe0MTrk\0\0\0\x24\0\x90\x3c\x64\x83\x60\x80\x3c\0\0\x90\x40\x64\x83\x60\x80\x40\0\0\x90\x43\x64\x83\x60\x80\x43\0\0\xff\x2f\0' \
  > "$media/notes.mid"

peak() {
  python3 - "$1" <<'PY'
import array, sys
samples = array.array('f')
data = open(sys.argv[1], 'rb').read()
samples.frombytes(data[:len(data) // 4 * 4])
print(max((abs(s) for s in samples), default=0.0))
PY
}

for file in tone.wav notes.mid clip.avi; do
  rm -f "$work/out.raw"
  HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" \
    QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/out.raw" \
    timeout 4 "$root/usr/bin/quorvana" "$media/$file" 2> "$work/err.txt" || true
  if grep -q "^quorvana: " "$work/err.txt"; then
    echo "The installed player refused $file:"
    grep "^quorvana: " "$work/err.txt"
    exit 1
  fi
  level=$(peak "$work/out.raw")
  if ! python3 -c "import sys; sys.exit(0 if float('$level') > 0.01 else 1)"; then
    echo "The installed player was silent on $file (peak $level)"
    exit 1
  fi
  echo "installed player: $file heard, peak $level"
done
echo "package: $(du -k "$deb" | cut -f1) KiB, hardened, $depends"

#!/usr/bin/env bash
# Installs what the player needs to build, run and be tested on Debian 12.
# Idempotent: asks apt only for packages that are missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libxcb1-dev libfontconfig-dev
  libsdl2-dev libsndfile1-dev libfluidsynth-dev libsqlite3-dev fluid-soundfont-gm libasound2-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  fonts-liberation2 xdg-utils
  libgtest-dev libgmock-dev libbenchmark-dev
)
if [ "${1:-}" = "--package" ] || [ "${1:-}" = "--tests" ]; then
  # The package's dependencies are computed by dpkg-shlibdeps; its files are
  # checked by lintian and the desktop's own validators.
  packages+=(dpkg-dev file lintian desktop-file-utils appstream)
fi
if [ "${1:-}" = "--tests" ]; then
  # Tests encode media with ffmpeg, fuzz with clang, show windows under Xvfb
  # with a real window manager, run a session bus of their own, click
  # through the soak, change to a second soundfont, and play through a real
  # sound server (PipeWire with its session manager and PulseAudio service).
  # xrandr plugs and unplugs a second screen.
  packages+=(ffmpeg clang clang-format libclang-rt-14-dev xvfb xauth openbox libxcb1-dev x11-utils x11-xserver-utils
             dbus-daemon xdotool timgm6mb-soundfont pipewire wireplumber pipewire-pulse pulseaudio-utils libglib2.0-bin)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

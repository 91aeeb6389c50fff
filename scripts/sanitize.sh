#!/usr/bin/env bash
# The test suite under AddressSanitizer and UndefinedBehaviorSanitizer, then
# the tests that drive playback threads (MIDI and media devices) under
# ThreadSanitizer. Each build has a folder of its own (build/asan,
# build/tsan), without benchmarks or fuzzers. Builds and the full run take
# the shared build lock, so that two builds never run at once on the machine.
# Prints how long each part took.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --tests
jobs="$(nproc)"
lock=/tmp/quorvana-build.lock
supp="$PWD/scripts/sanitizers"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy

configure() { # PRESET
  flock "$lock" cmake --preset "$1" -DQUORVANA_WERROR="${QUORVANA_WERROR:-OFF}" >/dev/null
}

start=$SECONDS
configure asan
flock "$lock" cmake --build build/asan -j "$jobs"
built=$SECONDS
(
  cd build/asan
  ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1" \
  LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    flock "$lock" ctest --output-on-failure -j "$jobs"
)
echo "AddressSanitizer + UndefinedBehaviorSanitizer: build $((built - start)) s, tests $((SECONDS - built)) s"

start=$SECONDS
configure tsan
# The tests labelled "threads" drive playback threads; each is its own target.
mapfile -t tsan_tests < <(cd build/tsan && ctest -N -L threads | sed -n 's/^ *Test *#[0-9]*: //p')
flock "$lock" cmake --build build/tsan -j "$jobs" --target "${tsan_tests[@]}"
built=$SECONDS
(
  cd build/tsan
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp" \
    ctest --output-on-failure -j "$jobs" -L threads
)
echo "ThreadSanitizer: build $((built - start)) s, tests $((SECONDS - built)) s"

#!/usr/bin/env bash
# Installs what is missing, builds the player (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANA_TESTS=OFF -DQUORVANA_BENCH=OFF >/dev/null
cmake --build build/release --target quorvana
exec build/release/app/quorvana "$@"

#!/usr/bin/env bash
# Installs what is missing, builds the player (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build build/release --target quorvana
exec build/release/app/quorvana "$@"

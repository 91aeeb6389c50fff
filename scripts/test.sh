#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --tests
# CI sets QUORVANA_WERROR=ON: a warning fails its build there.
cmake --preset test -DQUORVANA_WERROR="${QUORVANA_WERROR:-OFF}" >/dev/null
cmake --build build/test -j "$(nproc)"
cd build/test
ctest --output-on-failure -j "$(nproc)"

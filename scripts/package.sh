#!/usr/bin/env bash
# Builds the Debian package: build/package/quorvana_<version>_amd64.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --package
# CI sets QUORVANA_WERROR=ON (check-package.sh): a warning fails its build there.
cmake --preset package -DQUORVANA_WERROR="${QUORVANA_WERROR:-OFF}" >/dev/null
cmake --build build/package-build
(cd build/package-build && cpack -B "$PWD/../package" >/dev/null)
rm -rf build/package/_CPack_Packages
ls build/package/*.deb

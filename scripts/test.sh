#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh runtime build tests
scripts/build.sh -DTL_BUILD_TESTS=ON -DTL_BUILD_BENCH=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j 2 "$@"

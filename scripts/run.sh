#!/usr/bin/env bash
# Installs what is missing, builds and starts Tarvel Lite: only what the
# program needs to build and run (no test servers or test libraries; the
# tests and benchmarks are left out of the build).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh runtime build
scripts/build.sh -DTL_BUILD_TESTS=OFF -DTL_BUILD_BENCH=OFF
exec ./build/tarvlit "$@"

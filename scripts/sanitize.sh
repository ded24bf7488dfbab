#!/usr/bin/env bash
# Builds the whole project with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang) into build-asan/ and runs the test suite there. Every sanitizer
# finding is fatal: the test program that makes it stops and its test fails.
# Arguments are passed to ctest (for example -R core).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh runtime build tests sanitizers
cmake -S . -B build-asan -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
      -DTL_SANITIZE=ON -DTL_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$(nproc)"
source scripts/sanitizer-env.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-asan --output-on-failure -j 2 "$@"

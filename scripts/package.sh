#!/usr/bin/env bash
# Builds the Debian package of Tarvel Lite and prints its path:
#
#     scripts/package.sh
#
# A release build installed under /usr, without tests and benchmarks, in
# build-deb/; cpack -G DEB packs it, with the dependencies dpkg-shlibdeps
# finds, into build-deb/packages/tarvlit_VERSION_ARCH.deb. Install it with
# "apt-get install ./build-deb/packages/tarvlit_*.deb".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh runtime build package
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DTL_BUILD_TESTS=OFF -DTL_BUILD_BENCH=OFF >/dev/null
cmake --build build-deb -j "$(nproc)"
rm -f build-deb/packages/tarvlit_*.deb
(cd build-deb && cpack -G DEB >/dev/null)
ls build-deb/packages/tarvlit_*.deb

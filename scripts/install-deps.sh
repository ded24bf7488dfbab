#!/usr/bin/env bash
# Installs what building, running and testing Tarvel Lite needs on Debian.
# With the argument "sanitizers" it also installs clang with its libFuzzer and
# sanitizer runtimes and llvm-symbolizer, which scripts/sanitize.sh and
# scripts/fuzz.sh need.
set -euo pipefail
PKGS=(build-essential cmake ninja-build qt6-base-dev libgl-dev libgtest-dev libgmock-dev
      libbenchmark-dev python3-pyftpdlib curl xvfb xauth)
for group in "$@"; do
  case "$group" in
    sanitizers) PKGS+=(clang libclang-rt-dev llvm) ;;
    *) echo "install-deps.sh: unknown group '$group'" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

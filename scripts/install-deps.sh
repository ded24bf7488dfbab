#!/usr/bin/env bash
# Installs what building, running and testing Tarvel Lite needs on Debian.
set -euo pipefail
PKGS=(build-essential cmake ninja-build qt6-base-dev libgl-dev libgtest-dev libgmock-dev
      libbenchmark-dev python3-pyftpdlib curl xvfb xauth
      hugo)  # hugo: only the generation benchmark compares against it
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

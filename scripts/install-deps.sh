#!/usr/bin/env bash
# Installs what building, running and testing Tarvel Lite needs on Debian.
# With the argument "sanitizers" it also installs clang with its libFuzzer and
# sanitizer runtimes and llvm-symbolizer, which scripts/sanitize.sh and
# scripts/fuzz.sh need.
set -euo pipefail
# libssh-dev: the SFTP client. openssh-server: the tests start their own sshd
# on a loopback port (never the system's). openssh-client: ssh-keygen for the
# tests, sftp for the benchmark. libxml2-utils: xmllint checks the feed.
# vsftpd, python3-openssl, openssl: the FTPS tests (their own server, their
# own self-signed certificate). hugo: only the generation benchmark
# compares against it. libmd4c-dev, libmd4c-html0-dev: Markdown posts.
# libhunspell-dev with the hunspell-cs and hunspell-en-us dictionaries: spell
# checking in the editor (the tests check with the real dictionaries).
# qt6-image-formats-plugins: WebP pictures (JPEG and PNG come with Qt itself).
# libcurl4-openssl-dev: publishing to S3-compatible storage; libgit2-dev:
# publishing to a Git branch, and git, whose command line the tests use for a
# second clone and for the served repositories (git-upload-pack and
# git-receive-pack over the tests' sshd). Node and npm run the S3 test server
# (installed below); a machine that has Node from elsewhere keeps it.
PKGS=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
      libbenchmark-dev python3-pyftpdlib python3-openssl vsftpd openssl curl xvfb xauth
      libssh-dev openssh-server openssh-client libxml2-utils hugo
      libmd4c-dev libmd4c-html0-dev libhunspell-dev hunspell-cs hunspell-en-us
      qt6-image-formats-plugins libcurl4-openssl-dev libgit2-dev git)
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  PKGS+=(nodejs npm)
fi
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
  # Installing openssh-server must not start a system sshd: while the
  # packages install, a policy-rc.d that refuses every service start is put
  # in place (unless the machine has one already).
  policy=/usr/sbin/policy-rc.d
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
    $SUDO chmod 755 "$policy"
    trap '$SUDO rm -f "$policy"' EXIT
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
  # On a machine run by systemd the unit is enabled by the package: keep the
  # system sshd off, the tests use their own.
  if command -v systemctl >/dev/null && [ -d /run/systemd/system ] \
     && [[ " ${missing[*]} " == *" openssh-server "* ]]; then
    $SUDO systemctl disable --now ssh.service ssh.socket >/dev/null 2>&1 || true
  fi
fi

# The S3-compatible server of the tests (s3rver, which checks SigV4
# signatures), at the versions its lock file names, into the project's
# tests/tools/s3rver/node_modules (not in Git). Installed again whenever the
# lock file differs from the one it was installed by.
s3rver_dir="$(cd "$(dirname "$0")/.." && pwd)/tests/tools/s3rver"
if ! cmp -s "$s3rver_dir/package-lock.json" "$s3rver_dir/node_modules/.installed-package-lock.json"; then
  (cd "$s3rver_dir" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$s3rver_dir/package-lock.json" "$s3rver_dir/node_modules/.installed-package-lock.json"
fi

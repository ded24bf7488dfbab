#!/usr/bin/env bash
# Installs what Tarvel Lite needs on Debian, by group:
#
#     scripts/install-deps.sh [GROUP...]
#
#   runtime     what the program needs to run: Qt, libssh, QtKeychain and
#               libsecret (the keyring), Qt's platform plugins
#   build       compiler, CMake, Ninja and the development headers
#   tests       what the test suite and the benchmarks start: GoogleTest,
#               Google Benchmark, the FTP and SSH servers, a keyring
#   package     what making and checking the Debian package takes
#   sanitizers  clang with its libFuzzer and sanitizer runtimes and
#               llvm-symbolizer (scripts/sanitize.sh, scripts/fuzz.sh)
#
# Without a group: runtime, build and tests.
set -euo pipefail

# Qt's platform plugins and libsecret are loaded at run time, so no library
# link names them.
# md4c renders Markdown posts, Hunspell (with a dictionary) checks spelling,
# the image formats plugin reads WebP pictures, libcurl and libgit2 publish to
# S3-compatible storage and to Git branches.
RUNTIME=(libqt6widgets6 libqt6network6 libqt6dbus6 qt6-qpa-plugins libssh-4 libqt6keychain1
         libsecret-1-0 libmd4c0 libmd4c-html0 libhunspell-1.7-0 hunspell-en-us
         qt6-image-formats-plugins libcurl4 libgit2-1.5)
BUILD=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libssh-dev
       qtkeychain-qt6-dev libmd4c-dev libmd4c-html0-dev libhunspell-dev libcurl4-openssl-dev
       libgit2-dev)
# openssh-server: the tests start their own sshd on a loopback port (never
# the system's). openssh-client: ssh-keygen for the tests, sftp for the
# benchmark, ssh for the proxy test. libxml2-utils: xmllint checks the feed.
# vsftpd, python3-openssl, openssl: the FTPS tests (their own server, their
# own self-signed certificate). hunspell-cs: the spell-checking tests check
# Czech too. git: the Git publishing tests use its command line for a second
# clone and for the served repositories (git-upload-pack and git-receive-pack
# over the tests' sshd); Node and npm run the S3 test server (installed
# below; a machine that has Node from elsewhere keeps it). dbus, gnome-keyring: the keyring tests start
# a session bus and a Secret Service of their own. hugo: only the
# generation benchmark compares against it.
TESTS=(libgtest-dev libgmock-dev libbenchmark-dev python3-pyftpdlib python3-openssl vsftpd openssl
       curl xvfb xauth openssh-server openssh-client libxml2-utils dbus gnome-keyring hugo)
# dpkg-dev and file: cpack's dpkg-shlibdeps; appstream and
# desktop-file-utils check the metainfo and menu entry.
PACKAGE=(dpkg-dev file appstream desktop-file-utils)
SANITIZERS=(clang libclang-rt-dev llvm)

(($#)) || set -- runtime build tests
PKGS=()
for group in "$@"; do
  case "$group" in
    runtime) PKGS+=("${RUNTIME[@]}") ;;
    build) PKGS+=("${BUILD[@]}") ;;
    tests) PKGS+=("${TESTS[@]}") ;;
    package) PKGS+=("${PACKAGE[@]}") ;;
    sanitizers) PKGS+=("${SANITIZERS[@]}") ;;
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
if [[ " $* " == *" tests "* ]] && ! cmp -s "$s3rver_dir/package-lock.json" "$s3rver_dir/node_modules/.installed-package-lock.json"; then
  (cd "$s3rver_dir" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$s3rver_dir/package-lock.json" "$s3rver_dir/node_modules/.installed-package-lock.json"
fi

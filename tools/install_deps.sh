#!/usr/bin/env bash
# Installs what building, running and testing Brindle needs on Debian 12, and nothing that is
# already there. --tests adds the test suite's peers and tools; --windows installs what the Windows
# build needs (tools/windows.sh) in place of the Linux build's packages.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev fonts-dejavu-core libgtest-dev libgmock-dev libbenchmark-dev)
if [[ "${1:-}" == "--windows" ]]; then
  # The Windows build instead: both mingw-w64 cross compilers with POSIX threads, GoogleTest's
  # sources to cross-build, Wine to run the 64-bit tests, and the acceptance test's real peers and
  # display.
  packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine64
            curl python3 xvfb xauth xdotool imagemagick)
fi
if [[ "${1:-}" == "--tests" ]]; then
  # Real peers and a real display for the end-to-end and acceptance tests; clang for the fuzzers
  # and the sanitizers' leak checker.
  packages+=(curl python3 socat xvfb xauth xdotool imagemagick chromium clang libclang-rt-14-dev dpkg-dev iproute2)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"

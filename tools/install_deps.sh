#!/usr/bin/env bash
# Installs what building and running Brindle needs on Debian 12 (with --tests, also what testing
# and benchmarking it needs; with --windows, what the Windows build of tools/windows.sh needs in
# place of the Linux build's), and nothing that is already there.
set -euo pipefail

# python3 reads the dialogs and strings of the resource script into the build.
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev fonts-dejavu-core python3)
if [[ "${1:-}" == "--windows" ]]; then
  # Both mingw-w64 cross compilers with POSIX threads, GoogleTest's sources to cross-build, Wine
  # for the 64-bit and (from Debian's i386 architecture) the 32-bit tests, and the acceptance
  # test's real peers and display.
  packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine64 wine32:i386
            curl python3 xvfb xauth xdotool imagemagick)
fi
if [[ "${1:-}" == "--tests" ]]; then
  # Real peers and a real display for the end-to-end and acceptance tests; clang for the fuzzers
  # and the sanitizers' leak checker.
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev clang-format)
  packages+=(curl python3 socat xvfb xauth xdotool imagemagick chromium clang libclang-rt-14-dev dpkg-dev iproute2)
  # Debian's checks of the package and its desktop files; the accessibility bus for the screen
  # reader's view of the window.
  packages+=(lintian appstream desktop-file-utils dbus at-spi2-core python3-pyatspi gir1.2-atspi-2.0 orca)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"

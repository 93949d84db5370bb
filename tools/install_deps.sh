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
  # test's real peers, display and clipboard reader; wixl (of Debian's msitools) for the installers.
  packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine64 wine32:i386
            curl python3 xvfb xauth xdotool xclip imagemagick wixl)
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

# A mirror caught mid-sync fails one index now and then; the indexes already here usually still
# hold what is missing, so a last failure is said once and the install goes on with them.
for attempt in 1 2 3; do
  $sudo apt-get update -qq && break
  if [[ $attempt -lt 3 ]]; then
    sleep "${BRINDLE_APT_RETRY_SECONDS:-20}"
  else
    echo "install_deps: apt-get update failed 3 times; going on with the package indexes this machine has" >&2
  fi
done

install() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"; }

# 32-bit Wine needs its i386 libraries at the very versions of their amd64 twins, which a mirror
# in mid-sync may not offer yet: it is installed on its own, so that its failure leaves everything
# else installed, and tools/windows.sh then says that the 32-bit tests did not run.
optional=()
required=()
for package in "${missing[@]}"; do
  if [[ $package == "wine32:i386" ]]; then optional+=("$package"); else required+=("$package"); fi
done
[[ ${#required[@]} -eq 0 ]] || install "${required[@]}"
if [[ ${#optional[@]} -gt 0 ]] && ! log=$(install "${optional[@]}" 2>&1); then
  reason=$(grep -E '^E: |Depends:' <<<"$log" | head -n 3 | tr -s ' \n' ' ')
  echo "install_deps: ${optional[*]} could not be installed: ${reason:-see the output of apt-get}" >&2
fi
exit 0

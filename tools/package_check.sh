#!/usr/bin/env bash
# Builds the Debian package from a release build, installs it, starts the installed program on a
# virtual display, closes it with Escape and removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BRINDLE_PACKAGE_BUILD_DIR:-build/package}
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"

fail() {
  echo "package_check: $*" >&2
  exit 1
}

for tool in cmake cpack dpkg-deb dpkg-shlibdeps dpkg-buildflags apt-get Xvfb xdotool lintian appstreamcli desktop-file-validate; do
  command -v "$tool" >/dev/null || fail "$tool is missing (tools/install_deps.sh --tests installs it)"
done
# Removing the package at the end must leave the machine as it was.
if dpkg-query -W -f='${Status}' brindle 2>/dev/null | grep -q "ok installed"; then
  fail "a brindle package is installed already; remove it first (apt-get remove brindle)"
fi

# Built with the flags Debian builds its own packages with, hardening included.
buildflags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BUILD_TESTS=OFF \
  -DBRINDLE_BUILD_BENCHMARKS=OFF -DCMAKE_CXX_FLAGS="$(buildflags CPPFLAGS) $(buildflags CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(buildflags LDFLAGS)" >/dev/null
cmake --build "$build" --target brindle -j2
rm -f "$build"/brindle_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/brindle_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single brindle_<version>_<arch>.deb"
deb=$(realpath "${debs[0]}")
echo "package_check: built $(basename "$deb")"

# What the package says and holds, before it touches the system.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libqt6widgets6* ]] || fail "Depends lacks the Qt 6 widgets library: $depends"
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/brindle ./usr/share/applications/brindle.desktop \
  ./usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/brindle.png \
  ./usr/share/metainfo/org.example.brindle.metainfo.xml ./usr/share/man/man1/brindle.1.gz \
  ./usr/share/doc/brindle/{copyright,changelog.gz}; do
  grep -qF " $path" <<<"$contents" || fail "the package lacks $path"
done

# Debian's own checks: errors fail, warnings and notes are shown. The screenshot's address is not
# fetched (--no-net), so the check needs no network.
lintian --fail-on error "$deb" || fail "lintian reports errors in $(basename "$deb")"
unpacked=$(mktemp -d)
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/brindle.desktop" \
  || { rm -rf "$unpacked"; fail "the desktop entry is not valid"; }
appstreamcli validate-tree --no-net "$unpacked" >"$unpacked.appstream" 2>&1 \
  || { cat "$unpacked.appstream" >&2; rm -rf "$unpacked" "$unpacked.appstream"; fail "the AppStream metadata is not valid"; }
rm -rf "$unpacked" "$unpacked.appstream"

work=$(mktemp -d)
xvfb_pid=""
brindle_pid=""
installed=0
cleanup() {
  [[ -n $brindle_pid ]] && kill "$brindle_pid" 2>/dev/null && wait "$brindle_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  if [[ $installed -eq 1 ]]; then
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq brindle >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

install_package() {
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1
}
# Package lists may be missing on a fresh machine; fetch them only when the install needs them.
if ! install_package; then
  $sudo apt-get update -qq
  install_package || { cat "$work/apt.log" >&2; fail "apt-get could not install $deb"; }
fi
installed=1
[[ -x /usr/bin/brindle ]] || fail "/usr/bin/brindle is not there after installing"

# A display of its own: Xvfb picks a free number and writes it out.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || fail "Xvfb did not start"
DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
export DISPLAY

QT_QPA_PLATFORM=xcb /usr/bin/brindle 2>"$work/brindle.log" &
brindle_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Windows Brindle$' | head -n 1) \
  || fail "the installed program's window did not appear"
xdotool windowfocus --sync "$window"
xdotool key Escape
for _ in $(seq 50); do
  kill -0 "$brindle_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$brindle_pid" 2>/dev/null && fail "the installed program did not end within 5 s of Escape"
status=0
wait "$brindle_pid" || status=$?
brindle_pid=""
[[ $status -eq 0 ]] || { cat "$work/brindle.log" >&2; fail "the installed program exited with status $status"; }

$sudo env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq brindle >/dev/null
installed=0
[[ ! -e /usr/bin/brindle ]] || fail "/usr/bin/brindle is still there after removing the package"
echo "package_check: $(basename "$deb") installs, runs, closes with Escape and is removed again"

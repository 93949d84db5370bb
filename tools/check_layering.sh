#!/usr/bin/env bash
# Refuses includes that break the layering: console/ and res/ see neither a toolkit, nor a
# platform layer, nor system headers; platform/text sees neither a toolkit nor system headers; app/ sees no toolkit or platform layer except in its entry
# points (app/main.cpp, and app/main_win32.cpp for Windows). Exits non-zero, naming each line.
set -euo pipefail
cd "$(dirname "$0")/.."

toolkit_or_platform='#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z]*|Qt[A-Za-z]*/|platform/(posix|qt|win32)/)'
system='#[[:space:]]*include[[:space:]]*[<"](windows\.h|winsock2?\.h|ws2tcpip\.h|unistd\.h|(sys|netinet|arpa)/)'

failed=0
refuse() { # pattern, what, files...
  local pattern=$1 what=$2
  shift 2
  [[ $# -eq 0 ]] && return 0
  local hits
  if hits=$(grep -nHE "$pattern" "$@"); then
    while IFS= read -r line; do echo "$line   <- $what" >&2; done <<<"$hits"
    failed=1
  fi
}

mapfile -t core < <(git ls-files 'console/*.cpp' 'console/*.h' 'res/*.cpp' 'res/*.h')
mapfile -t app < <(git ls-files 'app/*.cpp' 'app/*.h' | grep -vxE 'app/main(_win32)?\.cpp')
refuse "$toolkit_or_platform" "no toolkit or platform layer here" "${core[@]}"
refuse "$system" "no system headers here" "${core[@]}"
refuse "$toolkit_or_platform" "toolkit and platform layers only in app/main*.cpp" "${app[@]}"
mapfile -t text < <(git ls-files 'platform/text/*.cpp' 'platform/text/*.h')
refuse "$toolkit_or_platform" "no toolkit or other platform layer in platform/text" "${text[@]}"
refuse "$system" "no system headers in platform/text" "${text[@]}"
[[ $failed -eq 0 ]] && echo "layering: ok"
exit "$failed"

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (fuzz/ as a project of its own: no Qt needed) and runs
# each for a bounded time from a copy of its seed corpus. Exits non-zero when a target crashes;
# the input that did it is kept in build/fuzz/artifacts/<target>/.
#   tools/fuzz.sh [seconds per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [seconds per target]" >&2
  exit 2
fi
if ! command -v clang++ >/dev/null; then
  echo "clang++ is missing: tools/install_deps.sh --tests installs it" >&2
  exit 2
fi

build=build/fuzz
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRINDLE_WERROR=ON >/dev/null
cmake --build "$build" -j2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0
for target in fuzz_display_formatter fuzz_status_composition; do
  mkdir -p "$work/$target" "$build/artifacts/$target"
  cp fuzz/corpus/"$target"/* "$work/$target/"
  echo "== $target, $seconds s"
  if ! "$build/$target" -max_total_time="$seconds" -max_len=4097 -timeout=10 -use_value_profile=1 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$target/" "$work/$target" >"$work/$target.log" 2>&1; then
    failed=1
    tail -n 60 "$work/$target.log"
    echo "== $target FAILED; see $build/artifacts/$target/"
  fi
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb)|^Done" "$work/$target.log" || true
done
exit "$failed"

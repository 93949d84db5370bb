#!/usr/bin/env bash
# Builds Brindle and runs every test: the fuzzers for a bounded time, the suite under
# AddressSanitizer and UndefinedBehaviorSanitizer (all but the acceptance test and the soak), then
# the whole suite with warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_deps.sh --tests

tools/fuzz.sh "${BRINDLE_FUZZ_SECONDS:-30}"

cmake --preset asan >/dev/null
cmake --build build/asan
# The leak checker's suppressions come with the asan test preset. The soak runs once, in the
# suite below.
ctest --preset asan --timeout 600 -LE "acceptance|soak"

cmake --preset ci >/dev/null
cmake --build build/ci
ctest --preset ci --timeout 600

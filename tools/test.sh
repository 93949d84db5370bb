#!/usr/bin/env bash
# Builds Brindle with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_deps.sh --tests
cmake --preset ci >/dev/null
cmake --build build/ci
ctest --preset ci --timeout 300

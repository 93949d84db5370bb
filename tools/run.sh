#!/usr/bin/env bash
# Builds Brindle and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_deps.sh
# A preset without tests or benchmarks, so that starting needs only what building needs.
cmake --preset app >/dev/null
cmake --build build/app --target brindle
exec build/app/app/brindle

#!/usr/bin/env bash
# Builds Brindle and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_deps.sh
cmake --preset release >/dev/null
cmake --build build/release --target brindle
exec build/release/app/brindle

#!/usr/bin/env bash
# Builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset native-test >/dev/null
cmake --build --preset native-test -j "$(nproc)"
ctest --preset native-test -j "$(nproc)"

# The Windows module, cross-built and tested under Wine.
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"
ctest --preset windows

#!/usr/bin/env bash
# Builds the plugin and exports the built-in demo animation through it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)"
out="$PWD/build/vorlane-demo.png"
build/native/bin/vorlane-host -o "$out" "$@"
echo "demo animation: $out"

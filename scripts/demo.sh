#!/usr/bin/env bash
# Builds the plugin and exports the built-in demo animation through it: the
# native build, then the Windows module under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)"
out="$PWD/build/vorlane-demo.png"
build/native/bin/vorlane-host -o "$out" "$@"
echo "demo animation: $out"

# The same demo through the real vorlane.dll and Wine's GDI+.
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target vorlane vorlane-host
export WINEPREFIX="$PWD/build/windows/wine" WINEDEBUG=-all VORLANE_WINE=/usr/lib/wine/wine64
scripts/wine-session.sh --create-prefix
out_windows="$PWD/build/vorlane-demo-windows.png"
scripts/wine-session.sh -- build/windows/bin/vorlane-host.exe -o "Z:$out_windows" "$@"
echo "demo animation (Windows module under Wine): $out_windows"

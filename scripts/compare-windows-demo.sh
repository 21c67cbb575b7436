#!/usr/bin/env bash
# Compares the demo export a test bundle left on Windows (results-demo.png)
# with the same export made here through the same module under Wine, frame by
# frame and delay by delay:
#   scripts/compare-windows-demo.sh path/to/results-demo.png
# The size, frame count and frame rate are read from the file itself. The
# conversion is ours and both encoders are lossless, so the pixels and the
# timing must be identical even where the two PNG layouts differ.
set -euo pipefail
windows_file=$(realpath "${1:?usage: scripts/compare-windows-demo.sh results-demo.png}")
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target vorlane vorlane-host

# IHDR's size, acTL's frame count, the first fcTL's delay (every frame has the same).
read -r width height frames delay_num delay_den < <(python3 - "$windows_file" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
at, found = 8, {}
while at + 12 <= len(data):
    length, kind = struct.unpack('>I4s', data[at:at + 8])
    body = data[at + 8:at + 8 + length]
    if kind not in found:
        found[kind] = body
    at += 12 + length
width, height = struct.unpack('>II', found[b'IHDR'][:8])
frames = struct.unpack('>I', found[b'acTL'][:4])[0]
delay_num, delay_den = struct.unpack('>HH', found[b'fcTL'][20:24])
print(width, height, frames, delay_num, delay_den)
EOF
)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX="$PWD/build/windows/wine" WINEDEBUG=-all VORLANE_WINE=/usr/lib/wine/wine64
scripts/wine-session.sh --create-prefix
# A delay of NUM/DEN seconds is the rate DEN/NUM frames per second.
scripts/wine-session.sh -- build/windows/bin/vorlane-host.exe -q -W "$width" -H "$height" -n "$frames" \
  -r "$delay_den/$delay_num" -o "Z:$work/wine.png"

ffmpeg -v error -i "$windows_file" -f framemd5 "$work/windows.md5"
ffmpeg -v error -i "$work/wine.png" -f framemd5 "$work/wine.md5"
echo "$frames frames of $width x $height, $delay_num/$delay_den s each"
if diff "$work/windows.md5" "$work/wine.md5"; then
  echo "same pixels and delays in every frame as under Wine"
else
  echo "the Windows export differs from the one made under Wine (above: the time base, then per frame stream, dts, pts, duration, size, MD5)" >&2
  exit 1
fi

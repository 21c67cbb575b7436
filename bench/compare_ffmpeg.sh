#!/usr/bin/env bash
# Our export against ffmpeg's APNG encoder on the same converted frames, in
# one run: export_bench writes the APNG and leaves its converted frames as raw
# RGBA, then ffmpeg encodes that raw file. Prints times and sizes as ratios.
#
#   bench/compare_ffmpeg.sh [bin-dir] [WxH ...]            side by side
#   SWEEP=1 bench/compare_ffmpeg.sh [bin-dir] [WxH]        also try libpng settings
#
# Extra export_bench arguments (e.g. --level 3) can be given in EXPORT_ARGS.
set -euo pipefail
bin=${1:-build/native/bin}
shift || true
if [[ $# -gt 0 ]]; then sizes=("$@"); else sizes=(1280x720 1920x1080); fi
frames=${FRAMES:-60}
work=${TMPDIR_COMPARE:-/dev/shm}/vorlane-compare.$$
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }

# export_bench's seconds for everything but the host's rendering of frames.
plugin_seconds() { awk '/without fetching/ { print $(NF-3) }' "$1"; }

run_ffmpeg() {  # size label args...
    local size=$1 label=$2; shift 2
    local start end
    start=$(now)
    ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s "$size" -r 30 -i "$work/frames.rgba" \
        -threads 1 -c:v apng "$@" -plays 0 -f apng "$work/ffmpeg.png"
    end=$(now)
    echo "$label $(echo "$end - $start" | bc -l) $(stat -c %s "$work/ffmpeg.png")"
}

for size in "${sizes[@]}"; do
    w=${size%x*} h=${size#*x}
    echo "== $size, $frames frames of the moving demo"
    # shellcheck disable=SC2086
    "$bin/export_bench" -W "$w" -H "$h" -n "$frames" -o "$work/ours.png" --raw "$work/frames.rgba" ${EXPORT_ARGS:-} \
        > "$work/ours.txt"
    sed -n '1p;/PNG encoding/p;/whole export/p' "$work/ours.txt"
    ours_s=$(plugin_seconds "$work/ours.txt")
    ours_b=$(stat -c %s "$work/ours.png")
    printf '  %-44s %8.2f s %10d bytes\n' "ours (conversion + encoding + writing)" "$ours_s" "$ours_b"
    {
        run_ffmpeg "$size" "ffmpeg-pred-none-level-6" -pred none -compression_level 6
        run_ffmpeg "$size" "ffmpeg-pred-mixed-level-6" -pred mixed -compression_level 6
        run_ffmpeg "$size" "ffmpeg-pred-mixed-level-9" -pred mixed -compression_level 9
    } | while read -r label secs bytes; do
        printf '  %-44s %8.2f s %10d bytes   ours/ffmpeg: time %5.2f  size %5.2f\n' "$label" "$secs" "$bytes" \
            "$(echo "$ours_s / $secs" | bc -l)" "$(echo "$ours_b / $bytes" | bc -l)"
    done
    if [[ -n ${SWEEP:-} ]]; then
        echo "  libpng settings (same frames): seconds without fetching, bytes"
        for setting in "--level 6 --filters all --strategy filtered" "--level 6 --filters paeth --strategy filtered" \
            "--level 6 --filters sub+up+paeth --strategy filtered" "--level 6 --filters up --strategy default" \
            "--level 6 --filters paeth --strategy default" "--level 5 --filters paeth --strategy filtered" \
            "--level 4 --filters paeth --strategy filtered" "--level 3 --filters all --strategy filtered" \
            "--level 6 --filters paeth --strategy rle" "--level 1 --filters up --strategy rle" \
            "--level 9 --filters all --strategy filtered"; do
            # shellcheck disable=SC2086
            "$bin/export_bench" -W "$w" -H "$h" -n "$frames" -o "$work/sweep.png" $setting > "$work/sweep.txt"
            printf '    %-46s %8.2f s %10d bytes\n' "$setting" "$(plugin_seconds "$work/sweep.txt")" \
                "$(stat -c %s "$work/sweep.png")"
        done
    fi
done

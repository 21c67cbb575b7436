#!/bin/sh
# How long Chromium and Firefox really show each frame of an export: the
# native vorlane-host exports the demo at each rate, a page on localhost shows
# it at the top left of a kiosk window on an Xvfb display, and ffmpeg grabs
# that corner 200 times a second for 4 s; the mean time between changes of
# the picture is what a viewer sees. vorlane-host's note on fast rates and
# README.txt's frame-rate section rest on this.
#   scripts/browser-frame-times.sh [RATE...]   (default: 50 90 91 100 101 1000/11 1001/11)
# Needs the native build (build/native or build/native-test), Debian's
# chromium, firefox-esr, ffmpeg and xvfb. About 15 s per rate and browser.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
host=
for candidate in "$root/build/native/bin/vorlane-host" "$root/build/native-test/bin/vorlane-host"; do
  [ -x "$candidate" ] && host=$candidate && break
done
[ -n "$host" ] || { echo "no native vorlane-host: cmake --preset native && cmake --build --preset native" >&2; exit 2; }
for tool in chromium firefox-esr ffmpeg Xvfb python3; do
  command -v $tool >/dev/null || { echo "$tool is missing (apt-get install chromium firefox-esr ffmpeg xvfb)" >&2; exit 2; }
done
[ $# -gt 0 ] || set -- 50 90 91 100 101 1000/11 1001/11

work=$(mktemp -d)
server= xvfb= browser=
cleanup() {
  for pid in $browser $server $xvfb; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

cat > "$work/show.html" <<'EOF'
<!doctype html><body style="margin:0;background:#fff"><img width="160" height="90"><script>
document.querySelector('img').src = new URLSearchParams(location.search).get('file');
</script>
EOF
for rate in "$@"; do
  "$host" -q -W 160 -H 90 -n 60 -r "$rate" -o "$work/r$(echo "$rate" | tr / _).png" >/dev/null 2>&1
done

python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work" >"$work/server.log" 2>&1 &
server=$!
port=
for _ in $(seq 50); do
  port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$work/server.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the page server did not start" >&2; exit 1; }

display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 2

# One line per export: grabs, changes and the mean and median time between them.
measure() {
  timeout -k 5 20 ffmpeg -hide_banner -loglevel error -f x11grab -framerate 200 -video_size 160x90 \
    -i ":$display+0,0" -t 4 -f framemd5 - 2>/dev/null | python3 -c '
import sys
lines = sys.stdin.read().splitlines()
num, den = next(l.split(":")[1] for l in lines if l.startswith("#tb 0:")).split("/")
rows = [l.split(",") for l in lines if l[:1].isdigit()]
pts = [int(r[2]) * int(num) / int(den) for r in rows]
md5 = [r[5].strip() for r in rows]
changes = [pts[i] for i in range(1, len(md5)) if md5[i] != md5[i - 1]]
gaps = sorted(b - a for a, b in zip(changes, changes[1:]))
mean = 1000 * sum(gaps) / len(gaps) if gaps else 0
median = 1000 * gaps[len(gaps) // 2] if gaps else 0
print(f"{sys.argv[1]}: {len(changes)} changes in {len(rows)} grabs, mean {mean:.1f} ms, median {median:.1f} ms")
' "$1"
}

for name in chromium firefox-esr; do
  echo "$name: $($name --version 2>/dev/null | head -n 1)"
  for rate in "$@"; do
    file=r$(echo "$rate" | tr / _).png
    profile=$(mktemp -d "$work/profile.XXXXXX")
    url="http://127.0.0.1:$port/show.html?file=$file"
    if [ $name = chromium ]; then
      DISPLAY=:$display timeout -k 5 40 chromium --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$profile" \
        --kiosk --window-position=0,0 "$url" >/dev/null 2>&1 &
    else
      echo 'user_pref("browser.shell.checkDefaultBrowser", false);' >"$profile/user.js"
      echo 'user_pref("browser.aboutwelcome.enabled", false);' >>"$profile/user.js"
      DISPLAY=:$display timeout -k 5 40 firefox-esr --kiosk --profile "$profile" "$url" >/dev/null 2>&1 &
    fi
    browser=$!
    sleep 8
    measure "  -r $rate"
    kill $browser 2>/dev/null || true
    wait $browser 2>/dev/null || true
    browser=
  done
done

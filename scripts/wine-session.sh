#!/bin/sh
# Runs one Windows program in a Wine session of its own:
#   wine-session.sh --create-prefix
#   wine-session.sh [--xvfb | --no-display] [--unix] -- program.exe [arguments]
# (--unix runs a Linux command in the session instead, e.g. a shell that
# starts several Windows programs)
# (the tests run every program so; so does scripts/demo.sh)
# Wine keeps one session per prefix, and a session that ever ran a program
# without a display refuses dialogs to every later program of it; so each
# program starts and ends its session, and dialog tests get their own X
# server, ended by its PID.
# Needs WINEPREFIX and VORLANE_WINE (the wine64 binary); VORLANE_XVFB for --xvfb;
# VORLANE_WINE_LOCALE is optional.
set -eu
wine="${VORLANE_WINE:?}"
# Wine decodes the Unix side's arguments by the locale's character set and
# takes its code pages and language from the locale's name: a UTF-8 one
# keeps non-ASCII paths whole, and VORLANE_WINE_LOCALE picks another (the
# test bundle runs as on a Japanese Windows). Fixed here, so that no run
# depends on the caller's locale.
export LC_ALL="${VORLANE_WINE_LOCALE:-C.UTF-8}"
wineserver="$(dirname "$wine")/wineserver"
[ -x "$wineserver" ] || wineserver=wineserver

end_session() { "$wineserver" -k >/dev/null 2>&1 || true; "$wineserver" -w >/dev/null 2>&1 || true; }

if [ "${1:-}" = "--create-prefix" ]; then
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    unset DISPLAY WAYLAND_DISPLAY
    "$wine" wineboot -i >/dev/null 2>&1
    end_session
  fi
  [ -f "$WINEPREFIX/system.reg" ]
  exit
fi

mode=plain
case "${1:-}" in
  --xvfb) mode=xvfb; shift ;;
  --no-display) shift ;;
esac
runner="$wine"
if [ "${1:-}" = "--unix" ]; then runner=""; shift; fi
[ "${1:-}" = "--" ] && shift

unset DISPLAY WAYLAND_DISPLAY
xvfb_pid=""
cleanup() {
  end_session
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT INT TERM

if [ "$mode" = xvfb ]; then
  # The first display number that nobody holds; if another server takes it
  # first, ours exits and the next number is tried.
  n=90
  while [ -z "$xvfb_pid" ] && [ "$n" -lt 190 ]; do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      "${VORLANE_XVFB:?}" ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      pid=$!
      tries=0
      while kill -0 "$pid" 2>/dev/null && [ ! -e "/tmp/.X11-unix/X$n" ] && [ "$tries" -lt 100 ]; do
        sleep 0.1; tries=$((tries + 1))
      done
      if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
        xvfb_pid=$pid
        export DISPLAY=":$n"
      else
        kill "$pid" 2>/dev/null || true
      fi
    fi
    n=$((n + 1))
  done
  [ -n "$xvfb_pid" ] || { echo "wine-session.sh: no X display could be started" >&2; exit 1; }
fi

end_session
status=0
if [ -n "$runner" ]; then "$runner" "$@" || status=$?; else "$@" || status=$?; fi
exit "$status"

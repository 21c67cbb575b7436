#!/bin/sh
# Runs pngcheck on $1 and leaves its exit status, then its report, in $2.
# Wine neither waits for a Linux program nor passes its exit status back, so
# the caller waits for $2, which appears whole.
out=$(pngcheck -q "$1" 2>&1)
status=$?
printf '%s\n%s\n' "$status" "$out" > "$2.part" && mv "$2.part" "$2"

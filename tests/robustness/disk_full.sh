#!/usr/bin/env bash
# A disk that fills up for real: runs an export with a file-size limit of
# LIMIT KiB on the process and everything it starts (SIGXFSZ ignored, so a
# write past the limit fails instead of killing the writer), and passes when
# the export is reported as failed: a nonzero exit and a "FAILED" line.
#   disk_full.sh LIMIT_KIB command [arguments]
set -u
limit="$1"; shift
trap '' XFSZ
ulimit -f "$limit"
out="$("$@" 2>&1)"
status=$?
printf '%s\n' "$out"
if [ "$status" -eq 0 ]; then echo "disk_full.sh: exit status 0 on a full disk" >&2; exit 1; fi
printf '%s\n' "$out" | grep -q '^FAILED: ' || { echo "disk_full.sh: no FAILED line" >&2; exit 1; }
echo "disk_full.sh: reported as failed (exit status $status)"

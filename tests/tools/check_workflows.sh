#!/bin/sh
# check_workflows.sh VALIDATOR FOLDER: every workflow file in FOLDER through
# the validator that scripts/install-deps.sh installs (pinned in
# tools/workflow-check/). Fails on any finding, and on a folder without a
# workflow file, since a check of nothing would pass for ever.
set -u
validator=$1
folder=$2
if [ ! -x "$validator" ]; then
  echo "no workflow validator at $validator (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
checked=0
invalid=0
for file in "$folder"/*.yml "$folder"/*.yaml; do
  [ -f "$file" ] || continue
  checked=$((checked + 1))
  # It takes one file a run and prints its findings as JSON on stderr.
  timeout 60 "$validator" "$file"
  rc=$?
  if [ $rc -eq 0 ]; then
    echo "valid: $file"
  else
    [ $rc -eq 124 ] && echo "the validator did not finish within 60 s" >&2
    echo "INVALID: $file" >&2
    invalid=$((invalid + 1))
  fi
done
if [ $checked -eq 0 ]; then
  echo "no workflow file (*.yml, *.yaml) in $folder" >&2
  exit 1
fi
echo "workflow files: $checked checked, $invalid invalid"
[ $invalid -eq 0 ]

#!/bin/sh
# ln -s $1 $2, or with $1 "-" removes $2 if it is a symbolic link; the exit
# status in $3, which appears whole. Wine takes a Unix symbolic link for a
# Windows link, and can neither make one nor remove one without following it.
if [ "$1" = - ]; then
  if [ -L "$2" ]; then rm -f "$2"; fi
else
  ln -s "$1" "$2" 2>/dev/null
fi
status=$?
echo "$status" > "$3.part" && mv "$3.part" "$3"

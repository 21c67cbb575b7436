#!/bin/sh
# chattr +i or -i on $2, then its exit status in $3, which appears whole.
# Wine as root honours no read-only attribute (root writes past the file
# mode that stands for it); the immutable flag stops root too.
chattr "$1" "$2" 2>/dev/null
status=$?
echo "$status" > "$3.part" && mv "$3.part" "$3"

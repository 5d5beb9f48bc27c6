#!/bin/sh
# The error history written by diagnostics_tests passes three independent
# archive checkers.
set -e
archive="$1"
test -f "$archive"
unzip -tq "$archive"
7z t "$archive" >/dev/null
/usr/bin/python3 -m zipfile -t "$archive" >/dev/null
echo "error history ok"

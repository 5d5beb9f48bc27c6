#!/usr/bin/env bash
# Sets up the machine if needed, builds the program and starts it under Wine.
set -euo pipefail
source "$(dirname "$0")/common.sh"
"$ROOT/scripts/setup.sh"
build_windows
wine_session_start
HOME="$WIN_BUILD/wine/home" wine "$WIN_BUILD/kelvarin.exe"

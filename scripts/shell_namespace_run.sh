#!/usr/bin/env bash
# Runs a shell test program in a Wine prefix of its own, whose namespace the
# tests know exactly: an empty HOME (so Documents is empty), no Z: drive, no
# Unix-root folder on the desktop, and the fixture folder C:\kvtest rebuilt on
# every run. The program is copied into the fixture (Z: is gone) and started
# there; the prefix's wineserver is stopped at the end.
#
# usage: shell_namespace_run.sh <build dir> <program.exe> [arguments...]
set -euo pipefail
BUILD=$(cd "$1" && pwd)
PROGRAM=$2
shift 2
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

export WINEPREFIX="$BUILD/wine/shell-prefix"
export HOME="$BUILD/wine/shell-home"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe,winebrowser.exe="
export WINEARCH=win64
export DISPLAY="${DISPLAY:-:87}"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"

# Outside a test session of this build (scripts/common.sh), refuse while one
# runs and keep one from starting meanwhile.
LOCK="$BUILD/wine/session.lock"
OWN_LOCK="$(cd "$BUILD" && pwd -P)/wine/session.lock"
if [ -n "${KV_WINE_SESSION_LOCK:-}" ] && [ "$KV_WINE_SESSION_LOCK" != "$OWN_LOCK" ]; then
  echo "shell_namespace_run: the running session belongs to another build folder" \
       "(lock $KV_WINE_SESSION_LOCK), not to $BUILD; use another build folder (KV_BUILD)" \
       "with a session of its own" >&2
  exit 1
fi
if [ "${KV_WINE_SESSION_LOCK:-}" != "$OWN_LOCK" ]; then
  mkdir -p "$BUILD/wine"
  exec {lock_fd}>>"$LOCK"
  if ! flock -n -s "$lock_fd"; then
    echo "shell_namespace_run: another run is using the Wine prefixes of $BUILD (lock $LOCK held)" >&2
    exit 1
  fi
fi

stop_server() { wineserver -k 2>/dev/null || true; }
trap stop_server EXIT

if [ ! -f "$WINEPREFIX/.kv-namespace-ready" ]; then
  rm -rf "$WINEPREFIX" "$HOME"
  mkdir -p "$HOME" "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w
  # The Unix root as a desktop folder and as drive Z: would put the whole
  # Linux tree into the namespace.
  wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Desktop\Namespace\{9D20AAE8-0625-44B0-9CA7-71889C2254D9}' /f \
    >/dev/null 2>&1 </dev/null || true
  wineserver -w
  rm -f "$WINEPREFIX/dosdevices/z:"
  touch "$WINEPREFIX/.kv-namespace-ready"
fi
# Wine may have left files in HOME; the tests expect it empty.
find "$HOME" -mindepth 1 -maxdepth 1 ! -name .config ! -name .local ! -name .cache -exec rm -rf {} +

FIXTURE="$WINEPREFIX/drive_c/kvtest"
# KV_SHELL_FIXTURE_ARGS="--bench N" adds the benchmark's folder of N files.
/usr/bin/python3 "$ROOT/tests/shell/make_fixture.py" "$FIXTURE" ${KV_SHELL_FIXTURE_ARGS:-}
mkdir -p "$FIXTURE/bin"
cp "$PROGRAM" "$FIXTURE/bin/"
cd "$FIXTURE/bin"
status=0
wine "./$(basename "$PROGRAM")" "$@" || status=$?
exit $status

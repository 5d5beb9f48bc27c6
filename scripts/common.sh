# Shared by run.sh and test.sh: builds, and the Wine session (Xvfb when there
# is no display, one persistent wineserver for the whole run).
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="${KV_BUILD:-$ROOT/build}"
WIN_BUILD="$BUILD/win"
NATIVE_BUILD="$BUILD/native"
JOBS=$(nproc)

build_windows() {
  cmake -S "$ROOT" -B "$WIN_BUILD" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$WIN_BUILD" -j"$JOBS"
}

build_native() {
  cmake -S "$ROOT" -B "$NATIVE_BUILD" -G Ninja -DKELVARIN_NATIVE=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$NATIVE_BUILD" -j"$JOBS"
}

# One session at a time per build: a second run of the tests (or of the
# program) in the same prefix would delete the first one's test folders under
# its programs and kill its wine server at the end. The lock is held on a
# descriptor of this shell for the session's life; the session's own wine-run
# calls know it by KV_WINE_SESSION_LOCK, any other use of the prefix refuses.
wine_session_lock() {
  mkdir -p "$WIN_BUILD/wine"
  local lock
  lock="$(cd "$WIN_BUILD/wine" && pwd -P)/session.lock"
  exec {KV_WINE_LOCK_FD}>>"$lock"
  # A program started by hand through wine-run holds the lock shared, and so
  # may the wine server it started, for a few seconds after it ends.
  if ! flock -w 10 "$KV_WINE_LOCK_FD"; then
    echo "wine: another run is using the Wine prefix of $WIN_BUILD (lock $lock held);" \
         "wait for it to end or use another build folder (KV_BUILD)" >&2
    exit 1
  fi
  export KV_WINE_SESSION_LOCK="$lock"
}

XVFB_PID=""
wine_session_start() {
  wine_session_lock
  export WINEPREFIX="$WIN_BUILD/wine/prefix"
  export HOME_SAVED="$HOME"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe,winebrowser.exe="
  export WINEARCH=win64
  mkdir -p "$WIN_BUILD/wine/home"
  if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:87
    if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
      Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 {KV_WINE_LOCK_FD}>&- &
      XVFB_PID=$!
      for _ in $(seq 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
    fi
  fi
  # The prefix is made once; later runs reuse it.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    HOME="$WIN_BUILD/wine/home" wineboot -i >/dev/null 2>&1 {KV_WINE_LOCK_FD}>&- || true
    HOME="$WIN_BUILD/wine/home" wineserver -w || true
  fi
  # A caller's own preparation of the prefix, before Wine's services start
  # (the mount manager lists the drives it finds at its start).
  if declare -F wine_prefix_prepare >/dev/null; then wine_prefix_prepare; fi
  # A server still running for this prefix (left by a run that was killed) is
  # used as it is and left running at the end. The persistent server and
  # Wine's services outlive this shell's commands: they must not hold the lock.
  WINE_SERVER_OWNED=1
  if ! HOME="$WIN_BUILD/wine/home" wineserver -p {KV_WINE_LOCK_FD}>&-; then
    WINE_SERVER_OWNED=0
    echo "wine: using the wine server already running for $WINEPREFIX" >&2
  fi
  # Start Wine's own services now, with their output detached: started from
  # inside a test they would inherit its pipes and CTest would wait for them.
  HOME="$WIN_BUILD/wine/home" wineboot >/dev/null 2>&1 </dev/null {KV_WINE_LOCK_FD}>&- || true
  trap wine_session_stop EXIT
}

wine_session_stop() {
  if [ "${WINE_SERVER_OWNED:-1}" = 1 ]; then HOME="$WIN_BUILD/wine/home" wineserver -k 2>/dev/null || true; fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}

#!/usr/bin/env bash
# Runs inside a test session of the Windows build (scripts/test.sh): a second
# session of the same build is refused, wine-run refuses outside the session,
# a copy of wine-run runs in the prefix beside it, and a copied build folder's
# CTest run, or another build's session, reaches neither.
# usage: wine_session_test.sh <source dir> <windows build dir>
set -uo pipefail
SOURCE=$1
WIN_BUILD=$(cd "$2" && pwd -P)
if [ -z "${KV_WINE_SESSION_LOCK:-}" ]; then
  echo "not inside a test session; skipped"
  exit 77
fi
fail=0
check() { if ! eval "$2"; then echo "FAILED: $1"; fail=1; fi; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A stand-in for wine that tells which prefix it was given.
mkdir -p "$scratch/bin"
printf '#!/bin/sh\necho "prefix=$WINEPREFIX"\n' > "$scratch/bin/wine"
chmod +x "$scratch/bin/wine"

# A second session of this build.
out=$(KV_BUILD=$(dirname "$WIN_BUILD") bash -c "source '$SOURCE/scripts/common.sh'; wine_session_start; echo started" 2>&1)
status=$?
check "a second session is refused" '[ $status -ne 0 ] && [[ "$out" != *started* ]]'
check "the refusal names the lock" '[[ "$out" == *"another run is using the Wine prefix"* ]]'

# wine-run within the session, and outside it.
out=$(PATH="$scratch/bin:$PATH" "$WIN_BUILD/wine-run" x.exe 2>&1)
check "wine-run runs in the session, in the build's prefix" '[ "$out" = "prefix=$WIN_BUILD/wine/prefix" ]'
out=$(PATH="$scratch/bin:$PATH" KV_WINE_SESSION_LOCK= "$WIN_BUILD/wine-run" x.exe 2>&1)
status=$?
check "wine-run outside the session is refused" '[ $status -ne 0 ] && [[ "$out" != *prefix=* ]] && [[ "$out" == *"another run is using"* ]]'

# A copied build folder uses its own prefix (and its own lock).
mkdir -p "$scratch/copy"
cp "$WIN_BUILD/wine-run" "$scratch/copy/"
copy=$(cd "$scratch/copy" && pwd -P)
out=$(PATH="$scratch/bin:$PATH" KV_WINE_SESSION_LOCK= "$scratch/copy/wine-run" x.exe 2>&1)
check "a copy of wine-run uses the prefix beside it" '[ "$out" = "prefix=$copy/wine/prefix" ]'

# A session of another build folder reaches neither runner of this build.
elsewhere="$scratch/elsewhere/wine/session.lock"
out=$(PATH="$scratch/bin:$PATH" KV_WINE_SESSION_LOCK="$elsewhere" "$WIN_BUILD/wine-run" x.exe 2>&1)
status=$?
check "wine-run in another build's session is refused" '[ $status -ne 0 ] && [[ "$out" != *prefix=* ]] && [[ "$out" == *"another build folder"* ]]'
out=$(PATH="$scratch/bin:$PATH" KV_WINE_SESSION_LOCK="$elsewhere" bash "$SOURCE/scripts/shell_namespace_run.sh" "$WIN_BUILD" x.exe 2>&1)
status=$?
check "the shell runner in another build's session is refused" '[ $status -ne 0 ] && [[ "$out" == *"another build folder"* ]]'

# CTest in a copied build folder: its test file still names the original's
# programs and prefix, so the whole run is refused before any test starts,
# while the original folder's own tests stay listed.
mkdir -p "$scratch/copied-build/wine"
cp "$WIN_BUILD/CTestTestfile.cmake" "$WIN_BUILD/wine-run" "$scratch/copied-build/"
copied=$(cd "$scratch/copied-build" && pwd -P)
out=$(cd "$copied" && PATH="$scratch/bin:$PATH" KV_WINE_SESSION_LOCK="$copied/wine/session.lock" \
      ctest -R '^base_tests$' --output-on-failure 2>&1)
status=$?
check "ctest in a copied build folder is refused" '[ $status -ne 0 ] && [[ "$out" != *prefix=* ]] && [[ "$out" == *"is a copy of the build folder"* ]]'
out=$(ctest --test-dir "$WIN_BUILD" -N -R '^base_tests$' 2>&1)
status=$?
check "ctest in the build folder itself lists its tests" '[ $status -eq 0 ] && [[ "$out" == *"Total Tests: 1"* ]]'

exit $fail

#!/usr/bin/env bash
# Runs every test of Shuttle on a fresh Debian 12 machine: installs what is missing, builds
# the native core (sanitizers), the libFuzzer targets and the Windows program, then runs the
# native unit tests, the bounded fuzz runs, and the Windows unit and program tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

export SHUTTLE_WINE_ROOT=${SHUTTLE_WINE_ROOT:-/tmp/shuttle-wine-test-$$}
export SHUTTLE_DISPLAY=${SHUTTLE_DISPLAY:-:77}
export SHUTTLE_NATIVE_BUILD=$root/build/native
cleanup() {
    WINEPREFIX=$SHUTTLE_WINE_ROOT/unit wineserver -k >/dev/null 2>&1 || true
    for prefix in "$SHUTTLE_WINE_ROOT"/*/; do WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true; done
    pkill -f "Xvfb $SHUTTLE_DISPLAY " >/dev/null 2>&1 || true
    rm -rf "$SHUTTLE_WINE_ROOT"
}
trap cleanup EXIT

status=0
step() { echo; echo "=== $* ==="; }

step "native build"
cmake --preset native >/dev/null
cmake --build --preset native
step "native tests"
ctest --preset native || status=1

step "fuzz targets (clang)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --test-dir build/fuzz -L fuzz --output-on-failure || status=1

step "windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows
step "windows tests under Wine"
# The template prefix is made once, with the display up, before CTest starts Wine.
bash -c 'source tests/wine/wine_env.sh && wine_env_ready'
ctest --test-dir build/windows --output-on-failure || status=1

echo
if [ "$status" -eq 0 ]; then echo "All test suites passed."; else echo "Some test suites FAILED."; fi
exit "$status"

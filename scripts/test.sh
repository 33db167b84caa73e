#!/usr/bin/env bash
# Runs every test of Shuttle on a fresh Debian 12 machine: installs what is missing, builds
# the native core (address and undefined-behaviour sanitizers), the same tests under the
# thread sanitizer, the Linux program with its Qt interface and package, the libFuzzer targets
# and the Windows program, then runs the native unit tests, the thread-sanitizer tests, the
# Linux program's tests, the bounded fuzz runs, and the Windows unit and program tests under
# Wine.
#   SHUTTLE_WINE_ROOT  Wine root to use and keep (default: a new folder under /tmp, removed at
#                      the end)
#   SHUTTLE_KEEP_WINE  1 keeps the new Wine root (prefixes, logs) for a look after the run
# Runs beside another copy of itself: X displays take free numbers, each run has its own Wine
# root, and each build folder is built by one run at a time (see build_preset).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
started=$SECONDS

bash scripts/install-deps.sh

unset WINEPREFIX DISPLAY SHUTTLE_DISPLAY
own_root=
if [ -z "${SHUTTLE_WINE_ROOT:-}" ]; then
    SHUTTLE_WINE_ROOT=$(mktemp -d /tmp/shuttle-test-XXXXXX)
    own_root=1
fi
export SHUTTLE_WINE_ROOT
export SHUTTLE_NATIVE_BUILD=$root/build/native
# shellcheck source=../tests/wine/wine_env.sh
source tests/wine/wine_env.sh

cleanup() {
    set +e
    wine_env_cleanup
    # Every prefix in this run's root was made by this run (the unit-test prefix by CTest's
    # runs of tests/wine/run_in_wine.sh): end their servers.
    local prefix
    for prefix in "$SHUTTLE_WINE_ROOT"/*/ "$SHUTTLE_WINE_ROOT"/computers-*/*/; do
        [ -d "$prefix" ] && wine_stop_prefix "${prefix%/}"
    done
    if [ -n "$own_root" ] && [ "${SHUTTLE_KEEP_WINE:-0}" != 1 ]; then
        rm -rf "$SHUTTLE_WINE_ROOT"
    else
        echo "Wine root kept: $SHUTTLE_WINE_ROOT (remove it with: rm -rf $SHUTTLE_WINE_ROOT)"
    fi
}
trap cleanup EXIT

status=0
failed=()
clock() { printf '%d:%02d' $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60)); }
step() { echo; echo "=== $* (at $(clock)) ==="; }
suite() {  # NAME LOG COMMAND...: runs a test suite, remembers a failure and where its log is
    local name=$1 log=$2
    shift 2
    "$@" || { status=1; failed+=("$name (log: $log)"); }
}

# Runs a command holding a build folder's lock. Two runs building one folder at once would
# break each other, so the second waits; it then finds everything up to date and changes
# nothing, so the first run's tests keep their binaries.
with_folder() {  # PRESET COMMAND...
    local folder=build/$1 lock code=0
    shift
    mkdir -p "$folder"
    exec {lock}>"$folder/.build-lock"
    flock "$lock"
    "$@" || code=$?
    exec {lock}>&-
    return "$code"
}
build_preset() {  # PRESET
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}
# The native suites talk to the simulated device on real pseudo-terminals within the device's
# answer window (about 120 ms); they run under the folder's lock too, so that a second run
# beside this one waits instead of doubling the load. Each takes about two minutes, one of them
# the soak test's random exchange.
native_suite() {  # PRESET NAME
    step "$2 build"
    build_preset "$1" || return 2
    step "$2 tests"
    suite "$2 tests" "build/$1/Testing/Temporary/LastTest.log" ctest --preset "$1"
}
linux_suite() {
    step "linux program build (Qt 6)"
    build_preset linux || return 2
    step "linux program tests"
    suite "linux tests" build/linux/Testing/Temporary/LastTest.log ctest --preset linux
}
fuzz_suite() {
    step "fuzz targets (clang)"
    build_preset fuzz || return 2
    suite "fuzz runs" build/fuzz/Testing/Temporary/LastTest.log ctest --test-dir build/fuzz -L fuzz --output-on-failure
}

with_folder native native_suite native "native (address and undefined-behaviour sanitizers)"
with_folder tsan native_suite tsan "thread-sanitizer"
with_folder linux linux_suite
with_folder fuzz fuzz_suite

step "windows build"
with_folder windows build_preset windows
step "windows tests under Wine"
# One display for the Windows unit tests, which CTest runs through tests/wine/run_in_wine.sh;
# the program tests start displays of their own. The template prefix is made once, with the
# display up, before CTest starts Wine.
wine_start_display SHUTTLE_DISPLAY
export SHUTTLE_DISPLAY
(wine_env_ready)
suite "windows tests" build/windows/Testing/Temporary/LastTest.log ctest --test-dir build/windows --output-on-failure

echo
if [ "$status" -eq 0 ]; then
    echo "All test suites passed in $(clock)."
else
    echo "Some test suites FAILED (after $(clock)):"
    printf '  %s\n' "${failed[@]}"
    echo "A failed Wine program test printed both consoles and the simulator log above; SHUTTLE_KEEP_WINE=1 keeps the prefixes."
fi
exit "$status"

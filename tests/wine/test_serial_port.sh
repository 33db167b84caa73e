#!/usr/bin/env bash
# The Win32 serial port under Wine against the native link simulator: two COM ports of a fresh
# prefix are mapped to the simulator's pseudo-terminals, then serial_tests.exe runs its
# WinSerialPort cases. $1 = the Windows build folder. The simulator comes from the native build
# beside it (<repo>/build/native) or from $SHUTTLE_NATIVE_BUILD.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
# shellcheck source=wine_env.sh
source "$here/wine_env.sh"

simulator=${SHUTTLE_NATIVE_BUILD:-$repo/build/native}/tools/link-sim/link-sim
tests=$build/tests/serial_tests.exe
for needed in "$simulator" "$tests"; do
    [ -x "$needed" ] || { echo "missing $needed (build the native and windows presets first)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/shuttle-serial-port-XXXXXX)
export WINEPREFIX=$SHUTTLE_WINE_ROOT/serial-port
simulator_pid=
cleanup() {
    [ -n "$simulator_pid" ] && kill "$simulator_pid" 2>/dev/null && wait "$simulator_pid" 2>/dev/null
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

"$simulator" --link "$work/comA" --link "$work/comB" >"$work/simulator.log" 2>&1 &
simulator_pid=$!
for _ in $(seq 1 100); do
    grep -qx ready "$work/simulator.log" 2>/dev/null && break
    sleep 0.05
done
grep -qx ready "$work/simulator.log" || { echo "link-sim did not start" >&2; cat "$work/simulator.log" >&2; exit 1; }

wine_start_display "$SHUTTLE_DISPLAY"
export DISPLAY=$SHUTTLE_DISPLAY
wine_clone_prefix "$WINEPREFIX"
wine_warm_up
"$WINE64" reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$(readlink "$work/comA")" /f >/dev/null
"$WINE64" reg add 'HKLM\Software\Wine\Ports' /v COM6 /d "$(readlink "$work/comB")" /f >/dev/null
wineserver -k  # the port table is read when the server starts
wine_warm_up

SHUTTLE_TEST_COM_A=5 SHUTTLE_TEST_COM_B=6 "$WINE64" "$tests" --gtest_filter='WinSerialPort.*' --gtest_brief=0

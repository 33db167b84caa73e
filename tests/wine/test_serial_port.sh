#!/usr/bin/env bash
# The Win32 serial port under Wine against the native link simulator: two COM ports of a fresh
# prefix are mapped to the simulator's pseudo-terminals, then serial_tests.exe runs its
# WinSerialPort cases. $1 = the Windows build folder. The simulator comes from the native build
# beside it (<repo>/build/native) or from $SHUTTLE_NATIVE_BUILD.
set -u
BUILD=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
source "$here/program_test_lib.sh"

simulator=${SHUTTLE_NATIVE_BUILD:-$repo/build/native}/tools/link-sim/link-sim
tests=$BUILD/tests/serial_tests.exe
for needed in "$simulator" "$tests"; do
    [ -x "$needed" ] || { echo "missing $needed (build the native and windows presets first)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/shuttle-serial-port-XXXXXX)
simulator_pid=
cleanup() {
    [ -n "$simulator_pid" ] && { kill "$simulator_pid" && wait "$simulator_pid"; } 2>/dev/null
    rm -rf "$work"
}
at_exit cleanup

"$simulator" --link "$work/comA" --link "$work/comB" >"$work/simulator.log" 2>&1 &
simulator_pid=$!
within_ms 30000 grep -qx ready "$work/simulator.log" ||
    { echo "link-sim did not start" >&2; cat "$work/simulator.log" >&2; exit 1; }

new_computer serial-port "COM5=$work/comA" "COM6=$work/comB"
SHUTTLE_TEST_COM_A=5 SHUTTLE_TEST_COM_B=6 "$WINE64" "$tests" --gtest_filter='WinSerialPort.*' --gtest_brief=0

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
    set +e
    [ -n "$simulator_pid" ] && { kill "$simulator_pid" && wait "$simulator_pid"; } 2>/dev/null
    wine_env_cleanup
    rm -rf "$work"
}
trap cleanup EXIT

"$simulator" --link "$work/comA" --link "$work/comB" >"$work/simulator.log" 2>&1 &
simulator_pid=$!
deadline=$((SECONDS + 30))
until grep -qx ready "$work/simulator.log" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] && kill -0 "$simulator_pid" 2>/dev/null ||
        { echo "link-sim did not start" >&2; cat "$work/simulator.log" >&2; exit 1; }
    sleep 0.05
done

wine_start_display DISPLAY
export DISPLAY
wine_template
wine_clone_prefix "$WINEPREFIX"
# The port table is read when the server starts: write it before the first start.
printf '\n[Software\\\\Wine\\\\Ports]\n"COM5"="%s"\n"COM6"="%s"\n' "$(readlink -f "$work/comA")" \
    "$(readlink -f "$work/comB")" >>"$WINEPREFIX/system.reg"
wine_warm_up

SHUTTLE_TEST_COM_A=5 SHUTTLE_TEST_COM_B=6 "$WINE64" "$tests" --gtest_filter='WinSerialPort.*' --gtest_brief=0

#!/usr/bin/env bash
# Idle cost of the running program: two computers under Wine with the link simulator, both
# connected in COM mode and polling once a second, nothing copied. Prints the CPU time each
# Shuttle.exe (and each prefix's wineserver) used over the window, as a share of one core.
# Needs the windows and native builds (scripts/demo.sh makes both). SECONDS_TO_WATCH=60 default.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
watch=${SECONDS_TO_WATCH:-60}

export SHUTTLE_WINE_ROOT=${SHUTTLE_WINE_ROOT:-/tmp/shuttle-idle}
export SHUTTLE_DISPLAY=${SHUTTLE_DISPLAY:-:86}
source tests/wine/wine_env.sh
source tests/wine/computers.sh
SHUTTLE_EXE=$repo/build/windows/Shuttle.exe
PROBE_EXE=$repo/build/windows/tools/shuttle-probe/shuttle-probe.exe
work=$(mktemp -d /tmp/shuttle-idle-XXXXXX)
simulator_pid=
cleanup() {
    set +e
    computer_stop A
    computer_stop B
    [ -n "$simulator_pid" ] && kill "$simulator_pid" 2>/dev/null && wait "$simulator_pid" 2>/dev/null
    rm -rf "$work" "$SHUTTLE_WINE_ROOT"/computer-*
}
trap cleanup EXIT

"$repo/build/native/tools/link-sim/link-sim" --link "$work/comA" --link "$work/comB" >"$work/sim.log" 2>&1 &
simulator_pid=$!
sleep 0.5
computer_create A "$SHUTTLE_DISPLAY"
computer_create B ":$((${SHUTTLE_DISPLAY#:} + 1))"
computer_map_com A 5 "$work/comA"
computer_map_com B 6 "$work/comB"
on_computer A "$WINE64" reg add 'HKCU\Software\ORB\Shuttle' /v Com /t REG_DWORD /d 5 /f >/dev/null 2>&1
on_computer B "$WINE64" reg add 'HKCU\Software\ORB\Shuttle' /v Com /t REG_DWORD /d 6 /f >/dev/null 2>&1
computer_start_shuttle A
computer_start_shuttle B
sleep 5  # connected and polling

ticks_per_second=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
pids_of() { pgrep -f "$1" || true; }
declare -A start
watched=$(pids_of 'Shuttle.exe'; pids_of 'wineserver')
for pid in $watched; do start[$pid]=$(cpu_ticks "$pid"); done
sleep "$watch"
echo "CPU used over ${watch} s with both links up and idle:"
for pid in $watched; do
    used=$(( $(cpu_ticks "$pid") - ${start[$pid]} ))
    name=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | awk '{ print $1 }' | sed 's|.*[\\/]||')
    prefix=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | sed -n "s|^WINEPREFIX=$SHUTTLE_WINE_ROOT/computer-||p")
    [ -n "$prefix" ] || continue  # another prefix's server
    awk -v n="$name" -v p="$prefix" -v t="$used" -v hz="$ticks_per_second" -v w="$watch" \
        'BEGIN { printf "  %-16s computer %-2s %6.2f s CPU  = %5.2f %% of one core\n", n, p, t / hz, 100 * t / hz / w }'
done

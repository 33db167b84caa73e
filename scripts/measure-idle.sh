#!/usr/bin/env bash
# Idle cost of the running program: two computers under Wine with the link simulator, both
# connected in COM mode and polling once a second, nothing copied. Prints the CPU time each
# Shuttle.exe (and each prefix's wineserver) used over the window, as a share of one core.
# With --linux the second computer is the Linux program (its own display, home and session
# bus), whose CPU share and resident memory (now and at its peak) are printed too.
# Needs the windows and native builds (scripts/demo.sh makes both; --linux the linux build too).
# SECONDS_TO_WATCH=60 default.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
watch=${SECONDS_TO_WATCH:-60}
linux=0
[ "${1:-}" = --linux ] && linux=1

unset WINEPREFIX DISPLAY SHUTTLE_DISPLAY
own_root=
if [ -z "${SHUTTLE_WINE_ROOT:-}" ]; then
    SHUTTLE_WINE_ROOT=$(mktemp -d /tmp/shuttle-idle-wine-XXXXXX)
    own_root=1
fi
export SHUTTLE_WINE_ROOT
source tests/wine/wine_env.sh
source tests/wine/computers.sh
SHUTTLE_EXE=$repo/build/windows/Shuttle.exe
PROBE_EXE=$repo/build/windows/tools/shuttle-probe/shuttle-probe.exe
UI_EXE=$repo/build/windows/tools/shuttle-ui-driver/shuttle-ui-driver.exe
work=$(mktemp -d /tmp/shuttle-idle-XXXXXX)
simulator_pid= linux_pid= bus_pid=
cleanup() {
    set +e
    computer_stop A
    [ "$linux" = 1 ] || computer_stop B
    for pid in $linux_pid $bus_pid; do { kill "$pid" && wait "$pid"; } 2>/dev/null; done
    [ -n "$simulator_pid" ] && { kill "$simulator_pid" && wait "$simulator_pid"; } 2>/dev/null
    wine_env_cleanup
    rm -rf "$work"
    [ -n "$own_root" ] && rm -rf "$SHUTTLE_WINE_ROOT"
}
trap cleanup EXIT

"$repo/build/native/tools/link-sim/link-sim" --link "$work/comA" --link "$work/comB" >"$work/sim.log" 2>&1 &
simulator_pid=$!
deadline=$((SECONDS + 30))
until grep -qx ready "$work/sim.log"; do
    [ "$SECONDS" -lt "$deadline" ] || { echo "link-sim did not start" >&2; exit 1; }
    sleep 0.05
done
# The Linux program on the second end, with the trace it declares its state in.
start_linux() {
    local display home=$work/linux
    wine_start_display display
    mkdir -p "$home/run" "$home/config/shuttle" && chmod 700 "$home/run"
    printf 'Flags=5\nCom=%s\n' "$work/comB" >"$home/config/shuttle/shuttle.conf"
    dbus-daemon --session --nofork --print-address=1 >"$work/bus.txt" 2>/dev/null &
    bus_pid=$!
    until grep -q . "$work/bus.txt"; do sleep 0.05; done
    env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" \
        XDG_RUNTIME_DIR="$home/run" DISPLAY="$display" DBUS_SESSION_BUS_ADDRESS="$(head -1 "$work/bus.txt")" \
        "$repo/build/linux/shuttle" --console >"$work/linux.txt" 2>&1 &
    linux_pid=$!
    local deadline=$((SECONDS + 60))
    until grep -qs "Listening for copies" "$work/linux.txt"; do
        [ "$SECONDS" -lt "$deadline" ] || { echo "the Linux program did not connect" >&2; exit 1; }
        sleep 0.1
    done
}
names=(A B)
[ "$linux" = 1 ] && names=(A)
computer_create A "COM5=$work/comA"
[ "$linux" = 1 ] || computer_create B "COM6=$work/comB"
on_computer A "$WINE64" reg add 'HKCU\Software\ORB\Shuttle' /v Com /t REG_DWORD /d 5 /f >/dev/null 2>&1
[ "$linux" = 1 ] || on_computer B "$WINE64" reg add 'HKCU\Software\ORB\Shuttle' /v Com /t REG_DWORD /d 6 /f >/dev/null 2>&1
computer_start_shuttle A
[ "$linux" = 1 ] || computer_start_shuttle B
# Connected and polling: the dialogs say so.
for name in "${names[@]}"; do
    on_computer "$name" "$WINE64" "$UI_EXE" wait-text 1032 60000 " Ready" >/dev/null 2>&1 </dev/null ||
        { echo "computer $name did not connect" >&2; exit 1; }
done
[ "$linux" = 1 ] && start_linux

ticks_per_second=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
# This run's Shuttle.exe and wineserver processes, as "pid name computer" lines: the processes
# whose WINEPREFIX is one of this run's computers.
watched_processes() {
    local dir pid name computer
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        computer=$(tr '\0' '\n' 2>/dev/null <"$dir/environ" | sed -n "s|^WINEPREFIX=$WINE_COMPUTERS_DIR/computer-||p")
        [ -n "$computer" ] || continue
        name=$(tr '\0' ' ' 2>/dev/null <"$dir/cmdline" | awk '{ print $1 }' | sed 's|.*[\\/]||')
        case $name in Shuttle.exe | wineserver*) echo "$pid $name $computer" ;; esac
    done
}
declare -A start
watched=$(watched_processes)
[ "$linux" = 1 ] && watched+=$'\n'"$linux_pid shuttle(Linux) B"
while read -r pid _; do start[$pid]=$(cpu_ticks "$pid"); done <<<"$watched"
sleep "$watch"
echo "CPU used over ${watch} s with both links up and idle:"
while read -r pid name computer; do
    used=$(($(cpu_ticks "$pid") - ${start[$pid]}))
    awk -v n="$name" -v p="$computer" -v t="$used" -v hz="$ticks_per_second" -v w="$watch" \
        'BEGIN { printf "  %-16s computer %-2s %6.2f s CPU  = %5.2f %% of one core\n", n, p, t / hz, 100 * t / hz / w }'
done <<<"$watched"
if [ "$linux" = 1 ]; then
    echo "Resident memory of the Linux program: $(awk '/^VmRSS/ { print $2, $3 }' "/proc/$linux_pid/status") now," \
        "$(awk '/^VmHWM/ { print $2, $3 }' "/proc/$linux_pid/status") at its peak"
fi

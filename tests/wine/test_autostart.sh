#!/usr/bin/env bash
# "Start with Windows" under Wine, worked from outside: the tray menu's item (keys pressed in
# the real menu) and its command (shuttle-probe) add and remove the value "Shuttle" of the
# current user's Run key. Each click acts on what the key holds at that moment, which shows
# how the program reads the value: another copy's path counts as off, this program's path in
# other case, unquoted or with arguments counts as on. A logon (wineboot) then starts the
# program from the value. A picture of the open menu goes to $SHUTTLE_SCREENSHOTS.
set -u
BUILD=$(cd "$1" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/program_test_lib.sh"

DRIVER_EXE=$BUILD/tools/shuttle-ui-driver/shuttle-ui-driver.exe
SHOTS=${SHUTTLE_SCREENSHOTS:-$BUILD/screenshots}
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
SHUTTLE_PID=
cleanup() {
    if [ -n "$SHUTTLE_PID" ] && kill -0 "$SHUTTLE_PID" 2>/dev/null; then
        probe command "$COMMAND_EXIT" >/dev/null
        within_ms 30000 eval '! kill -0 "$SHUTTLE_PID" 2>/dev/null'
    fi
    # The copy a logon started is not a child of this shell: it ends with the prefix's server.
    [ -n "${TEST_PREFIX:-}" ] && wine_stop_prefix "$TEST_PREFIX"
    [ -n "$SHUTTLE_PID" ] && wait "$SHUTTLE_PID" 2>/dev/null
}
at_exit cleanup

drive() { "$WINE64" "$DRIVER_EXE" "$@" 2>/dev/null </dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
run_value() { reg_cmd query "$RUN_KEY" /v Shuttle | tr -d '\r' | sed -n 's/^ *Shuttle *REG_[A-Z_]* *//p'; }
run_value_is() { [ "$(run_value)" = "$1" ]; }
no_run_value() { ! reg_cmd query "$RUN_KEY" /v Shuttle >/dev/null; }
set_run_value() { reg_cmd add "$RUN_KEY" /v Shuttle /d "$1" /f >/dev/null; }
toggle() { probe command "$COMMAND_START_WITH_WINDOWS"; }
# A failed check shows what the Run key holds and which Shuttle processes this computer runs.
on_failure() {
    echo "  Run value: $(run_value)"
    local pid
    for pid in $(pgrep -x Shuttle.exe); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$TEST_PREFIX" &&
            echo "  running: $pid $(tr '\0' ' ' <"/proc/$pid/cmdline")"
    done
    return 0
}

new_computer autostart
program=$("$WINE64" winepath -w "$SHUTTLE_EXE" 2>/dev/null </dev/null | tr -d '\r')
ours="\"$program\""
check "Shuttle starts ($program)" start_shuttle
check "no Run value before the item is used" no_run_value

# Down, Down, Enter: "Open", then "Start with Windows".
drive tray-event 123 12 30 + menu-keys 30000 0x28 0x28 0x0D >/dev/null
check "'Start with Windows' in the tray menu writes the quoted path of Shuttle.exe" within_ms 30000 run_value_is "$ours"
drive tray-event 123 12 30 + menu-keys 30000 0x28 0x28 >/dev/null
check "picture of the tray menu with the item checked: tray-menu-start-with-windows.png" \
    eval 'mkdir -p "$SHOTS" && xwd -root -display "$DISPLAY" | xwdtopnm 2>/dev/null | pnmcut 0 0 360 160 |
          pnmtopng >"$SHOTS/tray-menu-start-with-windows.png" 2>/dev/null'
drive menu-keys 30000 0x1B >/dev/null
check "... and the menu closes" within_ms 30000 eval '! drive menu-open'
toggle
check "the item again removes the value" within_ms 30000 no_run_value

set_run_value '"C:\Other copy\Shuttle.exe"'
toggle
check "another copy's value reads as off: the item replaces it with this program's" within_ms 30000 run_value_is "$ours"
upper=$(printf '%s' "$program" | tr '[:lower:]' '[:upper:]')
set_run_value "$upper -console"
toggle
check "this program's path unquoted, in upper case, with an argument reads as on: the item removes it" \
    within_ms 30000 no_run_value
flags=$(settings_value Flags)
check "the settings flags stay the defaults (Flags: ${flags:-not saved})" eval '[ -z "$flags" ] || [ "$flags" = 0x5 ]'
toggle
check "on again" within_ms 30000 run_value_is "$ours"
check "Exit" exit_shuttle
SHUTTLE_PID=

# A logon: wineboot starts what the Run keys name.
"$WINE64" wineboot >/dev/null 2>&1 </dev/null
check "a logon starts Shuttle from the Run value" probe wait-window 60000
probe command "$COMMAND_EXIT" >/dev/null
check "... and it ends through Exit" probe wait-gone 30000

finish

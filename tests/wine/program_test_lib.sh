# Helpers for the program-level Wine tests: a fresh computer (prefix) on a display of the
# test's own, Shuttle started and stopped in it, checks counted and summarised. Source after
# setting BUILD (the Windows build). Everything the test starts is ended when it exits: the
# steps registered with at_exit run last-first, then the prefixes' servers and the displays.

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine_env.sh
source "$here/wine_env.sh"
# shellcheck source=tray_commands.sh
source "$here/tray_commands.sh"

SHUTTLE_EXE=$BUILD/Shuttle.exe
PROBE_EXE=$BUILD/tools/shuttle-probe/shuttle-probe.exe
# The version the build generated from the project version (what the program shows).
SHUTTLE_VERSION=$(sed -n 's/^#define SHUTTLE_VERSION_TEXT "\(.*\)"$/\1/p' "$BUILD/generated/shuttle_version.h")
checks_passed=0
checks_failed=0

exit_steps=()
at_exit() { exit_steps=("$1" "${exit_steps[@]}"); }
run_exit_steps() {
    local step
    for step in "${exit_steps[@]}"; do $step || true; done
    wine_env_cleanup
}
trap run_exit_steps EXIT

# Called with the description of each failed check; a test sets it to print what explains a
# failure (consoles, simulator log), since its run leaves nothing behind.
on_failure() { :; }

check() {  # check "description" command...
    local what=$1
    shift
    if "$@"; then
        checks_passed=$((checks_passed + 1))
        echo "ok   - $what"
    else
        checks_failed=$((checks_failed + 1))
        echo "FAIL - $what"
        on_failure "$what"
    fi
}

# Waits up to MS milliseconds for a command to succeed (the bound of a wait, never a pause).
within_ms() {
    local ms=$1
    shift
    local deadline=$(($(date +%s%N) / 1000000 + ms))
    until "$@"; do
        [ $(($(date +%s%N) / 1000000)) -ge "$deadline" ] && return 1
        sleep 0.1
    done
}

# A new computer: a prefix cloned from the template, on this test's display. The previous
# computer's server is ended first: two prefixes on one display would share the clipboard.
#   new_computer NAME [COMn=DEVICE...] [DPI=N]
# Each COMn=DEVICE maps a serial port to a tty (a pty or its symlink); DPI=N sets the display's
# scaling (144 is 150 %). Both go into the registry files before the server first starts, which
# spares the restart that "reg add" would need (about 4 s).
new_computer() {
    [ -n "${TEST_DISPLAY:-}" ] || wine_start_display TEST_DISPLAY
    export DISPLAY=$TEST_DISPLAY
    [ -n "${TEST_PREFIX:-}" ] && wine_stop_prefix "$TEST_PREFIX"
    TEST_PREFIX=$WINE_COMPUTERS_DIR/$1
    export WINEPREFIX=$TEST_PREFIX
    shift
    wine_template
    wine_stop_prefix "$WINEPREFIX"
    wine_clone_prefix "$WINEPREFIX"
    local item
    for item in "$@"; do
        if [[ $item == DPI=* ]]; then
            printf '\n[Control Panel\\\\Desktop]\n"LogPixels"=dword:%08x\n' "${item#DPI=}" >>"$WINEPREFIX/user.reg"
        else
            printf '\n[Software\\\\Wine\\\\Ports]\n"%s"="%s"\n' "${item%%=*}" "$(readlink -f "${item#*=}")" >>"$WINEPREFIX/system.reg"
        fi
    done
    wine_warm_up
}

probe() { wine_run "$WINE64" "$PROBE_EXE" "$@" 2>/dev/null </dev/null; }
reg_cmd() { wine_run "$WINE64" reg "$@" 2>/dev/null </dev/null; }

# Starts Shuttle with the given arguments in the background; SHUTTLE_PID is its wine process.
start_shuttle() {
    "$WINE64" "$SHUTTLE_EXE" "$@" >/dev/null 2>&1 </dev/null &
    SHUTTLE_PID=$!
    probe wait-window 30000
}

# Ends Shuttle through the tray menu's "Exit" and gives its exit code (fails when it is still
# running after 30 s).
exit_shuttle() {
    probe command "$COMMAND_EXIT"
    within_ms 30000 eval '! kill -0 "$SHUTTLE_PID" 2>/dev/null' || return 1
    local code=0
    wait "$SHUTTLE_PID" || code=$?
    return $code
}

# Start-up decides whether the window shows before its message loop first waits; checks that
# the window stays hidden look only after that moment.
started_up() { probe wait-idle 30000; }
is_visible() { [ "$(probe visible | tr -d '\r')" = "$1" ]; }
window_shown() { started_up && within_ms 30000 is_visible 1; }
window_hidden() { started_up && is_visible 0; }
has_no_console() {
    probe console >/dev/null
    [ $? -eq 2 ]
}
console_contains() { probe console | grep -q -- "$1"; }
settings_value_count() { reg_cmd query 'HKCU\Software\ORB\Shuttle' | tr -d '\r' | grep -c REG_; }
# Prints a settings value's data as reg shows it (for REG_DWORD: 0x...).
settings_value() { reg_cmd query 'HKCU\Software\ORB\Shuttle' /v "$1" | tr -d '\r' | awk -v n="$1" '$1 == n { print $3 }'; }

finish() {
    echo "$checks_passed passed, $checks_failed failed"
    [ "$checks_failed" -eq 0 ]
}

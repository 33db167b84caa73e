# Helpers for the program-level Wine tests: a fresh computer (prefix), Shuttle started and
# stopped in it, checks counted and summarised. Source after setting BUILD (the Windows build).

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

check() {  # check "description" command...
    local what=$1
    shift
    if "$@"; then
        checks_passed=$((checks_passed + 1))
        echo "ok   - $what"
    else
        checks_failed=$((checks_failed + 1))
        echo "FAIL - $what"
    fi
}

# A new computer: a prefix cloned from the template, on the default test display.
#   new_computer NAME [COMn=DEVICE...]
# Each COMn=DEVICE maps a serial port to a tty (a pty or its symlink). The mapping goes into
# the registry file before the server first starts, which spares the restart that "reg add"
# would need (about 4 s).
new_computer() {
    wine_start_display "$SHUTTLE_DISPLAY"
    export DISPLAY=$SHUTTLE_DISPLAY
    export WINEPREFIX=$SHUTTLE_WINE_ROOT/$1
    shift
    wineserver -k >/dev/null 2>&1 || true
    wine_clone_prefix "$WINEPREFIX"
    local port
    for port in "$@"; do
        printf '\n[Software\\\\Wine\\\\Ports]\n"%s"="%s"\n' "${port%%=*}" "$(readlink -f "${port#*=}")" >>"$WINEPREFIX/system.reg"
    done
    wine_warm_up
}

probe() { "$WINE64" "$PROBE_EXE" "$@" 2>/dev/null </dev/null; }
reg_cmd() { "$WINE64" reg "$@" 2>/dev/null </dev/null; }

# Starts Shuttle with the given arguments in the background; SHUTTLE_PID is its wine process.
start_shuttle() {
    "$WINE64" "$SHUTTLE_EXE" "$@" >/dev/null 2>&1 </dev/null &
    SHUTTLE_PID=$!
    probe wait-window 10000
}

# Ends Shuttle through the tray menu's "Exit" and gives its exit code.
exit_shuttle() {
    probe command "$COMMAND_EXIT"
    local code=0
    wait "$SHUTTLE_PID" || code=$?
    return $code
}

# The window exists a moment before start-up shows it: look for up to 3 s.
window_shown() {
    local tries
    for tries in $(seq 1 30); do
        [ "$(probe visible | tr -d '\r')" = 1 ] && return 0
        sleep 0.1
    done
    return 1
}
# Give start-up the same moment, so that "hidden" is not read before the window was shown.
window_hidden() { sleep 0.5; [ "$(probe visible | tr -d '\r')" = 0 ]; }
has_no_console() {
    probe console >/dev/null
    [ $? -eq 2 ]
}
console_contains() { probe console | grep -q -- "$1"; }
settings_value_count() { reg_cmd query 'HKCU\Software\ORB\Shuttle' | tr -d '\r' | grep -c REG_; }
# Prints a settings value's data as reg shows it (for REG_DWORD: 0x...).
settings_value() { reg_cmd query 'HKCU\Software\ORB\Shuttle' /v "$1" | tr -d '\r' | awk -v n="$1" '$1 == n { print $3 }'; }

finish() {
    wineserver -k >/dev/null 2>&1 || true
    echo "$checks_passed passed, $checks_failed failed"
    [ "$checks_failed" -eq 0 ]
}

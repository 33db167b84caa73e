# Two (or more) simulated computers under Wine, for end-to-end tests and the demonstration.
# Each computer is a prefix of its own on an X display of its own. Source after wine_env.sh.
#   computer_create NAME DISPLAY        fresh prefix NAME on DISPLAY (":N")
#   computer_map_com NAME N DEVICE      COMn of NAME is the tty DEVICE (a pty or its symlink)
#   computer_map_drive NAME LETTER DIR  drive LETTER: of NAME is folder DIR, as a removable drive
#   on_computer NAME CMD...             runs CMD with NAME's WINEPREFIX and DISPLAY
#   computer_start_shuttle NAME ARGS... starts Shuttle.exe on NAME (needs SHUTTLE_EXE, PROBE_EXE)
#   computer_stop NAME                  "Exit" from the tray menu, then the prefix's server ends

source "$(dirname "${BASH_SOURCE[0]}")/tray_commands.sh"

declare -A COMPUTER_DISPLAY COMPUTER_PID

computer_prefix() { echo "$SHUTTLE_WINE_ROOT/computer-$1"; }

on_computer() {
    local name=$1
    shift
    WINEPREFIX=$(computer_prefix "$name") DISPLAY=${COMPUTER_DISPLAY[$name]} "$@"
}

computer_create() {
    local name=$1 display=$2
    COMPUTER_DISPLAY[$name]=$display
    wine_start_display "$display"
    DISPLAY=$display wine_template
    WINEPREFIX=$(computer_prefix "$name") wineserver -k >/dev/null 2>&1 || true
    wine_clone_prefix "$(computer_prefix "$name")"
    on_computer "$name" wine_warm_up
}

computer_map_com() {
    local name=$1 number=$2 device
    device=$(readlink -f "$3")
    on_computer "$name" "$WINE64" reg add 'HKLM\Software\Wine\Ports' /v "COM$number" /d "$device" /f >/dev/null 2>&1 </dev/null
    on_computer "$name" wineserver -k >/dev/null 2>&1 || true
    on_computer "$name" wine_warm_up
}

computer_map_drive() {
    local name=$1 letter lower dir=$3
    letter=$(echo "$2" | tr '[:lower:]' '[:upper:]')
    lower=$(echo "$2" | tr '[:upper:]' '[:lower:]')
    ln -sfn "$dir" "$(computer_prefix "$name")/dosdevices/$lower:"
    on_computer "$name" "$WINE64" reg add 'HKLM\Software\Wine\Drives' /v "$lower:" /d floppy /f >/dev/null 2>&1 </dev/null
    on_computer "$name" wineserver -k >/dev/null 2>&1 || true
    on_computer "$name" wine_warm_up
    : "$letter"
}

computer_start_shuttle() {
    local name=$1
    shift
    on_computer "$name" "$WINE64" "$SHUTTLE_EXE" "$@" >/dev/null 2>&1 </dev/null &
    COMPUTER_PID[$name]=$!
    on_computer "$name" "$WINE64" "$PROBE_EXE" wait-window 10000 >/dev/null 2>&1 </dev/null
}

computer_stop() {
    local name=$1
    on_computer "$name" "$WINE64" "$PROBE_EXE" command "$COMMAND_EXIT" >/dev/null 2>&1 </dev/null || true
    if [ -n "${COMPUTER_PID[$name]:-}" ]; then
        wait "${COMPUTER_PID[$name]}" 2>/dev/null || true
        unset "COMPUTER_PID[$name]"
    fi
    on_computer "$name" wineserver -k >/dev/null 2>&1 || true
}

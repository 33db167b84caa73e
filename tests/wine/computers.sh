# Two (or more) simulated computers under Wine, for end-to-end tests and the demonstration.
# Each computer is a prefix of its own on an X display of its own (started on a free number).
# Source after wine_env.sh; wine_env_cleanup ends the displays and the prefixes' servers.
#   computer_create NAME [COMn=TTY | X:=DIR]...
#                                       fresh prefix NAME on a new display; COMn is the tty TTY
#                                       (a pty or its symlink), drive X: the folder DIR as a
#                                       removable drive
#   on_computer NAME CMD...             runs CMD with NAME's WINEPREFIX and DISPLAY
#   computer_start_shuttle NAME ARGS... starts Shuttle.exe on NAME (needs SHUTTLE_EXE, PROBE_EXE)
#   computer_console NAME               prints the console of NAME's Shuttle
#   computer_wait_console NAME MS TEXT [COUNT]
#                                       waits until that console holds TEXT (COUNT times)
#   computer_stop NAME                  "Exit" from the tray menu, then the prefix's server ends

source "$(dirname "${BASH_SOURCE[0]}")/tray_commands.sh"

declare -A COMPUTER_DISPLAY COMPUTER_PID

computer_prefix() { echo "$WINE_COMPUTERS_DIR/computer-$1"; }

on_computer() {
    local name=$1
    shift
    WINEPREFIX=$(computer_prefix "$name") DISPLAY=${COMPUTER_DISPLAY[$name]} wine_run "$@"
}

computer_create() {
    local name=$1 prefix display item
    shift
    prefix=$(computer_prefix "$name")
    wine_start_display display
    COMPUTER_DISPLAY[$name]=$display
    DISPLAY=$display wine_template
    wine_stop_prefix "$prefix"
    wine_clone_prefix "$prefix"
    # Ports and drives go into the registry file before the server first reads it, which spares
    # the restart (about 4 s) that "reg add" would need.
    for item in "$@"; do
        case $item in
            COM*=*)
                printf '\n[Software\\\\Wine\\\\Ports]\n"%s"="%s"\n' "${item%%=*}" "$(readlink -f "${item#*=}")" \
                    >>"$prefix/system.reg"
                ;;
            ?:=*)
                local lower
                lower=$(echo "${item:0:1}" | tr '[:upper:]' '[:lower:]')
                ln -sfn "${item#*=}" "$prefix/dosdevices/$lower:"
                printf '\n[Software\\\\Wine\\\\Drives]\n"%s:"="floppy"\n' "$lower" >>"$prefix/system.reg"
                ;;
            *) echo "computer_create: unknown item $item" >&2; return 1 ;;
        esac
    done
    on_computer "$name" wine_warm_up
}

computer_start_shuttle() {
    local name=$1
    shift
    on_computer "$name" "$WINE64" "$SHUTTLE_EXE" "$@" >/dev/null 2>&1 </dev/null &
    COMPUTER_PID[$name]=$!
    on_computer "$name" "$WINE64" "$PROBE_EXE" wait-window 30000 >/dev/null 2>&1 </dev/null
}

computer_console() { on_computer "$1" "$WINE64" "$PROBE_EXE" console 2>/dev/null </dev/null | tr -d '\r'; }

computer_wait_console() {
    on_computer "$1" "$WINE64" "$PROBE_EXE" wait-console "$2" "$3" "${4:-1}" >/dev/null 2>&1 </dev/null
}

computer_stop() {
    local name=$1 pid=${COMPUTER_PID[$1]:-}
    if [ -n "$pid" ]; then
        on_computer "$name" "$WINE64" "$PROBE_EXE" command "$COMMAND_EXIT" >/dev/null 2>&1 </dev/null || true
        # Exit ends the process; one that hangs is ended with its prefix below.
        local deadline=$((SECONDS + 20))
        while kill -0 "$pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
    fi
    wine_stop_prefix "$(computer_prefix "$name")"
    if [ -n "$pid" ]; then
        wait "$pid" 2>/dev/null || true
        unset "COMPUTER_PID[$name]"
    fi
}

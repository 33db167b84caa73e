# What the program tests of two computers share: the clipboard tool, the settings, the consoles
# and the link simulator, on computers made by computers.sh. Source after program_test_lib.sh and
# computers.sh, with BUILD (the Windows build folder) set; the helpers that keep files use the
# test's $work folder.

CLIP_EXE=$BUILD/tools/clipboard-tool/clipboard-tool.exe
SIMULATOR=${SHUTTLE_NATIVE_BUILD:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/native}/tools/link-sim/link-sim
simulator_pid=

# Exits when one of the given files is missing, naming it.
require() {  # FILE...
    local needed
    for needed in "$@"; do
        [ -e "$needed" ] || { echo "missing $needed (build the native and windows presets first)" >&2; exit 1; }
    done
}

# The tool's own exit status is the result (1 = format absent, 2 = the clipboard stayed busy).
clip() {
    local name=$1
    shift
    on_computer "$name" "$WINE64" "$CLIP_EXE" "$@" 2>/dev/null </dev/null | tr -d '\r'
    return "${PIPESTATUS[0]}"
}
# A computer that pasted looks at its own paste on its window thread, says so, and lets the
# clipboard go at once; the clipboard tool's own open then shows that it has. Wait for this
# before holding the program still (SIGSTOP), or it may be held with the clipboard open.
own_paste_let_go() {  # NAME COUNT: the computer has looked at its own paste COUNT times
    computer_wait_console "$1" 60000 "The clipboard holds this computer's paste; not sent back" "$2" &&
        clip "$1" formats >/dev/null
}
reg_on() { local name=$1; shift; on_computer "$name" "$WINE64" reg "$@" >/dev/null 2>&1 </dev/null; }
console_of() { computer_console "$1"; }
log_of() { cat "$(computer_prefix "$1")"/drive_c/users/*/AppData/Local/ORB/Shuttle.log-* 2>/dev/null; }

# Flags, and the port, the drive and the size limit when given (an empty one is left unset).
settings_on() {  # NAME FLAGS [COM [USB [MAX]]]
    local key='HKCU\Software\ORB\Shuttle'
    reg_on "$1" add "$key" /v Flags /t REG_DWORD /d "$2" /f
    [ -n "${3:-}" ] && reg_on "$1" add "$key" /v Com /t REG_DWORD /d "$3" /f
    [ -n "${4:-}" ] && reg_on "$1" add "$key" /v Usb /t REG_SZ /d "$4" /f
    [ -n "${5:-}" ] && reg_on "$1" add "$key" /v Max /t REG_DWORD /d "$5" /f
    return 0
}

# Waits up to SECONDS for a command to succeed.
within() {
    local seconds=$1
    shift
    within_ms $((seconds * 1000)) "$@"
}

text_on_clipboard() {  # NAME EXPECTED-FILE
    clip "$1" get-text "Z:$work/got-$1.txt" >/dev/null && cmp -s "$work/got-$1.txt" "$2"
}
set_text() { clip "$1" set-text "Z:$2" >/dev/null; }  # NAME FILE

# Serves $work/comA and $work/comB; returns once the simulator says it is ready.
start_link_simulator() {
    "$SIMULATOR" --link "$work/comA" --link "$work/comB" >"$work/simulator.log" 2>&1 &
    simulator_pid=$!
    within_ms 30000 grep -qx ready "$work/simulator.log" || { echo "link-sim did not start" >&2; exit 1; }
}
stop_link_simulator() {
    [ -n "$simulator_pid" ] && { kill "$simulator_pid" && wait "$simulator_pid"; } 2>/dev/null
    simulator_pid=
}

# A failed check shows both consoles and the simulator's last lines: the run leaves nothing behind.
on_failure() {
    local name
    for name in A B; do
        [ -n "${COMPUTER_PID[$name]:-}" ] || continue
        echo "  --- console of computer $name ---"
        console_of "$name" | sed '/^$/d; s/^/  | /'
    done
    [ -f "$work/simulator.log" ] || return 0
    echo "  --- link simulator log (last 60 lines) ---"
    tail -n 60 "$work/simulator.log" | sed 's/^/  | /'
}

#!/usr/bin/env bash
# The newest copy wins, on the real program: a paste held up by a busy clipboard does not replace
# the copy the user makes the moment the clipboard is free, a copy made while a long message is
# being read stays on both computers, and in USB mode a text of 2,750,000 characters goes under
# the 10 MiB limit (the plain texts Windows derives from it are not charged). Two Wine prefixes on
# two X displays, COM5 and COM6 on the link simulator, one folder as E: and F:.
# $1 = the Windows build folder; the simulator comes from the native build.
set -u
BUILD=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/program_test_lib.sh"
source "$here/computers.sh"
source "$here/two_computer_checks.sh"

require "$SIMULATOR" "$CLIP_EXE" "$SHUTTLE_EXE" "$PROBE_EXE"

work=$(mktemp -d /tmp/shuttle-newest-XXXXXX)
shared=$work/drive
mkdir -p "$shared"
holder_pid=
cleanup() {
    [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
    computer_stop A
    computer_stop B
    stop_link_simulator
    rm -rf "$work"
}
at_exit cleanup

start_link_simulator
computer_create A "COM5=$work/comA" "E:=$shared"
computer_create B "COM6=$work/comB" "F:=$shared"
console_count() { console_of "$1" | grep -c -- "$2"; }

settings_on A 5 5 "Link drive (E:)"
settings_on B 5 6 "Link drive (F:)"
check "computer A starts with COM5 saved" computer_start_shuttle A -console
check "computer B starts with COM6 saved" computer_start_shuttle B -console
check "both sides listen for copies" \
    eval 'computer_wait_console A 60000 "Listening for copies" && computer_wait_console B 60000 "Listening for copies"'

# --- a paste waiting for a busy clipboard --------------------------------------------------
printf 'remote-older' >"$work/older.txt"
printf 'local-newer \xe2\x9c\x93' >"$work/newer.txt"
# Straight to the file: a pipe would hold "holding" back until the tool ends.
on_computer B "$WINE64" "$CLIP_EXE" hold-then-set "Z:$work/go" "Z:$work/newer.txt" >"$work/holder.txt" 2>/dev/null </dev/null &
holder_pid=$!
check "another program holds B's clipboard" within 60 grep -q holding "$work/holder.txt"
check "the clipboard tool puts a text on A's clipboard" set_text A "$work/older.txt"
check "B finds its clipboard busy and keeps the paste" \
    computer_wait_console B 60000 "The clipboard is busy; the paste is tried again"
touch "$work/go"  # the holder lets go and, in the same moment, the user copies on B
check "the user's copy lands on B" eval 'wait "$holder_pid"'
holder_pid=
check "B drops the waiting paste" computer_wait_console B 60000 "A newer copy was made here"
check "B keeps the user's newer copy" text_on_clipboard B "$work/newer.txt"
check "the newer copy travels to A" within 60 text_on_clipboard A "$work/newer.txt"

# --- a copy made while a long message is being read ----------------------------------------
python3 -c 'import sys; sys.stdout.write("\u4e2d\u6587" * 1500)' >"$work/long.txt"
printf 'copied during the read' >"$work/during.txt"
news=$(console_count B "NEW DATA")
check "the clipboard tool puts 3000 CJK characters on A's clipboard" set_text A "$work/long.txt"
check "B sees the new message" within 60 eval '[ "$(console_count B "NEW DATA")" -gt "$news" ]'
check "the user copies on B meanwhile" set_text B "$work/during.txt"
check "A gets B's copy" within 60 text_on_clipboard A "$work/during.txt"
check "B still holds its own copy, whenever the read ended" text_on_clipboard B "$work/during.txt"
check "A reports its send" computer_wait_console A 30000 ">>> Copy successful" 2

computer_stop A
computer_stop B

# --- USB mode: a text is charged with what is sent ------------------------------------------
settings_on A 21 5 "Link drive (E:)"
settings_on B 21 6 "Link drive (F:)"
check "computer A starts in USB mode" computer_start_shuttle A -console
check "computer B starts in USB mode" computer_start_shuttle B -console
check "A listens for copies" computer_wait_console A 60000 "Listening for copies"
head -c 2750000 /dev/zero | tr '\0' 'w' >"$work/big.txt"
check "the clipboard tool puts 2,750,000 characters on A's clipboard" set_text A "$work/big.txt"
check "the text arrives whole on B under the 10 MiB limit" within 120 text_on_clipboard B "$work/big.txt"
check "A did not refuse it" eval '! console_of A | grep -q "Total size is"'

finish

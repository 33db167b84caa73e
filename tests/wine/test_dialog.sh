#!/usr/bin/env bash
# The main dialog and the tray icon of the real program under Wine, worked only from outside
# with shuttle-ui-driver and shuttle-probe: the link found and chosen through the dialog (COM5
# is the link simulator), the mode buttons and how fast the layout follows them, the option
# check boxes, hiding and showing through the tray, the version box without a context menu;
# every caption's room and the window's size, at 96 and 144 DPI, in both modes, with COM ports
# and a saved drive listed (the driver's "fits").
# Pictures of the dialog and of the tray land in $SHUTTLE_SCREENSHOTS (default: the build
# folder's screenshots/). $1 = the Windows build folder; the simulator comes from the native build.
set -u
BUILD=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
source "$here/program_test_lib.sh"

SIMULATOR=${SHUTTLE_NATIVE_BUILD:-$repo/build/native}/tools/link-sim/link-sim
DRIVER_EXE=$BUILD/tools/shuttle-ui-driver/shuttle-ui-driver.exe
CLIP_EXE=$BUILD/tools/clipboard-tool/clipboard-tool.exe
SHOTS=${SHUTTLE_SCREENSHOTS:-$BUILD/screenshots}
for needed in "$SIMULATOR" "$DRIVER_EXE" "$CLIP_EXE" "$SHUTTLE_EXE" "$PROBE_EXE"; do
    [ -e "$needed" ] || { echo "missing $needed (build the native and windows presets first)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/shuttle-dialog-XXXXXX)
simulator_pid=
SHUTTLE_PID=
cleanup() {
    if [ -n "$SHUTTLE_PID" ] && shuttle_running; then
        probe command "$COMMAND_EXIT" >/dev/null
        within_ms 30000 eval '! shuttle_running'
    fi
    [ -n "${TEST_PREFIX:-}" ] && wine_stop_prefix "$TEST_PREFIX"
    [ -n "$SHUTTLE_PID" ] && wait "$SHUTTLE_PID" 2>/dev/null
    [ -n "$simulator_pid" ] && { kill "$simulator_pid" && wait "$simulator_pid"; } 2>/dev/null
    rm -rf "$work"
}
at_exit cleanup
# A failed check shows the link simulator's log (every request and answer): the run leaves
# nothing behind.
on_failure() {
    echo "  --- link simulator log (last 60 lines) ---"
    tail -n 60 "$work/simulator.log" | sed 's/^/  | /'
}
test_started=$(date +%s%N)
elapsed_ms() { echo $((($(date +%s%N) - test_started) / 1000000)); }
section() { echo "# $1 (at $(elapsed_ms) ms)"; }

shuttle_running() { kill -0 "$SHUTTLE_PID" 2>/dev/null; }
# One call of the driver; several commands may share it, separated by "+".
drive() { "$WINE64" "$DRIVER_EXE" "$@" 2>/dev/null </dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
quietly() { "$@" >/dev/null; }
# What Shuttle saved (numbers in decimal), read by the driver: quicker than reg.exe.
setting() { drive setting "$1"; }
flags() { setting Flags; }
every_flags_has() {  # BIT FLAGS...
    local bit=$1 f
    shift
    for f in "$@"; do [[ $f =~ ^[0-9]+$ ]] && [ $((f & bit)) -ne 0 ] || return 1; done
}
every_flags_lacks() {
    local bit=$1 f
    shift
    for f in "$@"; do [[ $f =~ ^[0-9]+$ ]] && [ $((f & bit)) -eq 0 ] || return 1; done
}
# "visible enabled checked" of a control, e.g. "1 1 0".
state_is() { [ "$(drive state "$1")" = "$2" ]; }
# One digit per control, in the order given: shown (1) or hidden (0); checked (1) or not (0).
visibility() { drive state "$@" | cut -d' ' -f1 | tr -d '\n'; }
checkmarks() { drive state "$@" | cut -d' ' -f3 | tr -d '\n'; }
# The check marks and visibility of everything the user set, to compare before and after hiding.
dialog_states() { drive state 1013 1014 1016 1034 1035 1012 1036 1040 1037 | tr '\n' ' '; }
# The mode layout, shown (1) or hidden (0): size selector, size frame, narrow options frame,
# COM options frame; and the check marks of " COM" and " USB".
layout_is() { [ "$(visibility 1012 1036 1040 1037)" = "$1" ]; }
COM_LAYOUT=0001
USB_LAYOUT=1110
mode_buttons_are() { [ "$(checkmarks 1034 1035)" = "$1" ]; }
com_is() { [ "$(setting Com)" = "$1" ]; }
# Every caption has its room and the window is the dialog's size, at DPI $1; else the misfits.
fits_at() {
    local out code=0
    out=$(drive fits) || code=$?
    [ "$code" = 0 ] && [ "$(echo "$out" | head -1)" = "dpi $1" ] && return 0
    echo "$out" | sed 's/^/  | /'
    return 1
}
# Starts Shuttle in USB mode, window shown, with "Link drive (F:)" saved; waits until it is listed.
start_with_saved_drive() {
    local key='HKCU\Software\ORB\Shuttle'
    quietly reg_cmd add "$key" /v Flags /t REG_DWORD /d 17 /f && quietly reg_cmd add "$key" /v Usb /d "Link drive (F:)" /f &&
        start_shuttle && window_shown && within_ms 30000 eval 'drive items 1010 | grep -qx "\*Link drive (F:)"'
}
index_of_link() { drive items 1010 | sed 's/^\*//' | grep -nx "$1" | cut -d: -f1 | awk '{ print $1 - 1 }'; }
screenshot() {  # FILE-NAME [X Y WIDTH HEIGHT]: the whole display, or the given part of it
    mkdir -p "$SHOTS"
    if [ $# -eq 5 ]; then
        xwd -root -display "$DISPLAY" | xwdtopnm 2>/dev/null | pnmcut "$2" "$3" "$4" "$5" | pnmtopng >"$SHOTS/$1" 2>/dev/null
    else
        xwd -root -display "$DISPLAY" | xwdtopnm 2>/dev/null | pnmtopng >"$SHOTS/$1" 2>/dev/null
    fi
    [ -s "$SHOTS/$1" ]
}
# The device acknowledges every frame written to it, and only those: a count of copies made.
acks() { grep -c ' -> ack' "$work/simulator.log"; }
acks_above() { [ "$(acks)" -gt "$1" ]; }
copy_text() {
    printf '%s' "$1" >"$work/copy.txt"
    "$WINE64" "$CLIP_EXE" set-text "Z:$work/copy.txt" >/dev/null 2>&1 </dev/null
}
# A balloon is a window of Wine's explorer beside the tray window (shown about 1-2 s late).
balloon_window() {
    xwininfo -root -tree -display "$DISPLAY" 2>/dev/null | grep '("explorer.exe"' |
        grep -v -e ' 1x1+' -e '"Wine System Tray"' | grep -q .
}

section "a fresh computer with COM5 on the link simulator"
"$SIMULATOR" --verbose --link "$work/com" >"$work/simulator.log" 2>&1 &
simulator_pid=$!
within_ms 30000 grep -qx ready "$work/simulator.log" || { echo "link-sim did not start" >&2; exit 1; }

# A fresh computer (nothing saved) whose COM5 is the simulator's terminal.
new_computer dialog "COM5=$work/com"

check "Shuttle starts with nothing saved" start_shuttle
# The icon is added while the main window is created, before start-up reaches the message loop.
check "the tray icon is present" eval 'started_up && drive tray-present'

section "the link, found and chosen through the dialog"
waited=$(drive wait-text 1032 60000 " Ready")
check "the search at start finds the device on COM5: ' Ready' (after ${waited:-?} ms)" [ -n "$waited" ]
check "the search saves Com=5" within_ms 30000 com_is 5
check "connected: the link button says 'Disconnect'" [ "$(drive text 1011)" = Disconnect ]
check "the selector lists COM5, selected" eval 'drive items 1010 | grep -qx "\*COM5"'

check "'Disconnect' leads to ' Select  COM' and the caption 'Auto'" \
    quietly drive click 1011 + wait-text 1032 30000 " Select  COM" + wait-text 1011 30000 Auto
check "... and forgets the port (Com=0xFFFFFFFF)" within_ms 30000 com_is 4294967295
selector=$(drive state 1010 + items 1010 | tr '\n' ' ')
check "... and leaves the selector enabled with nothing chosen ($selector)" \
    eval '[[ "$selector" == "1 1 0 "* && "$selector" != *"*"* ]]'
com5=$(index_of_link COM5)
waited=$(drive select 1010 "${com5:-99}" + wait-text 1032 60000 " Ready")
check "choosing COM5 in the selector brings ' Ready' (after ${waited:-?} ms)" [ -n "$waited" ]
check "... and writes Com=5" within_ms 30000 com_is 5
check "... and disables the selector while connected" state_is 1010 "1 0 0"

out=$(drive click 1011 + wait-text 1011 30000 Auto + click 1011 + wait-text 1011 30000 Stop + wait-text 1032 60000 " Ready")
check "'Auto' after a disconnect starts a search (caption 'Stop')" [ -n "$(echo "$out" | sed -n 2p)" ]
waited=$(echo "$out" | sed -n 3p)
check "... which finds COM5 again (' Ready' after ${waited:-?} ms)" [ -n "$waited" ]
check "... and writes Com=5" within_ms 30000 com_is 5

section "the window through the tray"
check "the default flags start in the tray (window hidden)" window_hidden
probe command "$COMMAND_OPEN" >/dev/null
check "the tray's 'Open' shows the main window" window_shown
drive move 320 120 >/dev/null  # off the tray window, so that pictures show both
check "COM mode: ' COM' checked, only the COM options frame shown" \
    eval 'mode_buttons_are 10 && layout_is $COM_LAYOUT'
check "picture of the dialog in COM mode: dialog-com.png" screenshot dialog-com.png
check "COM mode at 96 DPI: every caption fits, the window is the dialog's size" fits_at 96

section "mode buttons"
usb_times=() com_times=() usb_flag=() com_flag=() usb_frame=() com_frame=()
for round in 1 2 3; do
    # Once the link is back the supervisor is idle; then " USB", then the COM frame.
    out=$(drive wait-text 1032 60000 " Ready" + click-wait 1035 1012 1 30000 + wait-shown 1037 0 30000 + setting Flags)
    usb_times+=("$(echo "$out" | sed -n 2p | grep . || echo timeout)")
    usb_frame+=("$(echo "$out" | sed -n 3p | grep -q . && echo hidden)")
    usb_flag+=("$(echo "$out" | sed -n 4p | grep . || echo none)")
    [ "$round" = 1 ] && {
        # The selector is shown before its entries are filled: wait for the entries themselves.
        check "USB mode lists the five size limits, 10MB chosen" \
            within_ms 30000 eval '[ "$(drive items 1012 | tr "\n" " ")" = "*10MB 25MB 50MB 75MB 100MB " ]'
        check "USB mode with no drive saved says ' Select  USB', caption 'Refresh'" \
            quietly drive wait-text 1032 30000 " Select  USB" + wait-text 1011 30000 Refresh
        check "USB mode: ' USB' checked, size selector and frame and the narrow options frame shown" \
            eval 'mode_buttons_are 01 && layout_is $USB_LAYOUT'
        check "picture of the dialog in USB mode: dialog-usb.png" screenshot dialog-usb.png
        check "USB mode at 96 DPI: every caption fits" fits_at 96
        drive select 1012 2
        check "choosing '50MB' saves Max=52428800" within_ms 30000 eval '[ "$(setting Max)" = 52428800 ]'
    }
    [ "$round" = 2 ] &&
        check "the size limit survives a switch to COM and back ('50MB' chosen)" \
            eval 'drive items 1012 | grep -qx "\*50MB"'
    out=$(drive click-wait 1034 1012 0 30000 + wait-shown 1037 1 30000 + setting Flags)
    com_times+=("$(echo "$out" | sed -n 1p | grep . || echo timeout)")
    com_frame+=("$(echo "$out" | sed -n 2p | grep -q . && echo shown)")
    com_flag+=("$(echo "$out" | sed -n 3p | grep . || echo none)")
done
usb_ms=${usb_times[*]}
com_ms=${com_times[*]}
check "' USB' shows the size selector, 3 times (ms: $usb_ms; goal about 100)" \
    eval '! [[ "$usb_ms" == *timeout* ]]'
check "' USB' saves Flags with bit 16 each time (${usb_flag[*]})" \
    every_flags_has 16 "${usb_flag[@]}"
check "' USB' hides the COM options frame each time" [ "${usb_frame[*]}" = "hidden hidden hidden" ]
check "' COM' hides the size selector, 3 times (ms: $com_ms; goal about 100)" \
    eval '! [[ "$com_ms" == *timeout* ]]'
check "' COM' saves Flags without bit 16 each time (${com_flag[*]})" \
    every_flags_lacks 16 "${com_flag[@]}"
check "' COM' shows the COM options frame again each time" [ "${com_frame[*]}" = "shown shown shown" ]
check "back in COM mode the saved COM5 is reconnected (' Ready')" quietly drive wait-text 1032 60000 " Ready"
check "back in COM mode the layout is the COM layout again" layout_is $COM_LAYOUT

section "'Show'"
before=$(flags)
drive click 1013
now=$(flags)
check "'Show' off saves Flags without bit 1 ($before -> $now)" [ $((now & 1)) -eq 0 ]
check "... and changes no other bit" [ $((now | 1)) -eq $((before | 1)) ]
check "... and the box is unchecked" [ "$(checkmarks 1013)" = 0 ]
acks_before=$(acks)
copy_text "Copied with notifications off"
# Whether a balloon is asked for is notifyUser's decision, checked by the native notification
# tests; Wine's tray shows a balloon on a timer of its own, so nothing seen from outside marks
# the moment one would have appeared.
check "with 'Show' off a copy still reaches the device" within_ms 30000 acks_above "$acks_before"
drive click 1013
now=$(flags)
check "'Show' on again restores Flags ($now)" [ "$now" = "$before" ]
check "... and the box is checked" [ "$(checkmarks 1013)" = 1 ]

section "OK and Open"
drive click 1014 + click 1016  # "Play sound" on and "Start in tray" off: mixed states to compare
now=$(flags)
check "'Play sound' and 'Start in tray' save bits 2 and 4 (Flags $now)" [ $((now & 6)) -eq 2 ]
states=$(dialog_states)
drive click 1017
check "'OK' hides the main window" window_hidden
check "the tray icon stays while the window is hidden" drive tray-present
probe command "$COMMAND_OPEN" >/dev/null
check "'Open' (command "$COMMAND_OPEN") shows it again" window_shown
check "... with the same check marks and layout ($states)" [ "$(dialog_states)" = "$states" ]
drive click 1017 + tray-event 1024 10 30
check "a click on the tray icon (NIN_SELECT) shows it again" window_shown
check "... with the same check marks and layout" [ "$(dialog_states)" = "$states" ]
check "a right click on the tray icon opens its menu" \
    quietly drive click 1017 + tray-event 123 12 30 + menu-keys 30000 0x28 0x0D  # Down, Enter: "Open"
check "choosing 'Open' in the tray menu shows the window again" window_shown
check "... with the same check marks and layout" [ "$(dialog_states)" = "$states" ]
drive click 1014 + click 1016
now=$(flags)
check "'Play sound' and 'Start in tray' restored (Flags $now)" [ "$now" = "$before" ]

section "the version box"
check "the version box shows the program's name and version" \
    eval 'drive text 1019 | head -2 | tr -d "\n" | grep -qx "ShuttleVersion ${SHUTTLE_VERSION:?}"'
check "a popup menu is seen when one is open (the tray menu)" \
    quietly drive tray-event 123 12 30 + menu-keys 30000 0x1B  # Escape closes it
check "... and the tray menu closes on Escape" within_ms 30000 eval '! drive menu-open'
# The right click is sent, not posted: it returns once the version box has handled it, and a
# context menu would still be open (its loop holding the call) at that moment.
check "a right click on the version box (1019) is handled" drive context-menu 1019
check "... and opens no context menu" eval '! drive menu-open'

section "a real copy and its balloon"
acks_before=$(acks)
copy_text "Copied with notifications on"
check "with 'Show' on a copy reaches the device" within_ms 30000 acks_above "$acks_before"
check "a copy handed to the device shows a balloon by the tray icon" within_ms 30000 balloon_window
# A window that closes while xwd reads the screen fails the capture (BadDrawable): take it again.
check "picture of the tray icon with the balloon: tray-balloon.png (the corner) and tray-balloon-screen.png" \
    within_ms 30000 eval 'screenshot tray-balloon.png 0 0 400 200 2>/dev/null && screenshot tray-balloon-screen.png 2>/dev/null'

section "leaving through the tray menu"
quietly drive tray-event 123 12 30 + menu-keys 30000 0x28 0x28 0x28 0x0D  # Down three times, Enter: "Exit"
code=timeout
if within_ms 30000 eval '! shuttle_running'; then
    code=0
    wait "$SHUTTLE_PID" || code=$?
fi
check "choosing 'Exit' in the tray menu ends Shuttle with code 0" [ "$code" = 0 ]
SHUTTLE_PID=
check "the main window is gone after Exit" probe wait-gone 30000

section "a saved drive in USB mode at 96 DPI, then both modes at 144 DPI (150 %)"
check "Shuttle starts in USB mode with 'Link drive (F:)' saved and listed" start_with_saved_drive
check "... every caption and the drive entry fit" fits_at 96
check "picture: dialog-usb-drive.png" screenshot dialog-usb-drive.png
check "... Exit ends it" exit_shuttle
new_computer dialog-144 "COM5=$work/com" DPI=144
check "at 144 DPI Shuttle starts in USB mode with the drive saved and listed" start_with_saved_drive
check "... every caption fits (the driver sees 144 DPI)" fits_at 144
check "picture: dialog-usb-144.png" screenshot dialog-usb-144.png
check "' COM' at 144 DPI finds COM5 (' Ready')" quietly drive click 1034 + wait-text 1032 60000 " Ready"
check "... every caption and port entry fit" fits_at 144
check "picture: dialog-com-144.png" screenshot dialog-com-144.png
check "... Exit ends it" exit_shuttle
SHUTTLE_PID=

echo "# pictures in $SHOTS; took $(elapsed_ms) ms"
finish

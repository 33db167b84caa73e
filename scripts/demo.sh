#!/usr/bin/env bash
# The main job: a live demonstration of two computers sharing their clipboards through the
# simulated link device. Two Wine prefixes on two virtual displays are the two PCs; the link
# simulator serves one pseudo-terminal to each (COM5 on the first, COM6 on the second), and one
# folder is the USB drive (E: on the first, F: on the second). Shuttle.exe is installed on both,
# a text is copied on the first and pasted into Notepad on the second, then both switch to USB
# mode through their dialogs, a folder is copied on the first and pasted into a file-list window
# on the second. Each step is printed with its time; screenshots of both screens are saved. It
# ends by itself and leaves nothing running.
#   --mixed            the second computer is the Linux program (Qt, on its own X display with a
#                      home and session bus of its own, the link's second pseudo-terminal and the
#                      same folder as its store); its clipboard is shown by qt-clipboard's window,
#                      and it is started again in USB mode where the Windows dialog is clicked
#   SHUTTLE_DEMO_OUT   where the screenshots go (default demo-output/)
#   SHUTTLE_KEEP_WINE  1 keeps the Wine template in /tmp/shuttle-demo-wine-<uid> for the next run
#                      (about 10 s faster; 0.7 GB); otherwise everything in /tmp is removed
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
mixed=0
[ "${1:-}" = --mixed ] && mixed=1
names=(A B)  # the Windows computers
[ "$mixed" = 1 ] && names=(A)

bash scripts/install-deps.sh
# Each build folder is built by one run at a time (scripts/test.sh may be building it too).
build_targets() {  # PRESET TARGET...
    local preset=$1
    shift
    mkdir -p "build/$preset"
    (
        flock 9
        cmake --preset "$preset" >/dev/null
        # The build tool's own lines, one per file compiled or program linked.
        cmake --build --preset "$preset" --target "$@" | awk '/^\[ *[0-9]+%\] (Building|Linking)/ { print "  " $0; fflush() }'
    ) 9>"build/$preset/.build-lock"
}
echo "building Shuttle.exe and its tools (MinGW-w64) and the link simulator (native)..."
build_targets windows Shuttle clipboard-tool shuttle-probe shuttle-ui-driver paste-view
build_targets native link-sim
if [ "$mixed" = 1 ]; then
    echo "building the Linux program and qt-clipboard (Qt 6)..."
    build_targets linux shuttle qt-clipboard
fi

unset WINEPREFIX DISPLAY SHUTTLE_DISPLAY
if [ "${SHUTTLE_KEEP_WINE:-0}" = 1 ]; then
    export SHUTTLE_WINE_ROOT=${SHUTTLE_WINE_ROOT:-/tmp/shuttle-demo-wine-$(id -u)}
else
    export SHUTTLE_WINE_ROOT=${SHUTTLE_WINE_ROOT:-$(mktemp -d /tmp/shuttle-demo-wine-XXXXXX)}
fi
out=${SHUTTLE_DEMO_OUT:-$repo/demo-output}
rm -rf "$out" && mkdir -p "$out"
source tests/wine/wine_env.sh
source tests/wine/computers.sh

win=$repo/build/windows
SHUTTLE_EXE='C:\Program Files\Shuttle\Shuttle.exe'
PROBE_EXE=$win/tools/shuttle-probe/shuttle-probe.exe
CLIP_EXE=$win/tools/clipboard-tool/clipboard-tool.exe
UI_EXE=$win/tools/shuttle-ui-driver/shuttle-ui-driver.exe
VIEW_EXE=$win/tools/paste-view/paste-view.exe
work=$(mktemp -d /tmp/shuttle-demo-work-XXXXXX)
drive=$work/usb-drive
mkdir -p "$drive"
simulator_pid=
linux_pid= view_pid= bus_pid=

stamp() { date +%H:%M:%S.%3N; }
say() { echo "[$(stamp)] $*"; }
cleanup() {
    set +e
    for name in "${names[@]}"; do [ -n "${COMPUTER_DISPLAY[$name]:-}" ] && computer_stop "$name"; done
    for pid in $linux_pid $view_pid $bus_pid; do { kill "$pid" && wait "$pid"; } 2>/dev/null; done
    [ -n "$simulator_pid" ] && { kill "$simulator_pid" && wait "$simulator_pid"; } 2>/dev/null
    wine_env_cleanup
    wait 2>/dev/null  # the programs started in the background ended with their prefixes
    rm -rf "$work"
    if [ "${SHUTTLE_KEEP_WINE:-0}" = 1 ]; then
        echo "Wine template kept in $SHUTTLE_WINE_ROOT (remove it with: rm -rf $SHUTTLE_WINE_ROOT)"
    else
        rm -rf "$SHUTTLE_WINE_ROOT"
    fi
}
trap cleanup EXIT

wine_on() { local name=$1; shift; on_computer "$name" "$WINE64" "$@" 2>/dev/null </dev/null | tr -d '\r'; }
clip() { local name=$1; shift; wine_on "$name" "$CLIP_EXE" "$@"; }
ui() { local name=$1; shift; wine_on "$name" "$UI_EXE" "$@"; }
shot() {  # NAME LABEL
    local file=$out/$2-$1.png
    xwd -root -display "${COMPUTER_DISPLAY[$1]}" 2>/dev/null | xwdtopnm 2>/dev/null | pnmtopng >"$file" 2>/dev/null &&
        say "screenshot of computer $1: $file"
}
trace_tail() {  # NAME: the new lines of the computer's console since the last call
    local name=$1 seen_file=$work/seen-$1
    computer_console "$name" | sed '/^$/d' >"$work/console-$name"
    local seen=0
    [ -f "$seen_file" ] && seen=$(cat "$seen_file")
    tail -n +"$((seen + 1))" "$work/console-$name" | grep -v -e 'USB not ready' -e 'old data$' -e '^GUID=' |
        sed "s/^/      $name| /" | tail -n 12
    wc -l <"$work/console-$name" >"$seen_file"
}
wait_until() {  # SECONDS COMMAND...: the bound of a wait for a condition, never a pause
    local deadline=$(($(date +%s) + $1))
    shift
    until "$@"; do
        [ "$(date +%s)" -ge "$deadline" ] && return 1
        sleep 0.25
    done
}
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }

# Computer B as the Linux program (--mixed): a display, home, XDG folders and session bus of
# its own; nothing of the caller's environment reaches it.
linux=$repo/build/linux
linux_settings() {  # FLAGS
    mkdir -p "$work/linux/config/shuttle"
    printf 'Flags=%s\nCom=%s\nUsb=%s (F:)\n' "$1" "$work/comB" "$drive" >"$work/linux/config/shuttle/shuttle.conf"
}
linux_create() {
    local display
    wine_start_display display
    COMPUTER_DISPLAY[B]=$display
    mkdir -p "$work/linux/run" && chmod 700 "$work/linux/run"
    dbus-daemon --session --nofork --print-address=1 >"$work/bus.txt" 2>/dev/null &
    bus_pid=$!
    wait_until 30 grep -q . "$work/bus.txt"
    linux_env=(env -i PATH="$PATH" LANG=C.UTF-8 HOME="$work/linux" XDG_CONFIG_HOME="$work/linux/config"
        XDG_STATE_HOME="$work/linux/state" XDG_RUNTIME_DIR="$work/linux/run" DISPLAY="$display"
        DBUS_SESSION_BUS_ADDRESS="$(head -1 "$work/bus.txt")")
    say "computer B: the Linux program on display $display, $work/comB = link device, $drive = USB drive (F:)"
}
linux_start() {
    "${linux_env[@]}" "$linux/shuttle" --console >"$work/linux-console.txt" 2>&1 &
    linux_pid=$!
    wait_until 30 grep -q '^Running' "$work/linux-console.txt"
}
linux_stop() {
    [ -n "$linux_pid" ] || return 0
    kill -TERM "$linux_pid" 2>/dev/null
    wait "$linux_pid" || true
    linux_pid=
}
linux_clip() { "${linux_env[@]}" "$linux/tools/qt-clipboard/qt-clipboard" "$@" 2>/dev/null; }
linux_listening() { grep -q "Listening for copies" "$work/linux-console.txt"; }
# The console lines of the Linux program since the last call, as trace_tail gives them.
linux_trace_tail() {
    local seen=0 seen_file=$work/seen-linux
    [ -f "$seen_file" ] && seen=$(cat "$seen_file")
    tail -n +"$((seen + 1))" "$work/linux-console.txt" | grep -v -e 'old data$' -e '^GUID=' | sed 's/^/      B| /' | tail -n 12
    wc -l <"$work/linux-console.txt" >"$seen_file"
}

say "starting the link simulator (two pseudo-terminals)"
"$repo/build/native/tools/link-sim/link-sim" --link "$work/comA" --link "$work/comB" >"$work/simulator.log" 2>&1 &
simulator_pid=$!
wait_until 30 grep -qx ready "$work/simulator.log"
sed -n '/->/s/^/      sim| /p' "$work/simulator.log"

for name in "${names[@]}"; do
    letter=E port=5
    [ "$name" = B ] && letter=F port=6
    computer_create "$name" "COM$port=$work/com$name" "$letter:=$drive"
    say "computer $name: Wine prefix on display ${COMPUTER_DISPLAY[$name]}, COM$port = link device, $letter: = USB drive"
    install_dir="$(computer_prefix "$name")/drive_c/Program Files/Shuttle"
    mkdir -p "$install_dir/Images"
    cp "$win/Shuttle.exe" "$install_dir/"
    cp "$win/Images/logo_orb.ico" "$install_dir/Images/"
    # Saved settings as a user would leave them: notifications on, window shown, COM mode on
    # this computer's port, and the drive remembered for USB mode.
    reg() { wine_on "$name" reg add 'HKCU\Software\ORB\Shuttle' "$@" /f >/dev/null; }
    reg /v Flags /t REG_DWORD /d 1
    reg /v Com /t REG_DWORD /d "$port"
    reg /v Usb /t REG_SZ /d "Link drive ($letter:)"
done

[ "$mixed" = 1 ] && linux_create && linux_settings 1
for name in "${names[@]}"; do
    say "computer $name: starting $SHUTTLE_EXE -console"
    install_dir="$(computer_prefix "$name")/drive_c/Program Files/Shuttle"
    (cd "$install_dir" && on_computer "$name" "$WINE64" "$SHUTTLE_EXE" -console >/dev/null 2>&1 </dev/null) &
    COMPUTER_PID[$name]=$!
    wine_on "$name" "$PROBE_EXE" wait-window 30000 >/dev/null
    ui "$name" move 660 40 >/dev/null || true  # beside the console window
done
if [ "$mixed" = 1 ]; then
    say "computer B: starting the Linux program shuttle --console"
    linux_start
fi
# The program says when its clipboard listener is on: from then on a copy is carried.
b_listening() { if [ "$mixed" = 1 ]; then wait_until 60 linux_listening; else computer_wait_console B 60000 "Listening for copies"; fi; }
computer_wait_console A 60000 "Listening for copies" && b_listening ||
    { say "the programs did not start listening for copies"; exit 1; }
# The dialog shows " Ready" a moment after the trace says the port answered.
ui A wait-text 1032 30000 " Ready" >/dev/null
[ "$mixed" = 1 ] || ui B wait-text 1032 30000 " Ready" >/dev/null
if [ "$mixed" = 1 ]; then
    say "both computers see the link device and listen for copies; status text: A '$(ui A text 1032)'"
else
    say "both computers see the link device and listen for copies; status texts: A '$(ui A text 1032)', B '$(ui B text 1032)'"
fi
b_trace_tail() { if [ "$mixed" = 1 ]; then linux_trace_tail; else trace_tail B; fi; }
trace_tail A
b_trace_tail

if [ "$mixed" = 1 ]; then
    say "computer B: the user opens a window that shows the Linux clipboard (qt-clipboard view)"
    "${linux_env[@]}" "$linux/tools/qt-clipboard/qt-clipboard" view "Clipboard of computer B (Linux)" \
        -geometry 520x420+740+40 >/dev/null 2>&1 &
    view_pid=$!
else
    say "computer B: the user opens Notepad"
    # Windows links a CJK font to Notepad's font by itself; under Wine the user picks one that has
    # the characters (Wine draws no emoji, so the rocket stays a box on screen).
    wine_on B reg add 'HKCU\Software\Microsoft\Notepad' /v lfFaceName /d "WenQuanYi Micro Hei Mono" /f >/dev/null
    (on_computer B "$WINE64" notepad >/dev/null 2>&1 </dev/null) &
    ui B wait-top Notepad 30000 + place Notepad 20 560 620 300 >/dev/null || { say "Notepad did not open"; exit 1; }
fi
shot A 1-com-ready
shot B 1-com-ready

printf 'Hello from computer A \xe2\x80\x94 caf\xc3\xa9, \xe4\xb8\xad\xe6\x96\x87, \xf0\x9f\x9a\x80' >"$work/text.txt"
say "computer A: the user copies the text \"$(cat "$work/text.txt")\""
clip A set-text "Z:$work/text.txt" >/dev/null
arrived() {
    if [ "$mixed" = 1 ]; then linux_clip text "$work/arrived.txt"; else clip B get-text "Z:$work/arrived.txt" >/dev/null; fi &&
        cmp -s "$work/arrived.txt" "$work/text.txt"
}
started=$(date +%s%N)
if wait_until 60 arrived; then
    say "computer B: the clipboard now holds \"$(cat "$work/arrived.txt")\" ($(ms_since "$started") ms after the copy)"
else
    say "computer B: the text did not arrive"; exit 1
fi
if [ "$mixed" = 1 ]; then
    say "computer B: the clipboard window shows the text"
    pasted_shot=2-text-on-linux-clipboard
else
    say "computer B: the user presses Ctrl+V in Notepad"
    ui B paste-into Notepad >/dev/null
    say "computer B: Notepad shows \"$(ui B top-text Notepad)\""
    pasted_shot=2-text-pasted-in-notepad
fi
trace_tail A
b_trace_tail
shot A 2-text-sent
shot B "$pasted_shot"

usb_ready() { [ "$(ui "$1" state 1012 | cut -c1)" = 1 ] && ui "$1" items 1010 | grep -q '^\*Link drive'; }
if [ "$mixed" = 1 ]; then
    say "computer A: the user clicks \" USB\" in the dialog; computer B: the Linux program starts again in USB mode"
    ui A click 1035 >/dev/null
    linux_stop
    linux_settings 17
    linux_start
    started=$(date +%s%N)
    wait_until 30 usb_ready A || { say "the dialog did not switch to USB mode"; exit 1; }
    say "A's dialog shows the size selector and the drive list ($(ms_since "$started") ms after the click)"
    say "store drive selected: A '$(ui A items 1010 | sed -n 's/^\*//p' | head -1)'"
    [ -n "$(ui A wait-text 1032 60000 " Ready")" ] && wait_until 60 linux_listening ||
        { say "the drive did not become ready"; exit 1; }
    say "A's dialog says ' Ready' in USB mode, and the Linux program listens for copies on its store"
else
    say "both computers: the user clicks \" USB\" in the dialog"
    ui A click 1035 >/dev/null
    ui B click 1035 >/dev/null
    started=$(date +%s%N)
    wait_until 30 usb_ready A && wait_until 30 usb_ready B ||
        { say "the dialogs did not switch to USB mode"; exit 1; }
    say "both dialogs show the size selector and the drive list ($(ms_since "$started") ms after the clicks)"
    say "store drive selected: A '$(ui A items 1010 | sed -n 's/^\*//p' | head -1)', B '$(ui B items 1010 | sed -n 's/^\*//p' | head -1)'"
    # The listener stays on through the switch; the status line says when both sides are ready.
    [ -n "$(ui A wait-text 1032 60000 " Ready")" ] && [ -n "$(ui B wait-text 1032 60000 " Ready")" ] ||
        { say "the drive did not become ready"; exit 1; }
    say "both dialogs say ' Ready' in USB mode"
fi
shot A 3-usb-mode
shot B 3-usb-mode

if [ "$mixed" = 0 ]; then
    say "computer B: the user opens a file-list window (paste-view)"
    (on_computer B "$WINE64" "$VIEW_EXE" "Pasted on computer B" >"$work/view.txt" 2>/dev/null </dev/null) &
    ui B wait-top ShuttlePasteView 30000 + place ShuttlePasteView 660 520 600 420 >/dev/null ||
        { say "paste-view did not open"; exit 1; }
fi

source_dir="$(computer_prefix A)/drive_c/users/Public/Documents/Holiday"
mkdir -p "$source_dir/photos"
head -c 300000 /dev/urandom >"$source_dir/photos/beach.jpg"
head -c 120000 /dev/urandom >"$source_dir/photos/sunset.jpg"
printf 'Day 1: sea. Day 2: mountains.\n' >"$source_dir/notes.txt"
say "computer A: the user copies the folder C:\\users\\Public\\Documents\\Holiday ($(du -sb "$source_dir" | cut -f1) bytes)"
clip A set-files 'C:\users\Public\Documents\Holiday' >/dev/null
files_arrived() {
    if [ "$mixed" = 1 ]; then linux_clip get-files; else clip B get-files; fi >"$work/files.txt" && grep -q 'Holiday' "$work/files.txt"
}
started=$(date +%s%N)
if wait_until 60 files_arrived; then
    say "computer B: the clipboard now holds a file list ($(ms_since "$started") ms after the copy):"
    sed 's/^/      B| /' "$work/files.txt"
else
    say "computer B: the file list did not arrive"; exit 1
fi
if [ "$mixed" = 1 ]; then
    say "computer B: the clipboard window lists the files"
    stored=$(sed -n "s|^$drive/||p" "$work/files.txt" | head -1)
else
    say "computer B: the user pastes into the file-list window, which shows:"
    ui B paste-into ShuttlePasteView >/dev/null
    sed 's/^/      B| /' "$work/view.txt"
    stored=$(sed -n 's/^F:\\\(.*\)$/\1/p' "$work/files.txt" | head -1 | tr '\\' '/')
fi
if diff -r "$source_dir" "$drive/$stored" >/dev/null; then
    say "the folder on the USB drive is byte-identical to the original:"
else
    say "the folder on the USB drive differs from the original"; exit 1
fi
(cd "$drive" && find . -type f -printf '      drive| %P (%s bytes)\n' | sort)
trace_tail A
b_trace_tail
shot A 4-files-sent
shot B 4-files-pasted

if [ "$mixed" = 1 ]; then
    say "computer A: Exit from the tray menu; computer B: the Linux program is asked to end (SIGTERM)"
    computer_stop A
    linux_stop
else
    say "both computers: Exit from the tray menu"
    computer_stop A
    computer_stop B
fi
unset 'COMPUTER_DISPLAY[A]' 'COMPUTER_DISPLAY[B]'
say "done; screenshots are in $out"

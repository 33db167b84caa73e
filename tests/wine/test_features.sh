#!/usr/bin/env bash
# Content marked private, texts, pictures and HTML in USB mode, a document another program wrote,
# and the progress of a long copy, on two computers driven only from outside: two Wine prefixes
# on two X displays, COM5 of the first and COM6 of the second on the link simulator's terminals,
# one folder seen as E: by the first and F: by the second. A picture of the tray tip during the
# long copy lands in $SHUTTLE_SCREENSHOTS (default: the build folder's screenshots/).
# $1 = the Windows build folder; the simulator comes from the native build.
set -u
BUILD=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/program_test_lib.sh"
source "$here/computers.sh"
source "$here/two_computer_checks.sh"

DRIVER_EXE=$BUILD/tools/shuttle-ui-driver/shuttle-ui-driver.exe
SHOTS=${SHUTTLE_SCREENSHOTS:-$BUILD/screenshots}
require "$SIMULATOR" "$CLIP_EXE" "$DRIVER_EXE" "$SHUTTLE_EXE" "$PROBE_EXE"

work=$(mktemp -d /tmp/shuttle-features-XXXXXX)
shared=$work/drive
mkdir -p "$shared"
holder_pid=
held_pid=
cleanup() {
    # A Shuttle still held goes on (once its holder has ended) before it is asked to exit.
    [ -n "$holder_pid" ] && { kill "$holder_pid" && wait "$holder_pid"; } 2>/dev/null
    [ -n "$held_pid" ] && kill -CONT "$held_pid" 2>/dev/null
    computer_stop A
    computer_stop B
    stop_link_simulator
    rm -rf "$work"
}
at_exit cleanup

start_link_simulator

computer_create A "COM5=$work/comA" "E:=$shared"
computer_create B "COM6=$work/comB" "F:=$shared"

drive_on() { local name=$1; shift; on_computer "$name" "$WINE64" "$DRIVER_EXE" "$@" 2>/dev/null </dev/null | tr -d '\r'; }
console_count() { console_of "$1" | grep -c -- "$2"; }
format_is() {  # NAME FORMAT EXPECTED-FILE: the clipboard block byte for byte
    clip "$1" get-format "$2" "Z:$work/got-$1.bin" >/dev/null && cmp -s "$work/got-$1.bin" "$3"
}

# --- marked texts stay home (COM mode) -----------------------------------------------------
settings_on A 5 5 "Link drive (E:)"
settings_on B 5 6 "Link drive (F:)"
check "computer A starts with COM5 saved" computer_start_shuttle A -console
check "computer B starts with COM6 saved" computer_start_shuttle B -console
check "both sides see the device" \
    eval 'computer_wait_console A 60000 "COM5 ready" && computer_wait_console B 60000 "COM6 ready"'
check "both sides listen for copies" \
    eval 'computer_wait_console A 60000 "Listening for copies" && computer_wait_console B 60000 "Listening for copies"'

sent=0
for marker in ExcludeClipboardContentFromMonitorProcessing "Clipboard Viewer Ignore" CanUploadToCloudClipboard=0; do
    marked_before=$(console_count A "Marked private by its owner; not sent")
    printf 'secret behind %s' "$marker" >"$work/secret.txt"
    check "a text marked $marker is copied on A" clip A set-text "Z:$work/secret.txt" "$marker"
    check "a text marked $marker is kept home" \
        within 60 eval '[ "$(console_count A "Marked private by its owner; not sent")" -gt "$marked_before" ]'
    printf 'public after %s' "$marker" >"$work/public.txt"
    check "the clipboard tool puts it on A's clipboard (set-text)" clip A set-text "Z:$work/public.txt"
    sent=$((sent + 1))
    check "... and an unmarked text right after it reaches B" within 60 text_on_clipboard B "$work/public.txt"
done
printf 'cloud upload allowed' >"$work/allowed.txt"
check "the clipboard tool puts it on A's clipboard (set-text)" clip A set-text "Z:$work/allowed.txt" CanUploadToCloudClipboard=1
sent=$((sent + 1))
check "a text with CanUploadToCloudClipboard = 1 reaches B" within 60 text_on_clipboard B "$work/allowed.txt"
check "no marked text ever reached the device: one GUID and one paste per unmarked text ($sent)" \
    eval '[ "$(console_count A "NEW GUID")" = "$sent" ] && [ "$(console_count B "Data received")" = "$sent" ]'
check "no failure was shown for the marked texts" eval '! console_of A | grep -q -e "Transfer interrupted" -e "Not connected"'

computer_stop A
computer_stop B

# --- texts and pictures in USB mode ----------------------------------------------------------
# A shows no balloons (Flags 20: USB mode, start in tray), so that none covers the tip in the
# picture; its 100 MB limit lets the long copy through.
settings_on A 20 5 "Link drive (E:)" 104857600
settings_on B 21 6 "Link drive (F:)"
check "computer A starts in USB mode with E: saved" computer_start_shuttle A -console
check "computer B starts in USB mode with F: saved" computer_start_shuttle B -console
check "both sides listen" \
    eval 'computer_wait_console A 60000 "Listening for copies" && computer_wait_console B 60000 "Listening for copies"'

printf 'USB text: Gr\xc3\xbc\xc3\x9fe \xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x98\x80 end' >"$work/usb-text.txt"
check "the clipboard tool puts it on A's clipboard (set-text)" clip A set-text "Z:$work/usb-text.txt"
check "a text copied on A is pasted on B" within 60 text_on_clipboard B "$work/usb-text.txt"
clip A get-format CF_UNICODETEXT "Z:$work/a-unicode.bin" >/dev/null
# The paste ends a text with its format's whole terminator (two zero bytes for UTF-16), whatever
# the payload held.
cp "$work/a-unicode.bin" "$work/b-unicode-expected.bin" && printf '\0\0' >>"$work/b-unicode-expected.bin"
check "B's CF_UNICODETEXT is A's block byte for byte (and the zero unit the paste adds)" \
    format_is B CF_UNICODETEXT "$work/b-unicode-expected.bin"
meta=$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta
check "the document lists CF_UNICODETEXT first" grep -q '"formats":\["CF_UNICODETEXT"' "$meta"

# A 200 x 100 picture, 24 bits a pixel: BITMAPINFOHEADER and 100 rows of 600 bytes.
python3 - "$work/picture.dib" <<'EOF'
import struct, sys
width, height = 200, 100
row = width * 3
header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, row * height, 2835, 2835, 0, 0)
pixels = bytes((x * 7 + y * 13 + (x * y) % 251) & 0xFF for y in range(height) for x in range(row))
open(sys.argv[1], "wb").write(header + pixels)
EOF
check "the clipboard tool puts it on A's clipboard (set-format)" clip A set-format CF_DIB "Z:$work/picture.dib"
check "a 200 x 100 picture copied on A arrives on B as the same CF_DIB" within 60 format_is B CF_DIB "$work/picture.dib"
check "... and the document carries it as CF_DIB" grep -q '"formats":\["CF_DIB"\]' "$meta"
check "no store folder was written for the text or the picture" \
    eval '[ ! -e "$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage" ]'

before=$(md5sum <"$meta")
printf 'usb secret' >"$work/usb-secret.txt"
marked_before=$(console_count A "Marked private by its owner; not sent")
check "the clipboard tool puts it on A's clipboard (set-text)" clip A set-text "Z:$work/usb-secret.txt" CanUploadToCloudClipboard=0
check "a marked text in USB mode is kept home" \
    within 60 eval '[ "$(console_count A "Marked private by its owner; not sent")" -gt "$marked_before" ]'
check "... and the drive's document is untouched" eval '[ "$(md5sum <"$meta")" = "$before" ]'

# --- HTML with its text, and a document another program wrote --------------------------------
python3 - "$work" <<'EOF'
import sys
work, text, fragment = sys.argv[1], "bold text", "<b>bold</b> text"
head = "Version:0.9\r\nStartHTML:%010d\r\nEndHTML:%010d\r\nStartFragment:%010d\r\nEndFragment:%010d\r\n"
body = "<html><body><!--StartFragment-->%s<!--EndFragment--></body></html>" % fragment
start, at = len(head % (0, 0, 0, 0)), body.index(fragment)
html = head % (start, start + len(body), start + at, start + at + len(fragment)) + body
open(work + "/html.bin", "wb").write(html.encode())
open(work + "/html-text.bin", "wb").write(text.encode("utf-16-le") + b"\0\0")
open(work + "/html-text.txt", "wb").write(text.encode())
EOF
check "the clipboard tool puts a text and its HTML on A's clipboard in one copy (set-format)" \
    clip A set-format CF_UNICODETEXT "Z:$work/html-text.bin" CF_HTML "Z:$work/html.bin"
check "the text copied with its HTML is pasted on B" within 60 text_on_clipboard B "$work/html-text.txt"
clip A get-format CF_HTML "Z:$work/a-html.bin" >/dev/null
cp "$work/a-html.bin" "$work/b-html-expected.bin" && printf '\0' >>"$work/b-html-expected.bin"
check "... and beside it B holds A's HTML Format, header and all (and the zero the paste adds)" \
    format_is B CF_HTML "$work/b-html-expected.bin"
check "... both carried in one document" grep -q '"formats":\["CF_UNICODETEXT","CF_HTML"\]' "$meta"

# A standard JSON writer's document: "formats" first, indented, a member of its own, escaped
# backslashes and an escaped non-ASCII letter; moved into place whole.
python3 - "$work/foreign-meta" <<'EOF'
import json, sys
path = "E:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage\\2026_05_17_09_30_12\\foreign \u00e9.txt"
document = {"formats": ["CF_HDROP"], "writer": {"name": "another program", "version": 2}, "data": [[path]],
            "GUID": "{0F0F0F0F-1111-4222-8333-444455556666}"}
open(sys.argv[1], "w").write(json.dumps(document, indent=2))
EOF
own_looks_before=$(console_count A "holds this computer's paste")
mv "$work/foreign-meta" "$meta"
foreign='F:\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage\2026_05_17_09_30_12\foreign é.txt'
check "a document another program wrote with \"formats\" before \"data\" pastes its file list on B" \
    within 60 eval 'clip B get-files | grep -qxF -- "$foreign"'
check "... and A, which reads the same drive, pastes it too and lets its clipboard go" \
    own_paste_let_go A $((own_looks_before + 1))

# --- progress of a long copy ---------------------------------------------------------------
# Shuttle on A is held still from outside (SIGSTOP) before the copy is made, and let run only in
# slices of well under a millisecond, so that the copy can never run away from the test: on
# until the copy has begun (its payload folder exists), then held until the transfer has lasted
# over a second, then on until two more chunks of the file are written (and two fifths of it) -
# the progress shown after the first of them came before the second was written - then on a few
# slices at a time until the dialog's status line shows the progress (read while it is held),
# and held while the tip is read.
# The Shuttle.exe process of computer NAME: the child of the shell that computer_start_shuttle
# started it from.
shuttle_pid_of() { pgrep -P "${COMPUTER_PID[$1]}" -x Shuttle.exe; }
source_root=$(computer_prefix A)/drive_c/outgoing
mkdir -p "$source_root"
head -c 104857600 /dev/zero >"$source_root/long-copy.bin"
# The dialog open beside the tray, for its status line and the picture.
on_computer A "$WINE64" "$PROBE_EXE" command "$COMMAND_OPEN" >/dev/null 2>&1 </dev/null
check "A's dialog is open" within 30 eval '[ "$(on_computer A "$WINE64" "$PROBE_EXE" visible 2>/dev/null </dev/null | tr -d "\r")" = 1 ]'
drive_on A move 320 120 >/dev/null
held_pid=$(shuttle_pid_of A)
check "Shuttle's process on A is found" [ -n "$held_pid" ]
copies_before=$(console_of A | grep -c ">>> Copy successful")
kill -STOP "$held_pid"
check "the clipboard tool puts it on A's clipboard (set-files)" clip A set-files 'C:\outgoing\long-copy.bin'
# Read without a message to Shuttle, so also while it is held.
status_of_a() { drive_on A stored-text "$(resource_id IDC_STATUS_TEXT)"; }
WINEPREFIX=$(computer_prefix A) DISPLAY=${COMPUTER_DISPLAY[A]} python3 - "$held_pid" \
    "$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage" long-copy.bin 104857600 65792 "$work/holder.log" "$work/go-on" "$WINE64" "$DRIVER_EXE" "$(resource_id IDC_STATUS_TEXT)" <<'EOF' &
import glob, os, signal, subprocess, sys, time
pid, storage, name, total, chunk = int(sys.argv[1]), sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
log, go_on, wine, driver, status_control = sys.argv[6:11]
def note(text):
    with open(log, "a") as out:
        out.write(text + "\n")
def copied():
    for path in glob.glob(os.path.join(storage, "*", name)):
        try:
            return os.stat(path).st_size
        except OSError:
            pass
    return 0
def give_up(why):
    os.kill(pid, signal.SIGCONT)
    note(why)
    sys.exit(1)
def run_until(done, what):
    end = time.monotonic() + 120
    while not done():
        os.kill(pid, signal.SIGCONT)
        os.kill(pid, signal.SIGSTOP)
        if time.monotonic() > end:
            give_up("the copy did not reach " + what)
def status_shows_progress():  # the dialog's status line, read without a message to Shuttle
    line = subprocess.run([wine, driver, "stored-text", status_control], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    return line.decode("utf-8", "replace").startswith(" Sending")
run_until(lambda: glob.glob(os.path.join(storage, "*", "")), "its payload folder")
note("held as the copy began, at %d bytes" % copied())
# Progress shows once a transfer has lasted a second: the passing time itself is what is waited
# for, while the program is held.
time.sleep(1.2)
first = copied()
# Two more chunks at least, and about two fifths of the file for a picture worth looking at.
run_until(lambda: copied() >= max(first + 2 * chunk, total * 2 // 5), "two fifths")
# The window thread shows the progress on the status line: a few slices at a time until it has.
end = time.monotonic() + 120
while not status_shows_progress():
    if copied() >= total:
        give_up("the copy ended before the status line showed its progress")
    if time.monotonic() > end:
        give_up("the status line did not show the progress")
    for _ in range(10):
        os.kill(pid, signal.SIGCONT)
        os.kill(pid, signal.SIGSTOP)
now = copied()
if now >= total:
    give_up("the copy ended before it was held")
note("held at %d of %d bytes" % (now, total))
while not os.path.exists(go_on):
    time.sleep(0.05)
os.kill(pid, signal.SIGCONT)
note("going on")
EOF
holder_pid=$!
check "the long copy is held after its progress was shown" within 60 grep -qs "^held at" "$work/holder.log"
cat "$work/holder.log"
drive_on A tray-hover >/dev/null
tip=$(drive_on A tray-tip 10000 "Sending")
echo "tray tip read from outside: ${tip:-(none; the tip shown is '$(drive_on A tray-tip 100)')}"
check "the tray tip reads 'Sending… N %' during the copy" eval '[[ "$tip" =~ ^Sending…\ [0-9]+\ %$ ]]'
status=$(status_of_a)
echo "status line read from outside: $status"
percent_of() { echo "$1" | sed -n 's/.* \([0-9]*\) %$/\1/p'; }
check "the dialog's status line shows the progress too (at most the tip's percentage)" \
    eval '[[ "$status" =~ ^\ Sending…\ [0-9]+\ %$ ]] && [ "$(percent_of "$status")" -le "$(percent_of "$tip")" ]'
mkdir -p "$SHOTS"
xwd -root -display "${COMPUTER_DISPLAY[A]}" | xwdtopnm 2>/dev/null >"$work/screen.pnm"
pnmcut 0 0 940 520 "$work/screen.pnm" | pnmtopng >"$SHOTS/tray-tip-progress.png" 2>/dev/null
pnmtopng "$work/screen.pnm" >"$SHOTS/tray-tip-progress-screen.png" 2>/dev/null
check "picture of the tray tip during the long copy: tray-tip-progress.png" [ -s "$SHOTS/tray-tip-progress.png" ]
touch "$work/go-on"
wait "$holder_pid"
holder_pid=
held_pid=
check "the long copy ends with its usual result" \
    computer_wait_console A 60000 ">>> Copy successful" $((copies_before + 1))
# Held, the program may have shown the tip and not yet written its trace line: read once it went on.
check "the console traced the same progress" eval 'console_of A | grep -qF "Progress: $tip"'
# A tooltip shown a moment ago may wait for the pointer to come again: hover until it shows.
tip_again() { drive_on A tray-hover >/dev/null && [ "$(drive_on A tray-tip 3000 Shuttle)" = Shuttle ]; }
check "the tray tip is 'Shuttle' again after the copy" within 60 tip_again
check "the progress climbed, never repeating a percentage" \
    eval 'console_of A | sed -n "s/^Progress: Sending… \([0-9]*\) %$/\1/p" | sort -n -c -u'
check "the progress ended at 100 %" eval '[ "$(console_of A | grep "^Progress:" | tail -1)" = "Progress: Sending… 100 %" ]'
check "the status line shows the link again" within 30 eval '[ "$(status_of_a)" = " Ready" ]'
check "B pastes the long copy as a file list" within 30 eval 'clip B get-files | grep -q "long-copy.bin"'

finish

#!/usr/bin/env bash
# The Linux program and the Windows one share their clipboards: Shuttle.exe under Wine on one X
# display (COM5, and the shared folder as E:), the Linux program on another (the other end of
# the link simulator, the same folder as its store), each with a session of its own. Texts go
# both ways in COM mode; a folder, a text with HTML and a picture both ways in USB mode; a
# secret-marked copy stays on Linux; the Linux side's notifications reach its desktop.
# $1 = the Windows build folder; the Linux program comes from the linux build beside it
# ($SHUTTLE_LINUX_BUILD), the simulator from the native build.
set -u
BUILD=$(cd "$1" && pwd)
LINUX_BUILD=${SHUTTLE_LINUX_BUILD:-$(dirname "$BUILD")/linux}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/program_test_lib.sh"
source "$here/computers.sh"
source "$here/two_computer_checks.sh"

LINUX_EXE=$LINUX_BUILD/shuttle
QT_CLIP=$LINUX_BUILD/tools/qt-clipboard/qt-clipboard
require "$SIMULATOR" "$CLIP_EXE" "$SHUTTLE_EXE" "$PROBE_EXE" "$LINUX_EXE" "$QT_CLIP"

work=$(mktemp -d /tmp/shuttle-linux-peer-XXXXXX)
shared=$work/drive
home=$work/linux-home
mkdir -p "$shared" "$home/run"
chmod 700 "$home/run"
linux_pid= bus_pid= bus= notifier_pid=
served=()  # clipboard owners of the qt-clipboard tool, serving a copy
stop_linux() {
    [ -n "$linux_pid" ] || return 0
    kill -TERM "$linux_pid" 2>/dev/null
    within 30 eval '! kill -0 "$linux_pid" 2>/dev/null'
    local code=0
    wait "$linux_pid" 2>/dev/null || code=$?
    linux_pid=
    return "$code"
}
cleanup() {
    stop_linux
    local pid
    for pid in "${served[@]}" $notifier_pid $bus_pid; do { kill "$pid" && wait "$pid"; } 2>/dev/null; done
    computer_stop A
    stop_link_simulator
    rm -rf "$work"
}
at_exit cleanup

# The Linux computer: its own display, session bus, home and XDG folders; nothing of the
# caller's environment reaches it.
wine_start_display LINUX_DISPLAY
dbus-daemon --session --nofork --print-address=1 >"$work/bus.txt" 2>/dev/null &
bus_pid=$!
within 30 grep -q . "$work/bus.txt" || { echo "no session bus" >&2; exit 1; }
bus=$(head -1 "$work/bus.txt")
linux_env=(env -i PATH="$PATH" LANG=C.UTF-8 HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state"
    XDG_RUNTIME_DIR="$home/run" DISPLAY="$LINUX_DISPLAY" DBUS_SESSION_BUS_ADDRESS="$bus")
on_linux() { "${linux_env[@]}" "$@"; }
linux_console() { cat "$work/linux-console.txt" 2>/dev/null; }
linux_count() { linux_console | grep -c -- "$1"; }
linux_listening() { linux_console | grep -q "Listening for copies"; }
linux_settings() {  # FLAGS: the port is the simulator's second end, the store the shared folder
    mkdir -p "$home/config/shuttle"
    printf 'Flags=%s\nCom=%s\nUsb=%s (E:)\nMax=10485760\n' "$1" "$work/comB" "$shared" >"$home/config/shuttle/shuttle.conf"
}
start_linux() {
    "${linux_env[@]}" "$LINUX_EXE" --console >"$work/linux-console.txt" 2>&1 &
    linux_pid=$!  # env runs the program in its own process
    within 30 eval 'linux_console | grep -q "^Running"'
}
# Serves a copy on the Linux clipboard (qt-clipboard VERB ARGS...) until another copy replaces it.
linux_copy() {
    local out=$work/served-${#served[@]}.txt
    "${linux_env[@]}" "$QT_CLIP" "$@" >"$out" 2>&1 &
    served+=($!)
    within 30 grep -qx ready "$out"
}
linux_clip() { on_linux "$QT_CLIP" "$@" 2>/dev/null; }
linux_text_is() { linux_clip text "$work/linux-got.txt" && cmp -s "$work/linux-got.txt" "$1"; }
linux_type_is() { linux_clip get "$1" "$work/linux-got.bin" && cmp -s "$work/linux-got.bin" "$2"; }
format_on_a() { clip A get-format "$1" "Z:$2" >/dev/null; }  # FORMAT FILE
notified() { grep -q -- "$1" "$work/notifications.txt" 2>/dev/null; }
on_failure() {
    echo "  --- Linux console ---"
    linux_console | tail -n 40 | sed 's/^/  | /'
    echo "  --- console of computer A ---"
    console_of A | tail -n 40 | sed '/^$/d; s/^/  | /'
    [ -f "$work/simulator.log" ] && tail -n 30 "$work/simulator.log" | sed 's/^/  | /'
}

"${linux_env[@]}" "$QT_CLIP" notifications "$work/notifications.txt" >"$work/notifier.txt" 2>&1 &
notifier_pid=$!
check "the Linux desktop's notification service runs" within 30 grep -qx ready "$work/notifier.txt"
start_link_simulator
computer_create A "COM5=$work/comA" "E:=$shared"

# --- COM mode ------------------------------------------------------------------------------
settings_on A 5 5 "Link drive (E:)"
linux_settings 5
check "Shuttle.exe starts with COM5 saved" computer_start_shuttle A -console
check "the Linux program starts with the simulator's second end saved" start_linux
check "both sides listen for copies" \
    eval 'computer_wait_console A 60000 "Listening for copies" && within 60 linux_listening'
# No tray at start (the dialog shows instead); a panel that comes later gets the icon.
check "without a tray host the Linux program shows no icon" eval '! linux_console | grep -q "Tray icon shown"'
"${linux_env[@]}" "$QT_CLIP" tray-host "$work/tray.txt" >"$work/tray-host.txt" 2>&1 &
served+=($!)
check "a tray host that appears later gets the icon" within 30 eval 'grep -qs . "$work/tray.txt"'
check "a second Linux program ends at once with status 0, the first one untouched" \
    eval 'on_linux "$LINUX_EXE" && kill -0 "$linux_pid"'

python3 -c 'import sys; sys.stdout.write("".join(chr(0x4E00 + (i * 37) % 20000) for i in range(3000)))' >"$work/cjk.txt"
check "3000 CJK characters copied on Windows" set_text A "$work/cjk.txt"
check "... arrive on the Linux clipboard byte for byte" within 120 linux_text_is "$work/cjk.txt"
check "... and Linux tells its desktop" within 30 notified "Data received | Ready to paste"
{ head -c 8940 "$work/cjk.txt"; printf ' \xf0\x9f\x9a\x80 caf\xc3\xa9 end'; } >"$work/emoji.txt"  # 2992 units
check "2980 CJK characters with an emoji copied on Linux" linux_copy set text "$work/emoji.txt"
check "... arrive on the Windows clipboard byte for byte" within 120 text_on_clipboard A "$work/emoji.txt"
check "the Linux side reports its copy" within 60 eval 'linux_console | grep -q ">>> Copy successful"'
printf 'Back again \xf0\x9f\x98\x80' >"$work/emoji-back.txt"
check "an emoji copied on Windows" set_text A "$work/emoji-back.txt"
check "... arrives on Linux" within 120 linux_text_is "$work/emoji-back.txt"
check "pasted texts are not sent back (one GUID made on each side per copy)" \
    eval '[ "$(console_of A | grep -c "NEW GUID")" = 2 ] && [ "$(linux_count "NEW GUID")" = 1 ]'
check "the Linux program ends on SIGTERM with status 0" stop_linux
computer_stop A

# --- USB mode ------------------------------------------------------------------------------
settings_on A 21 5 "Link drive (E:)"
linux_settings 21
check "Shuttle.exe starts in USB mode with E: saved" computer_start_shuttle A -console
check "the Linux program starts in USB mode with the shared folder saved" start_linux
check "both sides listen for copies" \
    eval 'computer_wait_console A 60000 "Listening for copies" && within 60 linux_listening'

source_root=$(computer_prefix A)/drive_c/outgoing
mkdir -p "$source_root/album/deeper"
head -c 70000 /dev/urandom >"$source_root/album/deeper/photo.bin"
printf 'caption \xc3\xa9' >"$source_root/album/"$'caf\xc3\xa9 caption.txt'
check "a folder copied on Windows" clip A set-files 'C:\outgoing\album'
pasted_on_linux() { linux_clip get-files >"$work/linux-files.txt" && grep -q '/album$' "$work/linux-files.txt"; }
check "... is a file list on Linux" within 60 pasted_on_linux
check "... whose folder is the one on the drive, byte for byte" diff -r "$source_root/album" "$(head -1 "$work/linux-files.txt")"
check "... offered to GNOME's file managers too" eval 'linux_clip get x-special/gnome-copied-files "$work/gnome.txt" && head -1 "$work/gnome.txt" | grep -qx copy'

mkdir -p "$work/linux-out/set/sub"
printf 'a b' >"$work/linux-out/set/a b.txt"
head -c 100000 /dev/urandom >"$work/linux-out/set/sub/"$'\xc3\xbc.bin'
check "a folder copied on Linux (as a file manager copies it)" linux_copy files "$work/linux-out/set"
windows_folder() { clip A get-files | head -1 | sed 's/^E:\\//; s/\\/\//g'; }
check "... is a file list on Windows, on its drive E:" within 60 eval '[[ "$(windows_folder)" == *_storage/*/set ]]'
check "... holding the folder byte for byte" diff -r "$work/linux-out/set" "$shared/$(windows_folder)"

# A text with HTML, as a browser copies it: the text and the fragment.
printf 'bold text' >"$work/html-text.txt"
printf '<b>bold</b> text \xc3\xa9' >"$work/fragment.html"
python3 - "$work" <<'EOF'
import sys
work = sys.argv[1]
text = open(work + "/html-text.txt", encoding="utf-8").read()
open(work + "/html-text.bin", "wb").write((text + "\0").encode("utf-16-le"))
fragment = open(work + "/fragment.html", "rb").read()
body = b"<html><body>\r\n<!--StartFragment-->" + fragment + b"<!--EndFragment-->\r\n</body></html>"
head = "Version:0.9\r\nStartHTML:{:010d}\r\nEndHTML:{:010d}\r\nStartFragment:{:010d}\r\nEndFragment:{:010d}\r\n"
size = len(head.format(0, 0, 0, 0))
start = size + body.index(b"-->", body.index(b"StartFragment")) + 3
open(work + "/html.bin", "wb").write(head.format(size, size + len(body), start, start + len(fragment)).encode() + body + b"\0")
open(work + "/html-context.html", "wb").write(body)
EOF
check "a text with HTML copied on Windows" clip A set-format CF_UNICODETEXT "Z:$work/html-text.bin" "HTML Format" "Z:$work/html.bin"
check "... is text/html on Linux, the Windows header stripped" within 60 linux_type_is text/html "$work/html-context.html"
check "... beside its text" linux_text_is "$work/html-text.txt"
printf 'italic answer' >"$work/answer.txt"
printf '<i>italic</i> answer \xe4\xb8\xad' >"$work/answer.html"
check "a text with HTML copied on Linux" linux_copy set text "$work/answer.txt" text/html "$work/answer.html"
html_on_a() {  # the fragment the header of A's "HTML Format" names, and the text beside it
    format_on_a "HTML Format" "$work/a-html.bin" && text_on_clipboard A "$work/answer.txt" &&
        python3 - "$work/a-html.bin" "$work/answer.html" <<'EOF'
import re, sys
block = open(sys.argv[1], "rb").read().split(b"\0")[0]
offsets = {k.decode(): int(v) for k, v in re.findall(rb"(StartHTML|EndHTML|StartFragment|EndFragment):(\d+)", block)}
assert offsets["EndHTML"] == len(block) and block.startswith(b"Version:")
sys.exit(0 if block[offsets["StartFragment"]:offsets["EndFragment"]] == open(sys.argv[2], "rb").read() else 1)
EOF
}
check "... is \"HTML Format\" with a true header on Windows, beside its text" within 60 html_on_a

# A 200 x 100 picture, 24 bits a pixel, both ways; pixels compared with the PPM Qt reads.
python3 - "$work" <<'EOF'
import struct, sys
width, height, work = 200, 100, sys.argv[1]
pixels = [[((x * 7 + y * 13) & 255, (x * y) % 251, (x + 3 * y) & 255) for x in range(width)] for y in range(height)]
stride = (width * 3 + 3) // 4 * 4
rows = b"".join(bytes(c for (r, g, b) in pixels[y] for c in (b, g, r)).ljust(stride, b"\0") for y in reversed(range(height)))
open(work + "/picture.dib", "wb").write(struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0) + rows)
open(work + "/picture.ppm", "wb").write(b"P6\n%d %d\n255\n" % (width, height) + bytes(c for row in pixels for p in row for c in p))
EOF
same_pixels() {  # DIB PPM: the picture of a 24-bit bottom-up DIB against a PPM
    python3 - "$1" "$2" <<'EOF'
import struct, sys
dib, ppm = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
size, width, height, _, bits = struct.unpack_from("<IiiHH", dib)
stride = (width * bits // 8 + 3) // 4 * 4
rows = [dib[size + y * stride:size + y * stride + width * 3] for y in range(height)][::-1]
fields = ppm.split(maxsplit=4)
want = fields[4]
got = b"".join(bytes(row[i + 2 - k] for i in range(0, len(row), 3) for k in range(3)) for row in rows)
sys.exit(0 if bits == 24 and fields[1:3] == [b"%d" % width, b"%d" % height] and got == want else 1)
EOF
}
picture_on_linux() { linux_clip image "$work/linux-picture.ppm" && cmp -s "$work/linux-picture.ppm" "$work/picture.ppm"; }
check "a picture copied on Windows" clip A set-format CF_DIB "Z:$work/picture.dib"
check "... is an image on Linux, pixel for pixel" within 60 picture_on_linux
check "... offered as image/png" eval 'linux_clip types | grep -qx image/png'
check "a picture copied on Linux" linux_copy set image "$work/picture.ppm"
picture_on_a() { format_on_a CF_DIB "$work/a-picture.dib" && same_pixels "$work/a-picture.dib" "$work/picture.ppm"; }
check "... is CF_DIB on Windows, pixel for pixel" within 60 picture_on_a

# A password manager's copy stays on this computer.
meta=$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta
before=$(md5sum <"$meta")
printf 'hunter2' >"$work/secret.txt"
printf 'secret' >"$work/hint.txt"
marked=$(linux_count "Marked private by its owner; not sent")
check "a password copied on Linux, marked secret" linux_copy set text "$work/secret.txt" x-kde-passwordManagerHint "$work/hint.txt"
check "... is kept home" within 60 eval '[ "$(linux_count "Marked private by its owner; not sent")" -gt "$marked" ]'
check "... and the drive's document is untouched" eval '[ "$(md5sum <"$meta")" = "$before" ]'
check "Windows still holds the picture" picture_on_a
check "the Linux program ends on SIGTERM with status 0" stop_linux

finish

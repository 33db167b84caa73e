#!/usr/bin/env bash
# Two computers exchanging their clipboards through the real program, driven only from outside:
# two Wine prefixes on two X displays, COM5 of the first and COM6 of the second on the link
# simulator's terminals, one folder seen as E: by the first and F: by the second.
# $1 = the Windows build folder; the simulator comes from the native build.
set -u
BUILD=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
source "$here/program_test_lib.sh"
source "$here/computers.sh"

SIMULATOR=${SHUTTLE_NATIVE_BUILD:-$repo/build/native}/tools/link-sim/link-sim
CLIP_EXE=$BUILD/tools/clipboard-tool/clipboard-tool.exe
for needed in "$SIMULATOR" "$CLIP_EXE" "$SHUTTLE_EXE" "$PROBE_EXE"; do
    [ -e "$needed" ] || { echo "missing $needed (build the native and windows presets first)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/shuttle-exchange-XXXXXX)
shared=$work/drive
mkdir -p "$shared"
simulator_pid=
cleanup() {
    computer_stop A
    computer_stop B
    [ -n "$simulator_pid" ] && kill "$simulator_pid" 2>/dev/null && wait "$simulator_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

"$SIMULATOR" --link "$work/comA" --link "$work/comB" >"$work/simulator.log" 2>&1 &
simulator_pid=$!
for _ in $(seq 1 100); do grep -qx ready "$work/simulator.log" 2>/dev/null && break; sleep 0.05; done

display_number=${SHUTTLE_DISPLAY#:}
computer_create A ":$display_number"
computer_create B ":$((display_number + 1))"
computer_map_com A 5 "$work/comA"
computer_map_com B 6 "$work/comB"
computer_map_drive A E "$shared"
computer_map_drive B F "$shared"

clip() { local name=$1; shift; on_computer "$name" "$WINE64" "$CLIP_EXE" "$@" 2>/dev/null </dev/null | tr -d '\r'; }
reg_on() { local name=$1; shift; on_computer "$name" "$WINE64" reg "$@" >/dev/null 2>&1 </dev/null; }
console_of() { on_computer "$1" "$WINE64" "$PROBE_EXE" console 2>/dev/null </dev/null | tr -d '\r'; }
settings_on() {  # NAME FLAGS COM USB
    reg_on "$1" add 'HKCU\Software\ORB\Shuttle' /v Flags /t REG_DWORD /d "$2" /f
    reg_on "$1" add 'HKCU\Software\ORB\Shuttle' /v Com /t REG_DWORD /d "$3" /f
    reg_on "$1" add 'HKCU\Software\ORB\Shuttle' /v Usb /t REG_SZ /d "$4" /f
}
# Waits up to SECONDS for a command to succeed.
within() {
    local seconds=$1
    shift
    local deadline=$(($(date +%s) + seconds))
    until "$@"; do
        [ "$(date +%s)" -ge "$deadline" ] && return 1
        sleep 0.3
    done
}
text_on_clipboard() {  # NAME EXPECTED-FILE
    clip "$1" get-text "Z:$work/got-$1.txt" >/dev/null && cmp -s "$work/got-$1.txt" "$2"
}
set_text() {  # NAME FILE
    clip "$1" set-text "Z:$2" >/dev/null
}

# --- COM mode ------------------------------------------------------------------------------
settings_on A 5 5 "Link drive (E:)"
settings_on B 13 6 "Link drive (F:)"  # with logging (8)
check "computer A starts with COM5 saved" computer_start_shuttle A -console
check "computer B starts with COM6 saved" computer_start_shuttle B -console
check "both sides see the device" within 15 eval 'console_of A | grep -q "COM5 ready" && console_of B | grep -q "COM6 ready"'

printf 'Hello from A: caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x98\x80 end' >"$work/a-to-b.txt"
set_text A "$work/a-to-b.txt"
check "a text with CJK and emoji copied on A is pasted on B" within 15 text_on_clipboard B "$work/a-to-b.txt"
check "A reports the copy" eval 'console_of A | grep -q ">>> Copy successful"'
log_has() { cat "$(computer_prefix "$1")"/drive_c/users/*/AppData/Local/ORB/Shuttle.log-* 2>/dev/null | grep -q "$2"; }
check "B, with logging on (Flags 13), logs the paste" log_has B "INFO - Ready to paste"
check "A, with logging off, has no log file" eval '! log_has A "INFO"'
printf 'Reply from B: \xe3\x81\x82\xe3\x82\x8a\xe3\x81\x8c\xe3\x81\xa8\xe3\x81\x86 \xf0\x9f\x9a\x80' >"$work/b-to-a.txt"
set_text B "$work/b-to-a.txt"
check "a text copied on B is pasted on A" within 15 text_on_clipboard A "$work/b-to-a.txt"
sleep 3
check "pasted texts are not sent back (one GUID made on each side)" \
    eval '[ "$(console_of A | grep -c "NEW GUID")" = 1 ] && [ "$(console_of B | grep -c "NEW GUID")" = 1 ]'
check "A's clipboard still holds B's text" text_on_clipboard A "$work/b-to-a.txt"

computer_stop A
computer_stop B

# --- USB mode ------------------------------------------------------------------------------
source_root=$(computer_prefix A)/drive_c/outgoing
mkdir -p "$source_root/album/deeper"
head -c 70000 /dev/urandom >"$source_root/album/deeper/photo.bin"
printf 'caption' >"$source_root/album/caption.txt"
printf 'first' >"$source_root/one.txt"
printf 'second \xc3\xa9' >"$source_root/two.txt"
settings_on A 21 5 "Link drive (E:)"
settings_on B 21 6 "Link drive (F:)"
check "computer A starts in USB mode with E: saved" computer_start_shuttle A -console
check "computer B starts in USB mode with F: saved" computer_start_shuttle B -console
sleep 2
clip A set-files 'C:\outgoing\album' 'C:\outgoing\one.txt' 'C:\outgoing\two.txt' >/dev/null
files_pasted() { clip B get-files >"$work/files-B.txt" && [ "$(wc -l <"$work/files-B.txt")" = 3 ]; }
check "a folder and two files copied on A are pasted on B as a file list" within 20 files_pasted
check "every pasted path is on B's drive F:" eval '! grep -qv "^F:\\\\" "$work/files-B.txt"'
store_of() { sed -n 's/^F:\\\(.*\)\\[^\\]*$/\1/p' "$work/files-B.txt" | head -1 | tr '\\' '/'; }
store=$(store_of)
check "the store folder is the storage folder's subfolder" eval '[[ "$store" == AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage/* ]]'
check "the folder arrived byte for byte" diff -r "$source_root/album" "$shared/$store/album"
check "the files arrived byte for byte" eval 'cmp "$source_root/one.txt" "$shared/$store/one.txt" && cmp "$source_root/two.txt" "$shared/$store/two.txt"'
sleep 3
# Wine keeps DOS attributes in an extended attribute of the file, which both prefixes read.
meta_is_hidden_and_system() {
    python3 -c 'import os, sys; sys.exit(0 if int(os.getxattr(sys.argv[1], "user.DOSATTRIB"), 16) & 6 == 6 else 1)' \
        "$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta" 2>/dev/null
}
check "the META data file on the drive is hidden and system" meta_is_hidden_and_system
check "A never pastes its own payload" eval '! console_of A | grep -q "Data received"'
check "B does not send the pasted list back" eval '! console_of B | grep -q "NEW GUID"'

before=$(cd "$shared" && find . -printf '%p %s %T@\n' | sort)
head -c 10485761 /dev/zero >"$source_root/too-big.bin"
clip A set-files 'C:\outgoing\too-big.bin' >/dev/null
check "a copy over the size limit is refused" within 10 eval 'console_of A | grep -q "10485761"'
check "the refusal leaves the drive untouched" eval '[ "$(cd "$shared" && find . -printf "%p %s %T@\n" | sort)" = "$before" ]'

# A payload written by another program: CF_UNICODETEXT, then CF_TEXT, then CF_HTML.
write_meta() {  # GUID FORMAT BASE64
    printf '{"GUID":"%s","data":["%s"],"formats":["%s"]}' "$1" "$3" "$2" >"$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta"
}
printf 'foreign \xe4\xb8\xad' >"$work/foreign.txt"
write_meta "{11111111-2222-4333-8444-555555555555}" CF_UNICODETEXT "$(iconv -f UTF-8 -t UTF-16LE "$work/foreign.txt" | base64 -w0)"
check "CF_UNICODETEXT from another program is pasted on B" within 10 text_on_clipboard B "$work/foreign.txt"
write_meta "{11111111-2222-4333-8444-555555555556}" CF_TEXT "$(printf 'plain ansi' | base64 -w0)"
format_is() {  # NAME FORMAT EXPECTED
    clip "$1" get-format "$2" "Z:$work/format.bin" >/dev/null && [ "$(tr -d '\0' <"$work/format.bin")" = "$3" ]
}
check "CF_TEXT from another program is pasted under CF_TEXT" within 10 format_is B CF_TEXT "plain ansi"
html='Version:0.9 <b>bold</b>'
write_meta "{11111111-2222-4333-8444-555555555557}" CF_HTML "$(printf '%s' "$html" | base64 -w0)"
check "CF_HTML from another program is pasted under HTML Format" within 10 format_is B "HTML Format" "$html"

finish

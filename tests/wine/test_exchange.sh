#!/usr/bin/env bash
# Two computers exchanging their clipboards through the real program, driven only from outside:
# two Wine prefixes on two X displays, COM5 of the first and COM6 of the second on the link
# simulator's terminals, one folder seen as E: by the first and F: by the second.
# $1 = the Windows build folder; the simulator comes from the native build.
set -u
BUILD=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/program_test_lib.sh"
source "$here/computers.sh"
source "$here/two_computer_checks.sh"

DRIVER_EXE=$BUILD/tools/shuttle-ui-driver/shuttle-ui-driver.exe
VIEW_EXE=$BUILD/tools/paste-view/paste-view.exe
require "$SIMULATOR" "$CLIP_EXE" "$DRIVER_EXE" "$VIEW_EXE" "$SHUTTLE_EXE" "$PROBE_EXE"

work=$(mktemp -d /tmp/shuttle-exchange-XXXXXX)
shared=$work/drive
mkdir -p "$shared"
cleanup() {
    computer_stop A
    computer_stop B
    stop_link_simulator
    rm -rf "$work"
}
at_exit cleanup

start_link_simulator

computer_create A "COM5=$work/comA" "E:=$shared"
computer_create B "COM6=$work/comB" "F:=$shared"

# How many lines holding TEXT follow the last line holding MARK on NAME's console (0 when
# MARK is not there).
count_after() {  # NAME MARK TEXT
    console_of "$1" | awk -v mark="$2" -v text="$3" \
        'index($0, mark) { seen = 1; n = 0; next } index($0, text) { n++ } END { print seen ? n : 0 }'
}
# The receive loop has polled the link twice since MARK appeared on NAME's console: what the
# moment of MARK could set off on that computer has happened by then.
polls_after() { [ "$(count_after "$1" "$2" "old data")" -ge "$3" ]; }  # NAME MARK COUNT
polled_since() { within 60 polls_after "$1" "$2" 2; }  # NAME MARK
log_has() { log_of "$1" | grep -q "$2"; }

# --- COM mode ------------------------------------------------------------------------------
settings_on A 5 5 "Link drive (E:)"
settings_on B 13 6 "Link drive (F:)"  # with logging (8)
check "computer A starts with COM5 saved" computer_start_shuttle A -console
check "computer B starts with COM6 saved" computer_start_shuttle B -console
check "both sides listen for copies" \
    eval 'computer_wait_console A 60000 "Listening for copies" && computer_wait_console B 60000 "Listening for copies"'

printf 'Hello from A: caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x98\x80 end' >"$work/a-to-b.txt"
check "the clipboard tool puts the text on A's clipboard" set_text A "$work/a-to-b.txt"
check "a text with CJK and emoji copied on A is pasted on B" within 60 text_on_clipboard B "$work/a-to-b.txt"
check "A reports the copy" computer_wait_console A 30000 ">>> Copy successful"
check "B, with logging on (Flags 13), logs the paste" within 30 log_has B "INFO - Ready to paste"
printf 'Reply from B: \xe3\x81\x82\xe3\x82\x8a\xe3\x81\x8c\xe3\x81\xa8\xe3\x81\x86 \xf0\x9f\x9a\x80' >"$work/b-to-a.txt"
check "the clipboard tool puts the reply on B's clipboard" set_text B "$work/b-to-a.txt"
check "a text copied on B is pasted on A" within 60 text_on_clipboard A "$work/b-to-a.txt"
check "both sides poll on after the pastes" eval 'polled_since A "Data received" && polled_since B "Data received"'
check "A, with logging off, has no log file after its paste" eval '! log_has A "INFO"'
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
check "A listens for copies" computer_wait_console A 60000 "Listening for copies"
check "the clipboard tool puts it on A's clipboard (set-files)" clip A set-files 'C:\outgoing\album' 'C:\outgoing\one.txt' 'C:\outgoing\two.txt'
files_pasted() { clip B get-files >"$work/files-B.txt" && [ "$(wc -l <"$work/files-B.txt")" = 3 ]; }
check "a folder and two files copied on A are pasted on B as a file list" within 60 files_pasted
check "every pasted path is on B's drive F:" eval '! grep -qv "^F:\\\\" "$work/files-B.txt"'
store_of() { sed -n 's/^F:\\\(.*\)\\[^\\]*$/\1/p' "$work/files-B.txt" | head -1 | tr '\\' '/'; }
store=$(store_of)
check "the store folder is the storage folder's subfolder" eval '[[ "$store" == AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage/* ]]'
check "the folder arrived byte for byte" diff -r "$source_root/album" "$shared/$store/album"
check "the files arrived byte for byte" eval 'cmp "$source_root/one.txt" "$shared/$store/one.txt" && cmp "$source_root/two.txt" "$shared/$store/two.txt"'
# The demonstration shows the paste in paste-view: the list pasted there names what arrived.
on_computer B "$WINE64" "$VIEW_EXE" >"$work/view.txt" 2>/dev/null </dev/null &
view_shows() {
    on_computer B "$WINE64" "$DRIVER_EXE" wait-top ShuttlePasteView 30000 + paste-into ShuttlePasteView \
        >/dev/null 2>&1 </dev/null &&
        [ "$(grep -c -e '^F:.*\\album\\$' -e '^ *photo\.bin *70,000 bytes$' -e '^ *caption\.txt *7 bytes$' \
            -e '^F:.*\\one\.txt *5 bytes$' -e '^F:.*\\two\.txt *9 bytes$' "$work/view.txt")" = 5 ]
}
check "pasted into paste-view on B, the list shows the folder's files and every size" view_shows
check "A reports the copy" computer_wait_console A 30000 ">>> Copy successful"
# Wine keeps DOS attributes in an extended attribute of the file, which both prefixes read.
meta_is_hidden_and_system() {
    python3 -c 'import os, sys; sys.exit(0 if int(os.getxattr(sys.argv[1], "user.DOSATTRIB"), 16) & 6 == 6 else 1)' \
        "$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta" 2>/dev/null
}
check "the META data file on the drive is hidden and system" meta_is_hidden_and_system
# A drive whose document is unchanged is not read again, so its polls print nothing: the
# document gets a blank at its end (the same payload), which both sides read and know as old.
old_data_count() { console_of "$1" | grep -c "old data"; }
old_a=$(old_data_count A)
old_b=$(old_data_count B)
printf ' ' >>"$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta"
check "both sides poll on after the copy and the paste: the rewritten document is old data to both" \
    within 60 eval '[ "$(old_data_count A)" -gt "$old_a" ] && [ "$(old_data_count B)" -gt "$old_b" ]'
check "A never pastes its own payload" eval '! console_of A | grep -q "Data received"'
check "B does not send the pasted list back" eval '! console_of B | grep -q "NEW GUID"'

before=$(cd "$shared" && find . -printf '%p %s %T@\n' | sort)
head -c 10485761 /dev/zero >"$source_root/too-big.bin"
check "the clipboard tool puts it on A's clipboard (set-files)" clip A set-files 'C:\outgoing\too-big.bin'
check "a copy over the size limit is refused" within 60 eval 'console_of A | grep -q "10485761"'
check "the refusal leaves the drive untouched" eval '[ "$(cd "$shared" && find . -printf "%p %s %T@\n" | sort)" = "$before" ]'

# A payload written by another program: CF_UNICODETEXT, then CF_TEXT, then CF_HTML.
write_meta() {  # GUID FORMAT BASE64
    printf '{"GUID":"%s","data":["%s"],"formats":["%s"]}' "$1" "$3" "$2" >"$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta"
}
printf 'foreign \xe4\xb8\xad' >"$work/foreign.txt"
write_meta "{11111111-2222-4333-8444-555555555555}" CF_UNICODETEXT "$(iconv -f UTF-8 -t UTF-16LE "$work/foreign.txt" | base64 -w0)"
check "CF_UNICODETEXT from another program is pasted on B" within 60 text_on_clipboard B "$work/foreign.txt"
write_meta "{11111111-2222-4333-8444-555555555556}" CF_TEXT "$(printf 'plain ansi' | base64 -w0)"
format_is() {  # NAME FORMAT EXPECTED
    clip "$1" get-format "$2" "Z:$work/format.bin" >/dev/null && [ "$(tr -d '\0' <"$work/format.bin")" = "$3" ]
}
check "CF_TEXT from another program is pasted under CF_TEXT" within 60 format_is B CF_TEXT "plain ansi"
html='Version:0.9 <b>bold</b>'
write_meta "{11111111-2222-4333-8444-555555555557}" CF_HTML "$(printf '%s' "$html" | base64 -w0)"
check "CF_HTML from another program is pasted under HTML Format" within 60 format_is B "HTML Format" "$html"

finish

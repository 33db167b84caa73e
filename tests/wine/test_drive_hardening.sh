#!/usr/bin/env bash
# USB mode on the real program when the files are awkward and the documents large: a read-only
# file copied again and again, unreadable items among good ones, and a file list of 20,000
# entries. Two Wine prefixes on two X displays share one folder as E: (first) and F: (second),
# driven only through the clipboard tool, the registry, the console and the files; the drive is
# checked afterwards.
# $1 = the Windows build folder.
#   SHUTTLE_PASTE_ENTRIES  entries of the large list (default 20000)
#   SHUTTLE_PASTE_SECONDS  how long the large list may take to arrive (default 20)
set -u
BUILD=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/program_test_lib.sh"
source "$here/computers.sh"
source "$here/two_computer_checks.sh"

require "$CLIP_EXE" "$SHUTTLE_EXE" "$PROBE_EXE"
entries=${SHUTTLE_PASTE_ENTRIES:-20000}
paste_seconds=${SHUTTLE_PASTE_SECONDS:-20}

work=$(mktemp -d /tmp/shuttle-drive-XXXXXX)
shared=$work/drive
mkdir -p "$shared"
cleanup() {
    computer_stop A
    computer_stop B
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}
at_exit cleanup

computer_create A "E:=$shared"
computer_create B "F:=$shared"

storage=$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage
meta=$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta
stamped_folders() { find "$storage" -mindepth 1 -maxdepth 1 -type d 2>/dev/null | wc -l; }
drive_snapshot() { (cd "$shared" && find . -printf '%p %s %T@\n' | sort); }
pasted_files() { clip B get-files >"$work/files-B.txt" 2>/dev/null; cat "$work/files-B.txt"; }
# The stamp names the folder to the second: the next copy waits for the clock's next second.
next_second() { local now; now=$(date +%s); within 3 eval '[ "$(date +%s)" != "$now" ]'; }

# A: notifications and the daily log on (1 + 8), USB mode (16), in the tray (4); B likewise
# without the log.
settings_on A 29 "" "Link drive (E:)"
settings_on B 21 "" "Link drive (F:)"

outgoing=$(computer_prefix A)/drive_c/outgoing
mkdir -p "$outgoing/album"
for name in one two three four five; do printf '%s' "$name" >"$outgoing/$name.txt"; done
printf 'fixed' >"$outgoing/ro.txt"
chmod a-w "$outgoing/ro.txt"                  # read-only, as Wine shows it
printf 'no' >"$outgoing/bad."                # a name that Windows cannot open
printf 'photo' >"$outgoing/album/photo.txt"
printf 'no' >"$outgoing/album/late."

check "computer A starts in USB mode with E: saved" computer_start_shuttle A -console
check "computer B starts in USB mode with F: saved" computer_start_shuttle B -console
check "both sides listen for copies" \
    eval 'computer_wait_console A 60000 "Listening for copies" && computer_wait_console B 60000 "Listening for copies"'

# --- a read-only file never clogs the store --------------------------------------------------
previous=
ro_pasted() {  # B holds a new list naming ro.txt
    local now
    now=$(pasted_files)
    [ "$now" != "$previous" ] && echo "$now" | grep -q 'ro\.txt$'
}
for copy in 1 2 3 4; do
    next_second
    check "the clipboard tool puts it on A's clipboard (set-files)" clip A set-files 'C:\outgoing\ro.txt'
    check "copy $copy of a read-only file is pasted on B" within 60 ro_pasted
    previous=$(pasted_files)
done
check "after four copies the store holds one stamped folder" eval '[ "$(stamped_folders)" = 1 ]'
check "the stored copy is writable" eval '[ "$(find "$storage" -name ro.txt -perm -u=w | wc -l)" = 1 ]'
check "no old folder stayed behind" eval '! console_of A | grep -q "Cannot remove"'

# --- unreadable items among good ones --------------------------------------------------------
meta_before=$(cat "$meta")
drive_before=$(drive_snapshot)
next_second
check "the clipboard tool puts it on A's clipboard (set-files)" clip A set-files 'C:\outgoing\one.txt' \
    'C:\outgoing\two.txt' 'C:\outgoing\three.txt' 'C:\outgoing\bad.' 'C:\outgoing\four.txt' 'C:\outgoing\five.txt'
check "a copy with an unreadable item says which one" within 60 eval 'log_of A | grep -q "Can.t copy bad\.: not found"'
check "the console says it too, and claims no success" \
    eval 'console_of A | grep -q ">>> Can.t copy bad\.: not found" && ! console_of A | sed -n "/Can.t copy bad/,\$p" | grep -q "Copy successful"'
check "nothing of that copy reached the drive" eval '[ "$(drive_snapshot)" = "$drive_before" ]'

next_second
check "the clipboard tool puts it on A's clipboard (set-files)" clip A set-files 'C:\outgoing\one.txt' 'C:\outgoing\album'
check "an unreadable file inside a folder is named too" within 60 eval 'log_of A | grep -q "Can.t copy late\.: not found"'
check "the META data file is left as it was" eval '[ "$(cat "$meta")" = "$meta_before" ]'
check "no stamped folder of the failed copy is left" eval '[ "$(stamped_folders)" = 0 ]'
check "B still holds the last good list" eval '[ "$(pasted_files)" = "$previous" ]'

next_second
check "the clipboard tool puts it on A's clipboard (set-files)" clip A set-files 'C:\outgoing\one.txt' 'C:\outgoing\two.txt'
check "the next good copy goes through" within 60 eval '[ "$(pasted_files | wc -l)" = 2 ]'
check "its folder is the only one on the drive" eval '[ "$(stamped_folders)" = 1 ]'

# --- a large file list -----------------------------------------------------------------------
stored=$(pasted_files | head -1 | sed 's/^F:/E:/')
python3 - "$meta.new" "$entries" "$stored" <<'EOF'
import json, sys, uuid
path, count, stored = sys.argv[1], int(sys.argv[2]), sys.argv[3]
document = {"GUID": "{" + str(uuid.uuid4()).upper() + "}", "data": [[stored] * count], "formats": ["CF_HDROP"]}
with open(path, "w") as out:
    out.write(json.dumps(document))  # escaped backslashes, a blank after each separator
EOF
printf 'not a file list' >"$work/text.txt"
check "the clipboard tool puts it on B's clipboard (set-text)" clip B set-text "Z:$work/text.txt"  # B takes no text in USB mode: its clipboard just loses the list
large_pasted() { clip B formats | grep -q CF_HDROP; }
check "B's clipboard holds no file list before" eval '! large_pasted'
started=$(date +%s%N)
mv "$meta.new" "$meta"
within "$paste_seconds" large_pasted
arrived=$(date +%s%N)
echo "     $entries entries ($(stat -c %s "$meta") bytes) on B's clipboard $(((arrived - started) / 1000000)) ms after the META data file was written"
check "a list of $entries entries from a JSON writer is pasted within $paste_seconds s" large_pasted
check "B's clipboard holds all $entries entries" eval '[ "$(pasted_files | wc -l)" = "$entries" ]'
check "B's console shows twenty of them and sums up the rest" eval 'console_of B | grep -q "and [0-9,]* more"'

finish

#!/usr/bin/env bash
# USB mode on the real program when the files are awkward and the documents large: a read-only
# file copied again and again, unreadable items among good ones, a file list of 20,000 entries,
# a nested folder over the size limit, two dropped files of one name, and Exit and the end of
# the session in the middle of a 100 MB copy. Two Wine prefixes on two X displays share one
# folder as E: (first) and F: (second), driven only through the clipboard tool, the registry,
# the console and the files; the drive is checked afterwards.
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
# Xvfb runs no window manager, yet Wine waits up to 2 s for one whenever it hides a managed
# window - the tray window once its last icon goes, at every Exit. Telling Wine that there is
# none keeps that wait out of the measured ends; the servers restart so that it is read.
for name in A B; do
    reg_on "$name" add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
    wine_stop_prefix "$(computer_prefix "$name")"
    on_computer "$name" wine_warm_up
done

storage=$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage
meta=$shared/AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta
stamped_folders() { find "$storage" -mindepth 1 -maxdepth 1 -type d 2>/dev/null | wc -l; }
drive_snapshot() { (cd "$shared" && find . -printf '%p %s %T@\n' | sort); }
pasted_files() { clip B get-files >"$work/files-B.txt" 2>/dev/null; cat "$work/files-B.txt"; }
# The stamp names the folder to the second: the next copy waits for the clock's next second.
next_second() { local now; now=$(date +%s); within 3 eval '[ "$(date +%s)" != "$now" ]'; }
# Every item the drive's document names (as A wrote it, E:\...) is on the drive.
document_items_present() {
    python3 - "$meta" "$shared" <<'EOF'
import os, re, sys
# This program writes the paths with plain backslashes; a JSON writer doubles them.
paths = [p.replace("\\\\", "\\") for p in re.findall(r'"([A-Za-z]:\\[^"]*)"', open(sys.argv[1], encoding="utf-8").read())]
sys.exit(0 if paths and all(os.path.exists(os.path.join(sys.argv[2], *p[3:].split("\\"))) for p in paths) else 1)
EOF
}

# A: notifications and the daily log on (1 + 8), USB mode (16), in the tray (4); B likewise
# without the log.
# A may carry 100 MB (the long copy below); B keeps the default limit of 10 MiB.
settings_on A 29 "" "Link drive (E:)" 104857600
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
check "only the previous payload's folder is on the drive" eval '[ "$(stamped_folders)" = 1 ]'
check "the files of the previous payload are all still there" document_items_present
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

# --- a nested tree counts whole --------------------------------------------------------------
# B keeps the default limit of 10 MiB; its folder holds only a subfolder with an 11 MiB file.
outgoing_b=$(computer_prefix B)/drive_c/outgoing
mkdir -p "$outgoing_b/nested/deeper"
head -c 11534336 /dev/zero >"$outgoing_b/nested/deeper/eleven.bin"
drive_before=$(drive_snapshot)
check "the clipboard tool puts it on B's clipboard (set-files)" clip B set-files 'C:\outgoing\nested'
check "a folder with an 11 MiB file one level down is refused under 10 MiB" \
    within 60 eval 'console_of B | grep -q "Total size is 11534336 bytes (max 10485760 bytes)"'
check "nothing of it reached the drive" eval '[ "$(drive_snapshot)" = "$drive_before" ]'

# --- two dropped files of one name -----------------------------------------------------------
mkdir -p "$outgoing/a" "$outgoing/b"
printf 'alpha' >"$outgoing/a/x.txt"
printf 'beta' >"$outgoing/b/x.txt"
pasted_content() {  # the content of B's Nth pasted file
    local path
    path=$(pasted_files | sed -n "$1p")
    cat "$shared/$(echo "${path#F:\\}" | tr '\\' /)"
}
next_second
check "the clipboard tool puts it on A's clipboard (set-files)" clip A set-files 'C:\outgoing\a\x.txt' 'C:\outgoing\b\x.txt'
check "two files named x.txt are both pasted on B" within 60 eval '[ "$(pasted_files | sort -u | wc -l)" = 2 ]'
check "each under a name of its own, with its own content" \
    eval '[ "$(pasted_content 1)" = alpha ] && [ "$(pasted_content 2)" = beta ]'

# --- Exit, and the end of the session, in the middle of a 100 MB copy -----------------------
# Shuttle on A is held still from outside (SIGSTOP) and let run only in slices of well under a
# millisecond until the copy has written a few chunks of the file, so that the copy is surely
# under way; then, while it is held, the ending is asked for, it goes on, and the time until
# its process is gone is measured. The drive keeps the previous payload whole.
head -c 104857600 /dev/zero >"$outgoing/long-copy.bin"
hold_mid_copy() {  # PID
    python3 - "$1" "$storage" <<'EOF'
import glob, os, signal, sys, time
pid, storage, chunk, total = int(sys.argv[1]), sys.argv[2], 65792, 104857600
def copied():
    for path in glob.glob(os.path.join(storage, "*", "long-copy.bin")):
        try:
            return os.stat(path).st_size
        except OSError:
            pass
    return 0
end = time.monotonic() + 120
while copied() < 3 * chunk and time.monotonic() < end:
    os.kill(pid, signal.SIGCONT)
    os.kill(pid, signal.SIGSTOP)
print("     held at %d of %d bytes" % (copied(), total))
sys.exit(0 if 3 * chunk <= copied() < total else 1)
EOF
}
end_during_copy() {  # WHAT LIMIT-MS REQUEST: the process is gone within LIMIT-MS of going on
    local what=$1 limit=$2 request=$3 pid meta_before continued gone_ms
    meta_before=$(cat "$meta")
    pid=$(pgrep -P "${COMPUTER_PID[A]}" -x Shuttle.exe)
    next_second
    kill -STOP "$pid"
    check "the clipboard tool puts it on A's clipboard (set-files)" clip A set-files 'C:\outgoing\long-copy.bin'
    check "the long copy is held in the middle of the file" hold_mid_copy "$pid"
    check "$what is asked for while the copy is held" "$request" "$pid"
    continued=$(date +%s%N)
    kill -CONT "$pid"
    within 60 eval '! kill -0 "$pid" 2>/dev/null'
    gone_ms=$((($(date +%s%N) - continued) / 1000000))
    echo "     A's process was gone $gone_ms ms after it went on"
    check "$what during a 100 MB copy ends the process within $limit ms" [ "$gone_ms" -le "$limit" ]
    check "the drive still holds the previous document" eval '[ "$(cat "$meta")" = "$meta_before" ]'
    check "... and every item it names, and no folder of the copy" \
        eval 'document_items_present && [ "$(stamped_folders)" = 1 ]'
    check "a new start of A runs: the single-instance mutex is gone" computer_start_shuttle A -console
    # A new start takes the drive's payload as new; the next copy waits until it is pasted.
    check "... and pastes what the drive holds" computer_wait_console A 60000 "Data received"
    check "... and lets its clipboard go after looking at its paste" own_paste_let_go A 1
}
post_exit() { on_computer A "$WINE64" "$PROBE_EXE" command "$COMMAND_EXIT" >/dev/null 2>&1 </dev/null; }
# wineboot sends the end of the session to every window and waits for the answers; A runs in
# slices until it says that it has taken it.
sliced_until_session_ends() {  # PID
    kill -CONT "$1"
    kill -STOP "$1"
    computer_console A | grep -q "The session ends"
}
end_session() {  # PID
    on_computer A "$WINE64" wineboot --end-session >/dev/null 2>&1 </dev/null &
    within 120 sliced_until_session_ends "$1"
}
end_during_copy Exit 2000 post_exit
end_during_copy "The end of the session" 5000 end_session

finish

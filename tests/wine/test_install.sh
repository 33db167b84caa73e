#!/usr/bin/env bash
# The packages of the Windows build under Wine. The zip holds the portable files. The MSI
# installs per machine into Program Files\Shuttle with a Start menu shortcut; the installed
# program starts and creates its settings key; STARTWITHWINDOWS=1 writes the machine's Run
# value, which the tray menu reads as "on"; uninstalling removes every installed file, the
# shortcut and that value, and leaves the settings; a later version (or a build that differs only in the fourth
# number) replaces the installed one, and an earlier one does not replace a later. Wine 8 does
# not run MigrateFeatureStates, so that the start-at-logon choice carries over an upgrade is
# checked in the package only. $1 = the Windows build folder.
set -u
BUILD=$(cd "$1" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/program_test_lib.sh"
# No menu entries of the installed shortcut on this machine's desktop.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

PACKAGE=$BUILD/Shuttle-${SHUTTLE_VERSION:?}-x64
for needed in "$PACKAGE.zip" "$PACKAGE.msi" "$PROBE_EXE"; do
    [ -e "$needed" ] || { echo "missing $needed (build the windows preset; the MSI needs wixl)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/shuttle-install-XXXXXX)
SHUTTLE_PID=
cleanup() {
    if [ -n "$SHUTTLE_PID" ] && kill -0 "$SHUTTLE_PID" 2>/dev/null; then
        probe command "$COMMAND_EXIT" >/dev/null
        within_ms 30000 eval '! kill -0 "$SHUTTLE_PID" 2>/dev/null'
    fi
    [ -n "${TEST_PREFIX:-}" ] && wine_stop_prefix "$TEST_PREFIX"
    [ -n "$SHUTTLE_PID" ] && wait "$SHUTTLE_PID" 2>/dev/null
    rm -rf "$work"
}
at_exit cleanup

RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
MACHINE_RUN_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
INSTALLED='C:\Program Files\Shuttle\Shuttle.exe'
installed_files=(Shuttle.exe Images/logo_orb.ico README.txt LICENSE.txt)

# msiexec ACTION MSI [PROPERTY=VALUE...]: silent, with a verbose log in $work; its exit code.
msiexec_quiet() {
    local action=$1 msi=$2
    shift 2
    msiexec_runs=$((msiexec_runs + 1))
    "$WINE64" msiexec "$action" "$("$WINE64" winepath -w "$msi" 2>/dev/null | tr -d '\r')" /qn \
        /l*v "$("$WINE64" winepath -w "$work/msiexec-$msiexec_runs.log" 2>/dev/null | tr -d '\r')" "$@" \
        >/dev/null 2>&1 </dev/null
}
msiexec_runs=0
settings_key_exists() { reg_cmd query 'HKCU\Software\ORB\Shuttle' >/dev/null; }
program_dir() { echo "$WINEPREFIX/drive_c/Program Files/Shuttle"; }
# The Start menu of all users; Wine puts a per-machine package's shortcut in the installing
# user's Start menu instead, so either counts.
shortcuts() {
    ls "$WINEPREFIX"/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Shuttle.lnk \
        "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Shuttle.lnk 2>/dev/null
}
has_shortcut() { [ -n "$(shortcuts)" ]; }
shortcut_starts_installed() {  # the link holds the target path, as ANSI or UTF-16 text
    local link
    link=$(shortcuts | head -n 1)
    [ -n "$link" ] && { strings -a "$link"; strings -a -el "$link"; } | grep -qiF "$INSTALLED"
}
all_installed() {
    local file
    for file in "${installed_files[@]}"; do [ -s "$(program_dir)/$file" ] || return 1; done
}
nothing_left() { [ ! -e "$(program_dir)" ]; }
run_value() { reg_cmd query "${1:-$RUN_KEY}" /v Shuttle | tr -d '\r' | sed -n 's/^ *Shuttle *REG_[A-Z_]* *//p'; }
machine_run_value_is() { [ "$(run_value "$MACHINE_RUN_KEY")" = "$1" ]; }
no_run_value() { ! reg_cmd query "${1:-$RUN_KEY}" /v Shuttle >/dev/null; }
no_machine_run_value() { no_run_value "$MACHINE_RUN_KEY"; }
product_code() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }'; }
registered_version() {  # PRODUCT-CODE: DisplayVersion of its Add/Remove Programs entry
    reg_cmd query "$UNINSTALL_KEY\\$1" /v DisplayVersion | tr -d '\r' | sed -n 's/^ *DisplayVersion *REG_SZ *//p'
}
# Starts the installed program from its folder, as the shortcut does (the logo is found
# relative to the working folder).
start_installed() {
    pushd "$(program_dir)" >/dev/null || return 1
    SHUTTLE_EXE=$INSTALLED start_shuttle "$@"
    local started=$?
    popd >/dev/null
    return $started
}

echo "# the portable zip"
listing=$(unzip -Z1 "$PACKAGE.zip" | sort | tr '\n' ' ')
check "the zip holds exactly the program, the logo, the read-me and the licence ($listing)" \
    [ "$listing" = "Images/logo_orb.ico LICENSE.txt README.txt Shuttle.exe " ]
check "its read-me names the version" eval 'unzip -p "$PACKAGE.zip" README.txt | grep -q "Shuttle $SHUTTLE_VERSION "'

msi_bytes=$(stat -c %s "$PACKAGE.msi")
echo "# install and uninstall, default options (MSI: $msi_bytes bytes)"
new_computer install
msiexec_quiet /i "$PACKAGE.msi"
code=$?
check "msiexec /i /qn succeeds (exit $code)" [ "$code" = 0 ]
check "Program Files\\Shuttle holds the program, Images\\logo_orb.ico, the read-me and the licence" all_installed
check "the installed program is the packaged one, byte for byte" \
    cmp -s "$(program_dir)/Shuttle.exe" "$BUILD/packaging/stage/Shuttle.exe"
check "the Start menu has the shortcut" has_shortcut
check "... which starts the installed program" shortcut_starts_installed
code_6=$(product_code "$PACKAGE.msi")
check "Add/Remove Programs lists Shuttle $SHUTTLE_VERSION" [ "$(registered_version "$code_6")" = "$SHUTTLE_VERSION" ]
check "no Run value without the option, the user's or the machine's" eval 'no_run_value && no_machine_run_value'
check "the installed program starts" start_installed
check "... and creates its settings key" within_ms 30000 settings_key_exists
check "... and ends through Exit" exit_shuttle
SHUTTLE_PID=
reg_cmd add 'HKCU\Software\ORB\Shuttle' /v Flags /t REG_DWORD /d 13 /f >/dev/null
msiexec_quiet /x "$PACKAGE.msi"
code=$?
check "msiexec /x /qn succeeds (exit $code)" [ "$code" = 0 ]
check "every installed file is gone, and the folder" nothing_left
check "the shortcut is gone" eval '! has_shortcut'
check "Add/Remove Programs no longer lists it" [ -z "$(registered_version "$code_6")" ]
check "the user's settings stay" [ "$(settings_value Flags)" = 0xd ]

echo "# start with Windows, for every user"
new_computer install-start
msiexec_quiet /i "$PACKAGE.msi" STARTWITHWINDOWS=1
code=$?
check "msiexec /i STARTWITHWINDOWS=1 /qn succeeds (exit $code)" [ "$code" = 0 ]
check "the machine's Run value starts the installed program" machine_run_value_is "\"$INSTALLED\""
check "... and the installing user gets no value of their own" no_run_value
check "the installed program starts" start_installed -console
# The link supervisor saves the settings at its first look for the device: Exit before that
# would leave no key to find after the uninstall.
check "... and creates its settings key" within_ms 30000 settings_key_exists
probe command "$COMMAND_START_WITH_WINDOWS"
check "the tray menu reads the machine's value as on: its item says it stays on for every user" \
    probe wait-console 30000 "still on for every user"
check "... and writes no value of the user's" no_run_value
check "exit" exit_shuttle
SHUTTLE_PID=
msiexec_quiet /x "$PACKAGE.msi"
code=$?
check "msiexec /x /qn succeeds (exit $code)" [ "$code" = 0 ]
check "every installed file is gone, and the folder" nothing_left
check "the shortcut is gone" eval '! has_shortcut'
check "the machine's Run value is gone" no_machine_run_value
check "the settings key stays" settings_key_exists

echo "# later builds over this one"
# The same files as another build: new product and package codes, another version.
new_guid() { tr '[:lower:]' '[:upper:]' </proc/sys/kernel/random/uuid; }
build_as() {  # build_as FILE VERSION PRODUCT-CODE
    cp "$PACKAGE.msi" "$1" &&
        msibuild "$1" -s "Installation Database" ORB "x64;1033" "{$(new_guid)}" &&
        msibuild "$1" -q "UPDATE \`Property\` SET \`Value\` = '$3' WHERE \`Property\` = 'ProductCode'" &&
        msibuild "$1" -q "UPDATE \`Property\` SET \`Value\` = '$2' WHERE \`Property\` = 'ProductVersion'"
}
IFS=. read -r major minor patch tweak <<<"$SHUTTLE_VERSION"
rebuild_version=$major.$minor.$patch.$((tweak + 1))  # Windows Installer ignores the fourth number
later_version=$major.$minor.$((patch + 1)).$tweak
rebuild_code="{$(new_guid)}"
later_code="{$(new_guid)}"
check "a rebuild ($rebuild_version) and a later version ($later_version) made from this package" eval \
    'build_as "$work/rebuild.msi" "$rebuild_version" "$rebuild_code" && build_as "$work/later.msi" "$later_version" "$later_code"'
check "the upgrade row takes every installed version and carries its features over (attributes 257)" \
    eval 'msiinfo export "$PACKAGE.msi" Upgrade | tr -d "\r" | grep -q "	0.0.0			257		OLDERVERSIONFOUND$"'
new_computer install-upgrade
msiexec_quiet /i "$PACKAGE.msi"
msiexec_quiet /i "$work/rebuild.msi"
code=$?
check "the rebuild installs over this version (exit $code)" [ "$code" = 0 ]
check "... and replaces it: one entry in Add/Remove Programs" \
    eval '[ -z "$(registered_version "$code_6")" ] && [ "$(registered_version "$rebuild_code")" = "$rebuild_version" ]'
msiexec_quiet /i "$work/later.msi"
code=$?
check "the later version installs over the rebuild (exit $code)" [ "$code" = 0 ]
check "... and replaces it" \
    eval '[ -z "$(registered_version "$rebuild_code")" ] && [ "$(registered_version "$later_code")" = "$later_version" ]'
check "... with every file in place" all_installed
msiexec_quiet /i "$PACKAGE.msi"
code=$?
check "this version refuses to replace the later one (exit $code)" [ "$code" != 0 ]
check "... and leaves it installed" eval 'all_installed && [ "$(registered_version "$later_code")" = "$later_version" ]'
msiexec_quiet /x "$work/later.msi"
code=$?
check "the later version uninstalls (exit $code)" [ "$code" = 0 ]
check "... and leaves nothing in Program Files" nothing_left

finish

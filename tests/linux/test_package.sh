#!/usr/bin/env bash
# The Linux program's package: built by CPack from the build folder given, named from the project
# version, holding exactly the program, its desktop entry, its icons and the copyright, with no
# maintainer script; the program unpacked from it runs.
set -euo pipefail
build=$1
version=$(sed -n 's/^#define SHUTTLE_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/shuttle_version.h")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$work/shuttle_${version}_amd64.deb
[ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$work")"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"

expected="./usr/bin/shuttle
./usr/share/applications/shuttle.desktop
./usr/share/doc/shuttle/copyright"
for size in 16 24 32 48 256; do
    expected+=$'\n'"./usr/share/icons/hicolor/${size}x${size}/apps/shuttle.png"
done
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[ "$files" = "$(sort <<<"$expected")" ] || fail "package files differ:"$'\n'"$(diff <(sort <<<"$expected") <(echo "$files"))"

[ "$(dpkg-deb -f "$deb" Package Version Architecture)" = "Package: shuttle
Version: $version
Architecture: amd64" ] || fail "control fields: $(dpkg-deb -f "$deb")"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "no Qt dependency: $(dpkg-deb -f "$deb" Depends)"
scripts=$(dpkg-deb -I "$deb" | grep -Eo '(pre|post)(inst|rm)|triggers' || true)
[ -z "$scripts" ] || fail "maintainer scripts: $scripts"

dpkg-deb -x "$deb" "$work/root"
grep -qx 'Exec=shuttle' "$work/root/usr/share/applications/shuttle.desktop" || fail "desktop entry"
[ "$(head -c 8 "$work/root/usr/share/icons/hicolor/48x48/apps/shuttle.png" | od -An -c | tr -d ' ')" = '211PNG\r\n032\n' ] ||
    fail "the icon is no PNG"
"$work/root/usr/bin/shuttle" --version | grep -q "^Shuttle $version " || fail "the unpacked program does not run"
echo "shuttle_${version}_amd64.deb is complete"

#!/usr/bin/env bash
# Installs what building and testing Shuttle needs on Debian 12 (idempotent; nothing is
# installed twice). Run as root or with sudo available.
set -euo pipefail

packages=(
    cmake make g++ clang libclang-rt-14-dev            # native build, sanitizers, libFuzzer
    libgtest-dev libgmock-dev googletest               # unit tests (native and cross-built)
    libbenchmark-dev zlib1g-dev                        # benchmarks
    g++-mingw-w64-x86-64 mingw-w64-tools               # the Windows cross compiler
    wine64 wine xvfb xauth fonts-wine                  # running Shuttle.exe and its tests
    x11-apps netpbm                                    # screenshots of the Xvfb displays
    wixl msitools unzip                                # the MSI package (wixl, msibuild), its tests
    qt6-base-dev libudev-dev libxcb1-dev pkg-config    # the Linux program: Qt 6 Widgets and DBus, device events, the X11 tray
    dpkg-dev xclip dbus                                # its .deb (dpkg-shlibdeps), its clipboard tests, the session bus
    fonts-wqy-microhei                                 # Chinese, Japanese and Korean text in the demonstration's Notepad
    python3 socat procps psmisc                        # tools and test scripts
)

missing_packages() {
    local package
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || echo "$package"
    done
}
[ -z "$(missing_packages)" ] && exit 0

# Two runs started at once (test.sh beside demo.sh) install one after the other; the second
# then finds nothing missing. The lock is this script itself, so that nothing is left behind.
exec 9<"${BASH_SOURCE[0]}"
flock 9
mapfile -t missing < <(missing_packages)
[ ${#missing[@]} -eq 0 ] && exit 0
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "Installing ${#missing[@]} packages and what they need (about 2 minutes on a new machine): ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
wait_for_apt=(-o DPkg::Lock::Timeout=600)  # another apt-get on the machine finishes first
# apt's own lines, one per package fetched, unpacked and set up, show how far it is.
progress() { awk '/^(Get:|Unpacking |Setting up )/ { print "  " $0; fflush() }'; }
"${sudo_cmd[@]}" apt-get "${wait_for_apt[@]}" update -q | progress
"${sudo_cmd[@]}" apt-get "${wait_for_apt[@]}" install -y -q --no-install-recommends "${missing[@]}" | progress
echo "Packages installed."

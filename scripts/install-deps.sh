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
    fonts-wqy-microhei                                 # Chinese, Japanese and Korean text in the demonstration's Notepad
    python3 socat procps psmisc                        # tools and test scripts
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

#!/usr/bin/env bash
# CTest's emulator for the Windows build: runs one test executable under Wine in the prepared
# test prefix, on its Xvfb display.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine_env.sh
source "$here/wine_env.sh"
wine_env_ready
exec "$WINE64" "$@"

#!/usr/bin/env bash
# CTest's emulator for the Windows build: runs one test executable under Wine in the prepared
# test prefix, on the display SHUTTLE_DISPLAY names (scripts/test.sh starts one for the whole
# run). Without SHUTTLE_DISPLAY it starts a display and the prefix's server for this one run
# and ends both afterwards.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine_env.sh
source "$here/wine_env.sh"
if [ -n "${SHUTTLE_DISPLAY:-}" ]; then
    wine_env_ready
    exec "$WINE64" "$@"
fi
trap wine_env_cleanup EXIT
wine_env_ready
"$WINE64" "$@"

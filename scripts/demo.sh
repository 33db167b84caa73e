#!/usr/bin/env bash
# The main job: builds Shuttle.exe and runs it under Wine on a virtual display with its console
# trace, the way a developer sees it with "-console".
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

export SHUTTLE_WINE_ROOT=${SHUTTLE_WINE_ROOT:-/tmp/shuttle-wine-demo}
export SHUTTLE_DISPLAY=${SHUTTLE_DISPLAY:-:88}
source tests/wine/wine_env.sh
export WINEPREFIX=$SHUTTLE_WINE_ROOT/computer-a
wine_start_display "$SHUTTLE_DISPLAY"
export DISPLAY=$SHUTTLE_DISPLAY
wine_template
[ -d "$WINEPREFIX" ] || wine_clone_prefix "$WINEPREFIX"
wine_warm_up

probe() { "$WINE64" build/windows/tools/shuttle-probe/shuttle-probe.exe "$@" 2>/dev/null </dev/null; }
stamp() { date +%H:%M:%S.%3N; }

echo "[$(stamp)] starting Shuttle.exe -console on display $SHUTTLE_DISPLAY"
"$WINE64" build/windows/Shuttle.exe -console >/dev/null 2>&1 </dev/null &
shuttle=$!
probe wait-window 10000
sleep 3
echo "[$(stamp)] console trace of the running program:"
probe console | sed '/^$/d; s/^/    /'
echo "[$(stamp)] settings key:"
"$WINE64" reg query 'HKCU\Software\ORB\Shuttle' 2>/dev/null </dev/null | tr -d '\r' | sed '/^$/d; s/^/    /'
echo "[$(stamp)] choosing Exit from the tray menu"
probe command 32776
wait "$shuttle" && echo "[$(stamp)] Shuttle ended with code 0"
wineserver -k >/dev/null 2>&1 || true

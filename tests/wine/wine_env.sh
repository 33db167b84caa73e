# Shared Wine set-up for tests and the demonstration; source it, then call its functions.
#   SHUTTLE_WINE_ROOT  where prefixes live (default /tmp/shuttle-wine-<uid>)
#   SHUTTLE_DISPLAY    X display of the default test computer (default :77)
# A "computer" is a Wine prefix cloned from one template and given its own Xvfb display:
# two prefixes on one display would share the X clipboard.

SHUTTLE_WINE_ROOT=${SHUTTLE_WINE_ROOT:-/tmp/shuttle-wine-$(id -u)}
SHUTTLE_DISPLAY=${SHUTTLE_DISPLAY:-:77}
WINE64=/usr/lib/wine/wine64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

# Starts Xvfb on display $1 (":N") unless one already serves it.
wine_start_display() {
    local display=$1 number=${1#:}
    if [ -e "/tmp/.X11-unix/X$number" ] && [ -e "/tmp/.X$number-lock" ] &&
        kill -0 "$(tr -d ' ' <"/tmp/.X$number-lock")" 2>/dev/null; then
        return 0
    fi
    rm -f "/tmp/.X$number-lock" "/tmp/.X11-unix/X$number"
    setsid Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    for _ in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$number" ] && return 0
        sleep 0.05
    done
    echo "Xvfb did not start on $display" >&2
    return 1
}

# Makes the template prefix once (about 10 s); later calls return at once.
wine_template() {
    local template=$SHUTTLE_WINE_ROOT/template
    mkdir -p "$SHUTTLE_WINE_ROOT"
    (
        flock 9
        if [ ! -f "$template/.ready" ]; then
            rm -rf "$template"
            WINEPREFIX=$template DISPLAY=$SHUTTLE_DISPLAY wineboot -i >/dev/null 2>&1 </dev/null
            WINEPREFIX=$template wineserver -w
            touch "$template/.ready"
        fi
    ) 9>"$SHUTTLE_WINE_ROOT/.template.lock"
}

# Clones the template into prefix $1 (a path); the registry files are real copies because
# wineserver rewrites them in place.
wine_clone_prefix() {
    local prefix=$1 template=$SHUTTLE_WINE_ROOT/template
    wine_template
    rm -rf "$prefix"
    cp -al "$template" "$prefix"
    for f in system.reg user.reg userdef.reg; do cp --remove-destination "$template/$f" "$prefix/$f"; done
    rm -f "$prefix/.ready"
}

# Starts the wine server of the current WINEPREFIX persistently and warms it up with the
# display set; without this, build steps that wait for Wine's stderr pipe hang.
wine_warm_up() {
    wineserver -p >/dev/null 2>&1 </dev/null || true  # already running is fine
    "$WINE64" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

# Prepares the default test computer: display, prefix, server.
wine_env_ready() {
    wine_start_display "$SHUTTLE_DISPLAY"
    wine_template
    export DISPLAY=$SHUTTLE_DISPLAY
    export WINEPREFIX=${WINEPREFIX:-$SHUTTLE_WINE_ROOT/unit}
    if [ ! -d "$WINEPREFIX" ]; then
        (
            flock 9
            [ -d "$WINEPREFIX" ] || wine_clone_prefix "$WINEPREFIX"
        ) 9>"$SHUTTLE_WINE_ROOT/.clone.lock"
    fi
    wine_warm_up
}

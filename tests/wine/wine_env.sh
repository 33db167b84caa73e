# Shared Wine set-up for tests and the demonstration; source it, then call its functions.
#   SHUTTLE_WINE_ROOT  where the template and the prefixes live (default /tmp/shuttle-wine-<uid>)
#   SHUTTLE_DISPLAY    an X display that is already up, for the default test computer (scripts/
#                      test.sh starts one for the unit tests); when unset, one is started here
# A "computer" is a Wine prefix cloned from one template and given its own Xvfb display:
# two prefixes on one display would share the X clipboard. Displays take free numbers (Xvfb
# -displayfd); every Xvfb and every prefix server started through these functions is recorded
# and ended by wine_env_cleanup, by process id or through the prefix's own server.

SHUTTLE_WINE_ROOT=${SHUTTLE_WINE_ROOT:-/tmp/shuttle-wine-$(id -u)}
# The computers of one script live in a folder of their own beside the shared template, so that
# two scripts run by hand at once (both on the default root) never touch each other's prefixes.
mkdir -p "$SHUTTLE_WINE_ROOT/tmp"
# Debian's Wine keeps its servers' sockets in a new folder under $TMPDIR and never removes it;
# inside the root it goes with the root.
export TMPDIR=$SHUTTLE_WINE_ROOT/tmp
WINE_COMPUTERS_DIR=$(mktemp -d "$SHUTTLE_WINE_ROOT/computers-XXXXXX")
WINE64=/usr/lib/wine/wine64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

WINE_OWN_XVFB_PIDS=()  # the X servers started by this shell
WINE_OWN_PREFIXES=()   # the prefixes whose servers this shell started

# Starts an Xvfb on a free display number and stores ":N" in the variable named $1.
wine_start_display() {
    local -n display_out=$1
    local number_file pid
    number_file=$(mktemp "${TMPDIR:-/tmp}/shuttle-display-XXXXXX")
    # The number is written (with its line end) once the server accepts connections.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 </dev/null &
    pid=$!
    local deadline=$((SECONDS + 30))
    until [ "$(wc -l <"$number_file")" -ge 1 ]; do
        if ! kill -0 "$pid" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
            { kill "$pid" && wait "$pid"; } 2>/dev/null || true
            rm -f "$number_file"
            echo "Xvfb did not start" >&2
            return 1
        fi
        sleep 0.05
    done
    WINE_OWN_XVFB_PIDS+=("$pid")
    display_out=":$(head -1 "$number_file")"
    rm -f "$number_file"
}

# Ends the prefix $1's server and with it every Wine process of that prefix.
wine_stop_prefix() {
    WINEPREFIX=$1 wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$1 wineserver -w >/dev/null 2>&1 || true
}

# Ends what this shell started: the servers of its prefixes (their Wine processes end with
# them), then its X servers.
wine_env_cleanup() {
    local prefix pid
    for prefix in "${WINE_OWN_PREFIXES[@]}"; do wine_stop_prefix "$prefix"; done
    WINE_OWN_PREFIXES=()
    for pid in "${WINE_OWN_XVFB_PIDS[@]}"; do
        { kill "$pid" && wait "$pid"; } 2>/dev/null || true
    done
    WINE_OWN_XVFB_PIDS=()
    [ "${SHUTTLE_KEEP_WINE:-0}" = 1 ] || rm -rf "$WINE_COMPUTERS_DIR"
    return 0
}

# Runs a Wine program. Under load Wine's loader now and then fails to start a process, saying
# so on standard error ("wine: ...") before the program ran: such a start is made again. A
# program that crashed ("wine: Unhandled ...") is not.
wine_run() {
    local errors code attempt
    errors=$(mktemp "${TMPDIR:-/tmp}/wine-run-XXXXXX")
    for attempt in 1 2 3; do
        "$@" 2>"$errors"
        code=$?
        [ "$code" -ne 0 ] && grep -q '^wine' "$errors" && ! grep -q '^wine: Unhandled' "$errors" || break
    done
    cat "$errors" >&2
    rm -f "$errors"
    return "$code"
}

# Makes the template prefix once (about 10 s) on the current DISPLAY; later calls return at once.
wine_template() {
    local template=$SHUTTLE_WINE_ROOT/template
    mkdir -p "$SHUTTLE_WINE_ROOT"
    (
        flock 9
        if [ ! -f "$template/.ready" ]; then
            rm -rf "$template"
            WINEPREFIX=$template wineboot -i >/dev/null 2>&1 </dev/null
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
# display set; without this, build steps that wait for Wine's stderr pipe hang. The prefix is
# recorded so that wine_env_cleanup ends its server.
wine_warm_up() {
    [[ " ${WINE_OWN_PREFIXES[*]} " == *" $WINEPREFIX "* ]] || WINE_OWN_PREFIXES+=("$WINEPREFIX")
    wineserver -p >/dev/null 2>&1 </dev/null || true  # already running is fine
    "$WINE64" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

# Prepares the default test computer: display, prefix, server. Uses SHUTTLE_DISPLAY when set,
# else starts a display of its own (ended by wine_env_cleanup).
wine_env_ready() {
    if [ -z "${SHUTTLE_DISPLAY:-}" ]; then
        wine_start_display SHUTTLE_DISPLAY
    fi
    export DISPLAY=$SHUTTLE_DISPLAY
    wine_template
    export WINEPREFIX=$SHUTTLE_WINE_ROOT/unit
    if [ ! -d "$WINEPREFIX" ]; then
        (
            flock 9
            [ -d "$WINEPREFIX" ] || wine_clone_prefix "$WINEPREFIX"
        ) 9>"$SHUTTLE_WINE_ROOT/.clone.lock"
    fi
    wine_warm_up
}

# The tray menu's commands as the main window receives them in WM_COMMAND, read from
# resources/resource_ids.h (IDM_TRAY_*), so the numbers have one source. Source it for
# COMMAND_OPEN, COMMAND_START_WITH_WINDOWS and COMMAND_EXIT.

resource_id() {  # resource_id NAME: the number a "#define NAME number" line gives
    local header
    header="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/resources/resource_ids.h"
    awk -v name="$1" '$1 == "#define" && $2 == name { print $3; found = 1 } END { exit !found }' "$header"
}

COMMAND_OPEN=$(resource_id IDM_TRAY_OPEN)
COMMAND_START_WITH_WINDOWS=$(resource_id IDM_TRAY_START_WITH_WINDOWS)
COMMAND_EXIT=$(resource_id IDM_TRAY_EXIT)

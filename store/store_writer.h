#pragma once
// The sending half of USB mode for dropped files: checks the drop list against the size limit,
// fills the payload document, replaces the storage folder on the store drive and copies the
// items into a new time-stamped folder. The caller then writes the META data file.

#include <string>
#include <vector>

#include "core/shared_state.h"
#include "payload/json_value.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/tray.h"
#include "store/file_tree.h"

namespace shuttle {

// `dropList` holds the entries of the clipboard's file-drop list in order, as DragQueryFileW
// gives them (empty entries are skipped). `document` must be an Object; it gets "formats",
// "data" and "GUID" (= `guid`). True when the document is filled, both store folders exist and
// every item was handed to the copy; false when nothing is to be sent (the refusals report
// themselves through the tray).
bool writeVirtualStore(SharedState& state, FileSystem& fs, Tray& tray, Clock& clock, CopyBuffer& copyBuffer,
                       const std::vector<std::u16string>& dropList, JsonValue& document, std::string guid);

}  // namespace shuttle

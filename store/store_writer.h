#pragma once
// The sending half of USB mode for dropped files: checks the drop list against the size limit,
// replaces the storage folder on the store drive and copies the items into a new time-stamped
// folder. A copy goes whole or not at all: at the first item that cannot be read or written
// the new folder is removed again and the write is refused, naming that item. The caller names
// the stored items in the payload document, writes the META data file and tells the user how
// it went.

#include <cstdint>
#include <string>
#include <vector>

#include "base/progress.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "store/file_tree.h"

namespace shuttle {

// Why a store write did not happen.
enum class StoreRefusal {
    None,          // written
    NoDrive,       // the store selection names no drive letter
    NoFiles,       // the drop list holds no path
    NotUnicode,    // a dropped path is not valid UTF-16 (`failed` names it, made readable)
    Unreadable,    // an item is missing or could not be read or copied whole (`failed` names it)
    TooLarge,      // the items together exceed the size limit
    CannotCreate,  // a store folder could not be created (`failed` names it)
};

struct StoreWrite {
    StoreRefusal refusal = StoreRefusal::None;
    uint64_t totalBytes = 0;                // TooLarge: the total that went over the limit
    std::vector<std::string> storedPaths;   // where each item landed (UTF-8), in drop-list order
    FailedItem failed;                      // why a refused write failed, where it names an item
    FailedItem leftover;                    // what of earlier copies could not be removed; the
                                            // write went ahead beside it

    bool written() const { return refusal == StoreRefusal::None; }
};

// `dropList` holds the entries of the clipboard's file-drop list in order, as DragQueryFileW
// gives them (empty entries are skipped). `driveLetter` is the store drive's letter (0 when
// the selection names none); `sizeLimit` the most bytes one copy may carry. `progress` hears of
// the bytes copied so far of the total measured (never more than that total).
StoreWrite writeVirtualStore(FileSystem& fs, Clock& clock, CopyBuffer& copyBuffer, char driveLetter,
                             uint32_t sizeLimit, const std::vector<std::u16string>& dropList,
                             const ProgressCallback& progress = {});

}  // namespace shuttle

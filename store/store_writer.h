#pragma once
// The sending half of USB mode for dropped files: checks the drop list against the size limit
// and copies the items into a new time-stamped folder on the store drive, each under a name of
// its own. A copy goes whole or not at all: at the first item that cannot be read or written,
// or at a cancel request, the new folder is removed again and the write is refused. Nothing of
// an earlier payload is touched meanwhile: the caller names the stored items in the payload
// document, writes the META data file, and only then removes the earlier payloads, so that
// the drive always holds a whole payload that its document names.

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
    Cancelled,     // the cancel request came first; nothing of this write stays
};

struct StoreWrite {
    StoreRefusal refusal = StoreRefusal::None;
    uint64_t totalBytes = 0;               // the size of the items; TooLarge: the count that passed the limit
    std::vector<std::string> storedPaths;  // where each item landed (UTF-8), in drop-list order
    std::string stampedRoot;               // written: the new payload folder, "E:\<storage>\<stamp>\"
    FailedItem failed;                     // why a refused write failed, where it names an item
    bool renamed = false;                  // written: some item got a safe name (store/safe_names.h)

    bool written() const { return refusal == StoreRefusal::None; }
};

// `dropList` holds the entries of the clipboard's file-drop list in order, as DragQueryFileW
// gives them (empty entries are skipped). Every item is stored under a name the drive and a
// Windows peer can hold. `driveLetter` is the store drive's letter (0 when
// the selection names none); `sizeLimit` the most bytes one copy may carry, a folder counting
// its whole tree. `progress` hears of the bytes copied so far of that total (never more).
// `cancel`, when raised, ends the measuring or the copy before its next file or chunk.
StoreWrite writeVirtualStore(FileSystem& fs, Clock& clock, CopyBuffer& copyBuffer, char driveLetter,
                             uint32_t sizeLimit, const std::vector<std::u16string>& dropList,
                             const ProgressCallback& progress = {}, Wakeup* cancel = nullptr);

// Once the document naming `written` is on the drive: removes everything else the storage
// folder holds - the earlier payloads, and folders of copies that failed - until `cancel` is
// raised. What cannot be removed now is tried again after the next copy. Gives the first item
// that stayed.
FailedItem removeEarlierPayloads(FileSystem& fs, const StoreWrite& written, Wakeup* cancel = nullptr);

// A written payload whose document did not reach the drive: its folder goes again.
void discardPayload(FileSystem& fs, const StoreWrite& written);

}  // namespace shuttle

#include "store/store_writer.h"

#include <limits>

#include "base/print.h"
#include "payload/payload_document.h"
#include "store/store_layout.h"
#include "base/utf8.h"
#include "core/notifications.h"

namespace shuttle {
namespace {

const std::u16string kCantCopyTitle = u"Can't copy";

// The accepted items of one write: what to copy and where each lands.
struct StoreItems {
    std::vector<std::string> copyList;              // UTF-8 source paths
    std::vector<std::u16string> destinationList;    // stamped root + leaf name
};

std::vector<std::u16string> nonEmptyEntries(const std::vector<std::u16string>& dropList) {
    std::vector<std::u16string> sources;
    for (const std::u16string& entry : dropList) {
        if (!entry.empty()) sources.push_back(entry);
    }
    return sources;
}

void reportNoFiles(SharedState& state, Tray& tray, Clock& clock) {
    printOut("No files to copy\n");
    setTrayIcon(state, tray, clock, kIconFailure);
    notifyUser(state, tray, kCantCopyTitle, u"No files to copy", false);
}

void reportTooLarge(SharedState& state, Tray& tray, Clock& clock, uint64_t total, uint32_t limit) {
    std::string text = formatText("Total size is %llu bytes (max %lu bytes)", static_cast<unsigned long long>(total),
                                  static_cast<unsigned long>(limit));
    setTrayIcon(state, tray, clock, kIconFailure);
    notifyUser(state, tray, kCantCopyTitle, fromUtf8(text), false);
    printOut("%s\n", text.c_str());
}

// Measures the items in order and lists the accepted ones; false when the write is refused.
bool acceptItems(SharedState& state, FileSystem& fs, Tray& tray, Clock& clock,
                 const std::vector<std::u16string>& sources, const std::string& stampedRoot, StoreItems& items) {
    const uint32_t limit = state.settings.sizeLimit.load();
    const std::u16string wideStampedRoot = fromUtf8(stampedRoot);
    uint64_t total = 0;
    for (const std::u16string& path : sources) {
        std::string narrow;
        if (!tryToUtf8(path, narrow)) {
            printOut("A dropped path is not valid Unicode; nothing copied\n");
            return false;
        }
        uint64_t size = 0;
        if (!getPathSize(fs, clock, path, size)) return false;
        // Saturate rather than wrap: a wrapped total could slip under the limit.
        total = size > std::numeric_limits<uint64_t>::max() - total ? std::numeric_limits<uint64_t>::max()
                                                                     : total + size;
        if (total > limit) {
            reportTooLarge(state, tray, clock, total, limit);
            return false;
        }
        items.copyList.push_back(narrow);
        // Built without a length bound: a long leaf name gives a long path, never a cut one.
        items.destinationList.push_back(wideStampedRoot + leafName(path));
    }
    return true;
}

void fillDocument(JsonValue& document, const StoreItems& items, const std::string& guid) {
    std::vector<std::string> paths;
    paths.reserve(items.destinationList.size());
    for (const std::u16string& destination : items.destinationList) paths.push_back(toUtf8(destination));
    assemblePayloadDocument(document, guid, paths);
}

bool createStoreFolder(FileSystem& fs, const std::string& path) {
    if (fs.createDirectory(path) || fs.lastError() == kErrorAlreadyExists) return true;
    unsigned long error = fs.lastError();
    printOut("Failed to create directory:  = %s\n", path.c_str());
    printOut("Failed to create directory: %s\t!!! Error: %lu\n", path.c_str(), error);
    return false;
}

}  // namespace

bool writeVirtualStore(SharedState& state, FileSystem& fs, Tray& tray, Clock& clock, CopyBuffer& copyBuffer,
                       const std::vector<std::u16string>& dropList, JsonValue& document, std::string guid) {
    const std::vector<std::u16string> sources = nonEmptyEntries(dropList);
    const char letter = storeDriveLetter(state.settings.storeSelection.get());
    if (letter == 0) {
        printOut("The store selection names no drive letter; nothing copied\n");
        return false;
    }
    const std::string generalRoot = virtualStoreGeneralRoot(letter);
    const std::string stampedRoot = virtualStoreStampedRoot(generalRoot, makeTimestamp(clock));
    printOut("virtualStoreGeneralRoot=%s\n", generalRoot.c_str());
    printOut("virtualStoreStampedRoot=%s\n", stampedRoot.c_str());

    if (sources.empty()) {
        reportNoFiles(state, tray, clock);
        return false;
    }
    StoreItems items;
    if (!acceptItems(state, fs, tray, clock, sources, stampedRoot, items)) return false;
    if (items.destinationList.empty()) {
        reportNoFiles(state, tray, clock);
        return false;
    }
    fillDocument(document, items, guid);

    removeDirectoryRecursively(fs, generalRoot);  // what cannot be removed stays beside the new folder
    if (!createStoreFolder(fs, generalRoot) || !createStoreFolder(fs, stampedRoot)) return false;
    copyPathsToFolder(fs, copyBuffer, items.copyList, stampedRoot);
    return true;
}

}  // namespace shuttle

#include "store/store_writer.h"

#include <limits>

#include "base/print.h"
#include "base/utf8.h"
#include "store/store_layout.h"

namespace shuttle {
namespace {

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

StoreWrite refused(StoreRefusal why, uint64_t total = 0) {
    StoreWrite result;
    result.refusal = why;
    result.totalBytes = total;
    return result;
}

// Measures the items in order and lists the accepted ones; anything but None refuses the write.
StoreRefusal acceptItems(FileSystem& fs, Clock& clock, uint32_t limit, const std::vector<std::u16string>& sources,
                         const std::string& stampedRoot, StoreItems& items, uint64_t& total) {
    const std::u16string wideStampedRoot = fromUtf8(stampedRoot);
    total = 0;
    for (const std::u16string& path : sources) {
        std::string narrow;
        if (!tryToUtf8(path, narrow)) {
            printOut("A dropped path is not valid Unicode; nothing copied\n");
            return StoreRefusal::NotUnicode;
        }
        uint64_t size = 0;
        if (!getPathSize(fs, clock, path, size)) return StoreRefusal::Missing;
        // Saturate rather than wrap: a wrapped total could slip under the limit.
        total = size > std::numeric_limits<uint64_t>::max() - total ? std::numeric_limits<uint64_t>::max()
                                                                     : total + size;
        if (total > limit) return StoreRefusal::TooLarge;
        items.copyList.push_back(narrow);
        // Built without a length bound: a long leaf name gives a long path, never a cut one.
        items.destinationList.push_back(wideStampedRoot + leafName(path));
    }
    return StoreRefusal::None;
}

bool createStoreFolder(FileSystem& fs, const std::string& path) {
    if (fs.createDirectory(path) || fs.lastError() == kErrorAlreadyExists) return true;
    unsigned long error = fs.lastError();
    printOut("Failed to create directory:  = %s\n", path.c_str());
    printOut("Failed to create directory: %s\t!!! Error: %lu\n", path.c_str(), error);
    return false;
}

}  // namespace

StoreWrite writeVirtualStore(FileSystem& fs, Clock& clock, CopyBuffer& copyBuffer, char driveLetter,
                             uint32_t sizeLimit, const std::vector<std::u16string>& dropList,
                             const ProgressCallback& progress) {
    const std::vector<std::u16string> sources = nonEmptyEntries(dropList);
    if (driveLetter == 0) {
        printOut("The store selection names no drive letter; nothing copied\n");
        return refused(StoreRefusal::NoDrive);
    }
    const std::string generalRoot = virtualStoreGeneralRoot(driveLetter);
    const std::string stampedRoot = virtualStoreStampedRoot(generalRoot, makeTimestamp(clock));
    printOut("virtualStoreGeneralRoot=%s\n", generalRoot.c_str());
    printOut("virtualStoreStampedRoot=%s\n", stampedRoot.c_str());

    if (sources.empty()) return refused(StoreRefusal::NoFiles);
    StoreItems items;
    uint64_t total = 0;
    const StoreRefusal accepted = acceptItems(fs, clock, sizeLimit, sources, stampedRoot, items, total);
    if (accepted != StoreRefusal::None) return refused(accepted, total);

    removeDirectoryRecursively(fs, generalRoot);  // what cannot be removed stays beside the new folder
    if (!createStoreFolder(fs, generalRoot) || !createStoreFolder(fs, stampedRoot))
        return refused(StoreRefusal::CannotCreate);
    uint64_t copied = 0;
    CopiedBytes onCopied;
    if (progress) {
        // The measured total counts only the files directly inside a dropped folder, so the
        // bytes copied may pass it.
        onCopied = [&](uint64_t bytes) {
            copied += bytes;
            progress(copied < total ? copied : total, total);
        };
    }
    copyPathsToFolder(fs, copyBuffer, items.copyList, stampedRoot, onCopied);

    StoreWrite result;
    result.totalBytes = total;
    for (const std::u16string& destination : items.destinationList) result.storedPaths.push_back(toUtf8(destination));
    return result;
}

}  // namespace shuttle

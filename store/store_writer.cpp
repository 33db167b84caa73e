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

StoreWrite refused(StoreRefusal why, uint64_t total = 0, FailedItem failed = {}) {
    StoreWrite result;
    result.refusal = why;
    result.totalBytes = total;
    result.failed = std::move(failed);
    return result;
}

// A path that is not valid UTF-16 in UTF-8 all the same, each unpaired surrogate shown as U+FFFD,
// so that the user can be told which item it was.
std::string readableUtf8(const std::u16string& path) {
    std::string text;
    for (size_t i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
            appendUtf8(text, 0x10000 + ((uint32_t(unit) - 0xD800) << 10) + (uint32_t(path[i + 1]) - 0xDC00));
            ++i;
        } else {
            appendUtf8(text, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
        }
    }
    return text;
}

// Measures the items in order and lists the accepted ones; anything but None refuses the write.
StoreRefusal acceptItems(FileSystem& fs, Clock& clock, uint32_t limit, const std::vector<std::u16string>& sources,
                         const std::string& stampedRoot, StoreItems& items, uint64_t& total, FailedItem& failed) {
    const std::u16string wideStampedRoot = fromUtf8(stampedRoot);
    total = 0;
    for (const std::u16string& path : sources) {
        std::string narrow;
        if (!tryToUtf8(path, narrow)) {
            printOut("A dropped path is not valid Unicode; nothing copied\n");
            failed = FailedItem{readableUtf8(path), kErrorInvalidName};
            return StoreRefusal::NotUnicode;
        }
        uint64_t size = 0;
        uint32_t error = 0;
        if (!getPathSize(fs, clock, path, size, error)) {
            printOut("Cannot read %s\t!!! Error: %lu; nothing copied\n", narrow.c_str(), static_cast<unsigned long>(error));
            failed = FailedItem{narrow, error != 0 ? error : kErrorGenFailure};
            return StoreRefusal::Unreadable;
        }
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

bool createStoreFolder(FileSystem& fs, const std::string& path, FailedItem& failed) {
    if (fs.createDirectory(path) || fs.lastError() == kErrorAlreadyExists) return true;
    const uint32_t error = fs.lastError();
    printOut("Failed to create directory:  = %s\n", path.c_str());
    printOut("Failed to create directory: %s\t!!! Error: %lu\n", path.c_str(), static_cast<unsigned long>(error));
    std::string folder = path;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    failed = FailedItem{folder, error != 0 ? error : kErrorGenFailure};
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
    FailedItem failed;
    const StoreRefusal accepted = acceptItems(fs, clock, sizeLimit, sources, stampedRoot, items, total, failed);
    if (accepted != StoreRefusal::None) return refused(accepted, total, failed);

    // What cannot be removed (a file the other computer holds open, say) stays beside the new folder.
    FailedItem leftover;
    removeDirectoryRecursively(fs, generalRoot, &leftover);
    if (!createStoreFolder(fs, generalRoot, failed) || !createStoreFolder(fs, stampedRoot, failed)) {
        StoreWrite result = refused(StoreRefusal::CannotCreate, total, failed);
        result.leftover = leftover;
        return result;
    }
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
    failed = copyPathsToFolder(fs, copyBuffer, items.copyList, stampedRoot, onCopied);
    if (failed.failed()) {
        printOut("Nothing copied: %s could not be copied\n", failed.path.c_str());
        removeDirectoryRecursively(fs, stampedRoot);  // never a part of the set
        StoreWrite result = refused(StoreRefusal::Unreadable, total, failed);
        result.leftover = leftover;
        return result;
    }

    StoreWrite result;
    result.totalBytes = total;
    result.leftover = leftover;
    for (const std::u16string& destination : items.destinationList) result.storedPaths.push_back(toUtf8(destination));
    return result;
}

}  // namespace shuttle

#include "store/store_writer.h"

#include <limits>

#include "base/print.h"
#include "base/utf8.h"
#include "store/item_names.h"
#include "store/safe_names.h"
#include "store/store_layout.h"
#include "store/tree_copy.h"

namespace shuttle {
namespace {

// How many seconds on a payload folder's name may move when the names before it are taken.
constexpr unsigned kStampTries = 60;

// The accepted items of one write: what to copy and its name in the payload folder.
struct StoreItems {
    std::vector<std::string> sources;  // UTF-8 source paths
    std::vector<ItemName> names;       // safe leaf names, and whether each is a folder
    bool renamed = false;              // a leaf name was not safe as it was
    ListedFiles listed;                // the files inside the folders, as the measure saw them
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

std::string withoutTrailingSeparators(std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

// The item's name in the payload folder: its leaf name; a dropped drive root ("D:\") is "D".
std::string itemLeaf(const std::string& path) {
    std::string leaf = leafName(withoutTrailingSeparators(path));
    if (leaf.size() == 2 && leaf[1] == ':') leaf.pop_back();
    return leaf.empty() ? "item" : leaf;
}

// Measures the items in order and lists the accepted ones; anything but None refuses the
// write. Each item is measured only as far as the limit leaves room.
StoreRefusal acceptItems(FileSystem& fs, Clock& clock, uint32_t limit, Wakeup* cancel,
                         const std::vector<std::u16string>& sources, StoreItems& items, uint64_t& total,
                         FailedItem& failed) {
    total = 0;
    for (const std::u16string& path : sources) {
        std::string narrow;
        if (!tryToUtf8(withoutSingleLeadingSeparator(path), narrow)) {
            printOut("A dropped path is not valid Unicode; nothing copied\n");
            failed = FailedItem{readableUtf8(path), kErrorInvalidName};
            return StoreRefusal::NotUnicode;
        }
        uint64_t size = 0;
        uint32_t error = 0;
        if (!getPathSize(fs, clock, path, size, error, limit - total, cancel, &items.listed)) {
            if (error == kErrorCancelled) return StoreRefusal::Cancelled;
            printOut("Cannot read %s\t!!! Error: %lu; nothing copied\n", narrow.c_str(), static_cast<unsigned long>(error));
            failed = FailedItem::of(narrow, error);
            return StoreRefusal::Unreadable;
        }
        // Saturate rather than wrap: a wrapped total could slip under the limit.
        total = size > std::numeric_limits<uint64_t>::max() - total ? std::numeric_limits<uint64_t>::max()
                                                                     : total + size;
        if (total > limit) return StoreRefusal::TooLarge;
        const uint32_t attributes = fs.attributes(narrow);
        items.sources.push_back(narrow);
        const StoreName safe = safeStoreName(itemLeaf(narrow));
        items.renamed = items.renamed || safe.changed;
        items.names.push_back({safe.name, attributes != kInvalidAttributes && (attributes & kAttributeDirectory)});
    }
    return StoreRefusal::None;
}

FailedItem createFailure(FileSystem& fs, const std::string& path) {
    const uint32_t error = fs.lastError();
    printOut("Failed to create directory:  = %s\n", path.c_str());
    printOut("Failed to create directory: %s\t!!! Error: %lu\n", path.c_str(), static_cast<unsigned long>(error));
    return FailedItem::of(withoutTrailingSeparators(path), error);
}

// The storage folder, made when missing. A link in its place (a junction to another disk, say)
// is removed first: the copy and the removal of earlier payloads would follow it.
bool makeStorageFolder(FileSystem& fs, const std::string& generalRoot, FailedItem& failed) {
    const std::string folder = withoutTrailingSeparators(generalRoot);
    const uint32_t attributes = fs.attributes(folder);
    if (attributes != kInvalidAttributes && (attributes & kAttributeReparsePoint)) {
        printOut("The storage folder %s is a link; it is replaced by a folder\n", folder.c_str());
        if (attributes & kAttributeDirectory) fs.removeDirectory(folder);
        else fs.deleteFile(folder);
    }
    if (fs.createDirectory(generalRoot) || fs.lastError() == kErrorAlreadyExists) return true;
    failed = createFailure(fs, generalRoot);
    return false;
}

// A new payload folder named by this second. Should that name be taken (a copy a moment ago
// in the same second, or a clock set back), the next free second's: a write never goes into,
// nor removes, a folder that a document may name.
bool makeStampedFolder(FileSystem& fs, Clock& clock, const std::string& generalRoot, std::string& stampedRoot,
                       FailedItem& failed) {
    for (unsigned later = 0; later < kStampTries; ++later) {
        stampedRoot = virtualStoreStampedRoot(generalRoot, makeTimestamp(clock, later));
        if (fs.createDirectory(stampedRoot)) {
            printOut("virtualStoreStampedRoot=%s\n", stampedRoot.c_str());
            return true;
        }
        if (fs.lastError() != kErrorAlreadyExists) break;
    }
    failed = createFailure(fs, stampedRoot);
    return false;
}

// Copies the items into `stampedRoot` under `names`; the first failure (or the cancel) stops it.
FailedItem copyItems(CopyRun& run, const StoreItems& items, const std::vector<std::string>& names,
                     const std::string& stampedRoot) {
    for (size_t i = 0; i < items.sources.size(); ++i) {
        FailedItem failed = copyItemTo(run, items.sources[i], stampedRoot + names[i]);
        if (failed.failed()) return failed;
    }
    return {};
}

CopiedBytes progressOf(const ProgressCallback& progress, uint64_t total, uint64_t& copied) {
    if (!progress) return {};
    // A file that grew since it was measured must not take the progress past its end.
    return [&progress, total, &copied](uint64_t bytes) {
        copied += bytes;
        progress(copied < total ? copied : total, total);
    };
}

}  // namespace

StoreWrite writeVirtualStore(FileSystem& fs, Clock& clock, CopyBuffer& copyBuffer, char driveLetter,
                             uint32_t sizeLimit, const std::vector<std::u16string>& dropList,
                             const ProgressCallback& progress, Wakeup* cancel) {
    const std::vector<std::u16string> sources = nonEmptyEntries(dropList);
    if (driveLetter == 0) {
        printOut("The store selection names no drive letter; nothing copied\n");
        return refused(StoreRefusal::NoDrive);
    }
    const std::string generalRoot = virtualStoreGeneralRoot(driveLetter);
    printOut("virtualStoreGeneralRoot=%s\n", generalRoot.c_str());
    if (sources.empty()) return refused(StoreRefusal::NoFiles);

    StoreItems items;
    uint64_t total = 0;
    FailedItem failed;
    const StoreRefusal accepted = acceptItems(fs, clock, sizeLimit, cancel, sources, items, total, failed);
    if (accepted != StoreRefusal::None) return refused(accepted, total, failed);

    std::string stampedRoot;
    if (!makeStorageFolder(fs, generalRoot, failed) || !makeStampedFolder(fs, clock, generalRoot, stampedRoot, failed))
        return refused(StoreRefusal::CannotCreate, total, failed);
    const std::vector<std::string> names = distinctNames(items.names);
    uint64_t copied = 0;
    CopyRun run{fs, copyBuffer, progressOf(progress, total, copied), cancel};
    run.listed = &items.listed;
    failed = copyItems(run, items, names, stampedRoot);
    if (failed.failed()) {
        const bool cancelled = isCancelled(failed);
        if (!cancelled) printOut("Nothing copied: %s could not be copied\n", failed.path.c_str());
        removeDirectoryRecursively(fs, stampedRoot);  // never a part of the set
        return refused(cancelled ? StoreRefusal::Cancelled : StoreRefusal::Unreadable, total, failed);
    }

    StoreWrite result;
    result.totalBytes = total;
    result.stampedRoot = stampedRoot;
    result.renamed = items.renamed || run.renamed;
    for (const std::string& name : names) result.storedPaths.push_back(stampedRoot + name);
    return result;
}

FailedItem removeEarlierPayloads(FileSystem& fs, const StoreWrite& written, Wakeup* cancel) {
    const std::string stamped = withoutTrailingSeparators(written.stampedRoot);
    const size_t cut = stamped.rfind('\\');
    FailedItem leftover;
    if (cut == std::string::npos) return leftover;
    removeFolderEntriesExcept(fs, stamped.substr(0, cut), stamped.substr(cut + 1), leftover, cancel);
    return leftover;
}

void discardPayload(FileSystem& fs, const StoreWrite& written) {
    if (!written.stampedRoot.empty()) removeDirectoryRecursively(fs, written.stampedRoot);
}

}  // namespace shuttle

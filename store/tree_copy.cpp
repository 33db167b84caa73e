#include "store/tree_copy.h"

#include <optional>

#include "base/print.h"
#include "store/item_names.h"
#include "store/safe_names.h"
#include "store/store_layout.h"

namespace shuttle {
namespace {

FailedItem openFailure(FileSystem& fs, const char* what, const std::string& path, const std::string& item) {
    const uint32_t error = fs.lastError();
    printOut("Failed to open %s file %s\t!!! Error: %lu\n", what, path.c_str(), static_cast<unsigned long>(error));
    return FailedItem::of(item, error);
}

// Writes the whole piece; a write that reports success for fewer bytes ran out of room.
FailedItem writePiece(FileSystem& fs, OpenFile& out, const char* bytes, uint32_t size, const std::string& source,
                      const std::string& target) {
    uint32_t put = 0;
    if (out.write(bytes, size, put) && put == size) return {};
    const uint32_t error = put != size && put != 0 ? kErrorDiskFull : fs.lastError();
    printOut("Failed to write to target file: %s\n", target.c_str());
    return FailedItem::of(source, error != 0 ? error : kErrorDiskFull);
}

// One chunk through this process: read into `chunk`, then written whole; `got` 0 at the end.
FailedItem passChunk(FileSystem& fs, OpenFile& in, OpenFile& out, char* chunk, uint32_t& got,
                     const std::string& source, const std::string& target) {
    if (!in.read(chunk, kCopyChunkSize, got)) {
        const uint32_t error = fs.lastError();
        printOut("Failed to read from soutce file: %s\t!!! Error: %lu\n", source.c_str(),
                 static_cast<unsigned long>(error));
        return FailedItem::of(source, error);
    }
    return got == 0 ? FailedItem{} : writePiece(fs, out, chunk, got, source, target);
}

// Copies chunk by chunk, inside the system where the platform can (no bytes through this
// process), else through the copy buffer; the cancel is looked at before every chunk.
FailedItem streamCopy(CopyRun& run, const std::string& source, const std::string& target) {
    std::unique_ptr<OpenFile> in =
        run.fs.open(source, FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
    if (!in) return openFailure(run.fs, "source", source, source);
    std::unique_ptr<OpenFile> out =
        run.fs.open(target, FileAccess::Write, kShareNone, FileDisposition::CreateAlways, kAttributeNormal);
    if (!out) return openFailure(run.fs, "target", target, source);
    bool inSystem = true;
    std::optional<CopyBuffer::Lease> chunk;  // taken once the system cannot copy these files
    for (;;) {
        if (run.cancelled()) return FailedItem{source, kErrorCancelled};
        uint32_t got = 0;
        if (inSystem && !in->copyTo(*out, run.systemChunkSize, got)) {
            const uint32_t error = run.fs.lastError();
            if (error != kErrorNotSupported) {
                printOut("Failed to copy %s to %s\t!!! Error: %lu\n", source.c_str(), target.c_str(),
                         static_cast<unsigned long>(error));
                return FailedItem::of(source, error);
            }
            inSystem = false;
        }
        if (!inSystem) {
            if (!chunk) chunk.emplace(run.buffer);
            FailedItem failed = passChunk(run.fs, *in, *out, chunk->data(), got, source, target);
            if (failed.failed()) return failed;
        }
        if (got == 0) return {};
        if (run.copied) run.copied(got);
    }
}

// The size of the source file; a failure names it.
FailedItem measureSource(FileSystem& fs, const std::string& source, int64_t& size) {
    std::unique_ptr<OpenFile> file =
        fs.open(source, FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
    if (!file) {
        const uint32_t error = fs.lastError();
        printOut("Cannot open file: %s\t!!! Error: %lu\n", source.c_str(), static_cast<unsigned long>(error));
        return FailedItem::of(source, error);
    }
    if (!file->size(size)) {
        const uint32_t error = fs.lastError();
        printOut("Cannot get file size for %s\t!!! Error: %lu\n", source.c_str(), static_cast<unsigned long>(error));
        return FailedItem::of(source, error);
    }
    return {};
}

// Copies a file of `size` bytes whose attributes are `sourceAttributes` (read-only at least, or
// kInvalidAttributes), both as a listing or a look gave them a moment ago.
FailedItem copyKnownFile(CopyRun& run, const std::string& source, const std::string& target,
                         uint32_t sourceAttributes, uint64_t size) {
    if (run.cancelled()) return FailedItem{source, kErrorCancelled};
    if (size > kCopyChunkSize) return streamCopy(run, source, target);
    if (!run.fs.copyFile(source, target, false)) {
        const uint32_t error = run.fs.lastError();
        printOut("Cannot copy file %s\t!!! Error: %lu\n", source.c_str(), static_cast<unsigned long>(error));
        return FailedItem::of(source, error);
    }
    // The platform copy keeps the source's attributes; a read-only copy would block the
    // removal of its folder at a later copy. Only the copy's own attributes are whole: a
    // listing may leave hidden and system out.
    const bool maybeReadOnly = sourceAttributes == kInvalidAttributes || (sourceAttributes & kAttributeReadOnly);
    const uint32_t attributes = maybeReadOnly ? run.fs.attributes(target) : kInvalidAttributes;
    if (attributes != kInvalidAttributes && (attributes & kAttributeReadOnly) &&
        !run.fs.setAttributes(target, writableAttributes(attributes))) {
        const uint32_t error = run.fs.lastError();
        printOut("Cannot make the copy %s writable\t!!! Error: %lu\n", target.c_str(), static_cast<unsigned long>(error));
        return FailedItem::of(source, error);
    }
    if (run.copied) run.copied(size);
    return {};
}

// Copies a file of a listing: with what the listing or the measure before (`measured`, the
// folder's files as the measure saw them) told of it, else - a file that came after the
// measure - with a look of its own.
FailedItem copyListedFile(CopyRun& run, ListedFiles::Folder* measured, const FindEntry& entry,
                          const std::string& source, const std::string& target) {
    if (entry.measured) return copyKnownFile(run, source, target, entry.attributes, entry.size);
    const ListedFiles::File* listed = measured != nullptr ? measured->find(entry.name) : nullptr;
    if (listed == nullptr) return copyFileTo(run, source, target);
    return copyKnownFile(run, source, target, listed->attributes, listed->size);
}

// Copies each entry of the listing into `target`; stops at the first that fails.
FailedItem copyEntries(CopyRun& run, const std::string& source, const std::string& target, FindEnumeration& listing,
                       FindEntry& entry, ListedFiles::Folder* measured) {
    DistinctNames names;
    do {
        if (entry.isDotOrDotDot()) continue;
        if (entry.name.empty()) {
            printOut("A name in %s is not valid Unicode\n", source.c_str());
            return FailedItem::of(source, kErrorInvalidName);
        }
        const std::string child = source + "\\" + entry.name;
        if (entry.isLink()) {  // what it names may lie anywhere: left out, as its size was
            printOut("Link not followed: %s\n", child.c_str());
            continue;
        }
        const StoreName safe = safeStoreName(entry.name);
        run.renamed = run.renamed || safe.changed;
        const std::string childTarget = target + "\\" + names.claim({safe.name, entry.isDirectory()});
        FailedItem failed = entry.isDirectory() ? copyDirectoryTo(run, child, childTarget)
                                                : copyListedFile(run, measured, entry, child, childTarget);
        if (failed.failed()) return failed;
    } while (listing.next(entry));
    const uint32_t ended = run.fs.lastError();
    if (ended == kErrorNoMoreFiles) return {};
    printOut("Listing %s broke off\t!!! Error: %lu\n", source.c_str(), static_cast<unsigned long>(ended));
    return FailedItem::of(source, ended);
}

}  // namespace

FailedItem copyFileTo(CopyRun& run, const std::string& source, const std::string& target,
                      uint32_t sourceAttributes) {
    if (run.cancelled()) return FailedItem{source, kErrorCancelled};
    int64_t size = 0;
    FailedItem failed = measureSource(run.fs, source, size);
    if (failed.failed()) return failed;
    return copyKnownFile(run, source, target, sourceAttributes, static_cast<uint64_t>(size));
}

FailedItem copyDirectoryTo(CopyRun& run, const std::string& source, const std::string& target) {
    if (isSameOrInside(target, source)) {
        printOut("Cannot copy folder %s into itself: %s\n", source.c_str(), target.c_str());
        return FailedItem::of(source, kErrorCopyIntoItself);
    }
    if (!run.fs.createDirectory(target) && run.fs.lastError() != kErrorAlreadyExists) {
        const uint32_t error = run.fs.lastError();
        printOut("Failed to create directory:  = %s\n", target.c_str());
        return FailedItem::of(source, error);
    }
    FindEntry entry;
    // Right after a whole measure, the names are enough: the measure knows the files.
    ListedFiles::Folder* measured = run.listed != nullptr && run.listed->whole() ? run.listed->find(source) : nullptr;
    std::unique_ptr<FindEnumeration> listing =
        run.fs.findFirst(source + "\\*", entry, measured != nullptr ? FindDetail::Names : FindDetail::Basic);
    if (!listing) {
        const uint32_t error = run.fs.lastError();
        printOut("Failed to open directory:  = %s\n", source.c_str());
        return FailedItem::of(source, error);
    }
    return copyEntries(run, source, target, *listing, entry, measured);
}

FailedItem copyItemTo(CopyRun& run, const std::string& source, const std::string& target) {
    const std::string path = withoutSingleLeadingSeparator(source);
    const uint32_t attributes = run.fs.attributes(path);
    return attributes != kInvalidAttributes && (attributes & kAttributeDirectory)
               ? copyDirectoryTo(run, path, target)
               : copyFileTo(run, path, target, attributes);
}

}  // namespace shuttle

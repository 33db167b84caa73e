#pragma once
// The META data file at the root of the store drive: the serialised payload document, written
// last by the sender (hidden and system) and polled by both sides.

#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace shuttle {

// A META data file larger than this is not a payload document of ours: it is reported and
// ignored, never read into memory.
constexpr int64_t kMaxMetaDataFileSize = 16 * 1024 * 1024;

// Replaces the META data file of `driveRoot` ("E:\") with `bytes`, hidden and system. The
// bytes go to a file beside it first, which then replaces the old one in one step: a reader,
// or a session that ends meanwhile, sees the old file or the new one, never a part. False,
// with a console message, when the new file cannot be written whole or put in place; the old
// one then stays as it was.
bool writeMetaDataFile(FileSystem& fs, const std::string& driveRoot, const std::string& bytes);

// The whole content of the META data file of `driveRoot`. False, without a message, when the
// root is not a folder or the file is missing or a folder; with a message when it cannot be
// opened or is larger than kMaxMetaDataFileSize. The file is opened so that a writer may
// replace it meanwhile.
bool readMetaDataFile(FileSystem& fs, const std::string& driveRoot, std::string& out);

// One version of a META data file as the file system describes it without reading it.
struct MetaDataVersion {
    int64_t size = -1;  // -1: not known
    uint64_t lastWriteTime = 0;

    bool known() const { return size >= 0; }
    bool operator==(const MetaDataVersion& other) const {
        return size == other.size && lastWriteTime == other.lastWriteTime;
    }
    bool operator!=(const MetaDataVersion& other) const { return !(*this == other); }
};

enum class MetaDataRead { Read, Unchanged, Nothing };

// readMetaDataFile for a poll: Unchanged, without reading or a message, when the file's size
// and last-write time are `skipIf` (a version that is known); Nothing where readMetaDataFile
// gives false. `version` is set whenever the file could be measured, even when it is then
// ignored as too large, so that the caller can skip that version too.
MetaDataRead readMetaDataFileIfChanged(FileSystem& fs, const std::string& driveRoot, const MetaDataVersion& skipIf,
                                       MetaDataVersion& version, std::string& out);

}  // namespace shuttle

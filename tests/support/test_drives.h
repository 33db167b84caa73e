#pragma once
// Real drives for tests: each mounted letter ("E:\") is a fresh folder of a temporary tree,
// reached through the platform's own file system seam (on POSIX through its drive table, on
// Windows through a redirection to a folder under %TEMP%). Everything goes when it dies.
// The helpers below work through any FileSystem, so tests stay portable.

#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace shuttle::testing {

class TestDrives {
public:
    TestDrives();
    ~TestDrives();
    TestDrives(const TestDrives&) = delete;
    TestDrives& operator=(const TestDrives&) = delete;

    FileSystem& fs();
    // Maps `letter` to a new empty folder; gives its root, "E:\".
    std::string mount(char letter);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// False under Wine run as root, which deletes and rewrites read-only files that Windows refuses to touch.
bool readOnlyIsEnforced();

// Creates (or replaces) a file holding `bytes`; false when that fails.
bool writeFile(FileSystem& fs, const std::string& path, const std::string& bytes);
// A file of `size` bytes with a recognisable pattern (byte i = (i * 7 + seed) & 0xFF).
bool writePatternFile(FileSystem& fs, const std::string& path, size_t size, unsigned seed = 0);
std::string patternBytes(size_t size, unsigned seed = 0);
// The whole content, or nothing when the file cannot be read.
bool readFile(FileSystem& fs, const std::string& path, std::string& bytes);
bool makeFolder(FileSystem& fs, const std::string& path);
bool exists(FileSystem& fs, const std::string& path);
bool isFolderAt(FileSystem& fs, const std::string& path);
// Names in a folder, sorted, without "." and "..".
std::vector<std::string> namesIn(FileSystem& fs, const std::string& folder);
// Removes a tree whatever its attributes.
void wipeTree(FileSystem& fs, const std::string& path);

}  // namespace shuttle::testing

// One store write and nothing else, for counting its system calls: `strace -f -c
// store_write_once_posix SOURCE STORE` against `strace -f -c cp -r SOURCE TARGET`
// (scripts/bench-store.sh --syscalls does both). SOURCE, a host folder, is dropped as C:\<its
// name>; STORE, an empty host folder, is the store drive E:. Exits 1 when the write is refused.

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "base/print.h"
#include "base/utf8.h"
#include "platform/file_system_posix.h"
#include "store/store_writer.h"

int main(int argc, char** argv) {
    using namespace shuttle;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE-FOLDER EMPTY-STORE-FOLDER\n", argv[0]);
        return 2;
    }
    std::string source = argv[1];
    while (source.size() > 1 && source.back() == '/') source.pop_back();
    const size_t cut = source.rfind('/');
    PosixFileSystem fileSystem;
    fileSystem.mapDrive('C', cut == 0 ? "/" : source.substr(0, cut));
    fileSystem.mapDrive('E', argv[2]);
    setTraceSink([](TraceStream, const std::string&) {});
    CopyBuffer buffer;
    const StoreWrite written = writeVirtualStore(fileSystem, systemClock(), buffer, 'E',
                                                 std::numeric_limits<uint32_t>::max(),
                                                 {fromUtf8("C:\\" + source.substr(cut + 1))});
    return written.written() ? 0 : 1;
}

// Process entry point of the Linux program shuttle, as far as it goes yet: the version, and the
// rule of one running program per user (a second start ends at once with status 0). The Qt
// interface, the tray icon and the computer's workers start here next.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "platform/instance_lock_linux.h"
#include "shuttle_version.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Shuttle %s (Qt %s)\n", SHUTTLE_VERSION_TEXT, qVersion());
        return 0;
    }
    const shuttle::InstanceLock instance(shuttle::instanceLockPath());
    if (instance.state() == shuttle::InstanceLock::State::HeldElsewhere) return 0;
    QApplication application(argc, argv);
    QApplication::setApplicationName("Shuttle");
    QApplication::setApplicationVersion(SHUTTLE_VERSION_TEXT);
    std::printf("Shuttle %s\n", SHUTTLE_VERSION_TEXT);
    return 0;
}

#pragma once
// The system's hints that the serial ports or the mounted drives changed. Each watch gives a
// descriptor to wait on (with poll(), or a QSocketNotifier) and, once it is ready, says whether
// something changed; the caller then lists the ports or drives again.

#include <memory>
#include <string>

#include "platform/unique_fd.h"

struct udev;
struct udev_monitor;

namespace shuttle {

// tty devices coming and going, as udev announces them (after it made their by-id links).
class TtyDeviceWatch {
public:
    TtyDeviceWatch();
    ~TtyDeviceWatch();
    TtyDeviceWatch(const TtyDeviceWatch&) = delete;
    TtyDeviceWatch& operator=(const TtyDeviceWatch&) = delete;

    // Readable while announcements wait (QSocketNotifier::Read); -1 when udev could not be
    // reached, and the ports are then listed on the caller's own schedule only.
    int fd() const;
    // Takes every waiting announcement; true when a tty device was added or removed.
    bool changed();

private:
    struct UdevDeleter {
        void operator()(udev* context) const;
        void operator()(udev_monitor* monitor) const;
    };
    std::unique_ptr<udev, UdevDeleter> context_;
    std::unique_ptr<udev_monitor, UdevDeleter> monitor_;
};

// Mounts and unmounts in this process's mount namespace: the mount table signals a priority
// event (POLLPRI; QSocketNotifier::Exception) once per change.
class MountWatch {
public:
    explicit MountWatch(const std::string& mountTable = "/proc/self/mountinfo");

    int fd() const { return table_.get(); }  // -1 when the table cannot be opened
    // True once for each change signalled since the last call; never waits.
    bool changed();

private:
    UniqueFd table_;
};

}  // namespace shuttle

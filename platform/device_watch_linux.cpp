#include "platform/device_watch_linux.h"

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>

#include <cstring>

namespace shuttle {

void TtyDeviceWatch::UdevDeleter::operator()(udev* context) const { udev_unref(context); }
void TtyDeviceWatch::UdevDeleter::operator()(udev_monitor* monitor) const { udev_monitor_unref(monitor); }

TtyDeviceWatch::TtyDeviceWatch() : context_(udev_new()) {
    if (!context_) return;
    monitor_.reset(udev_monitor_new_from_netlink(context_.get(), "udev"));
    if (!monitor_) return;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_.get()) < 0)
        monitor_.reset();
}

TtyDeviceWatch::~TtyDeviceWatch() = default;

int TtyDeviceWatch::fd() const { return monitor_ ? udev_monitor_get_fd(monitor_.get()) : -1; }

bool TtyDeviceWatch::changed() {
    if (!monitor_) return false;
    bool cameOrWent = false;
    // The monitor's socket does not block: null once nothing waits.
    while (udev_device* device = udev_monitor_receive_device(monitor_.get())) {
        const char* action = udev_device_get_action(device);
        if (action != nullptr && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
            cameOrWent = true;
        udev_device_unref(device);
    }
    return cameOrWent;
}

MountWatch::MountWatch(const std::string& mountTable)
    : table_(::open(mountTable.c_str(), O_RDONLY | O_CLOEXEC)) {}

bool MountWatch::changed() {
    if (!table_) return false;
    pollfd table{table_.get(), POLLPRI, 0};
    return ::poll(&table, 1, 0) > 0 && (table.revents & (POLLPRI | POLLERR)) != 0;
}

}  // namespace shuttle

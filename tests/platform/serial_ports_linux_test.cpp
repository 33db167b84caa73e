// The Linux port table: what it lists and how, the numbers it gives, why an open fails.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/device_watch_linux.h"
#include "platform/serial_ports_linux.h"
#include "platform/unique_fd.h"

namespace shuttle {
namespace {

namespace fs = std::filesystem;

struct DeviceFolder {
    DeviceFolder() {
        std::string pattern = fs::temp_directory_path().string() + "/shuttle-dev-XXXXXX";
        path = ::mkdtemp(pattern.data());
    }
    ~DeviceFolder() { fs::remove_all(path); }
    void add(const std::string& name) { std::ofstream(path + "/" + name).put('x'); }
    std::string path;
};

std::vector<std::string> names(SerialPorts& ports) {
    std::vector<std::string> shown;
    for (uint32_t number : ports.presentPorts()) shown.push_back(ports.portName(number));
    return shown;
}

TEST(LinuxSerialPorts, ListsUsbSerialDevicesByStableNameOrAsNamedWithNumbersKeptForTheRun) {
    DeviceFolder dev;
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0", "tty1", "sda"}) dev.add(name);
    fs::create_directories(dev.path + "/serial/by-id");
    const std::string stable = dev.path + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    fs::create_symlink("../../ttyUSB0", stable);
    fs::create_symlink("../../ttyACM0", dev.path + "/serial/by-id/usb-Arduino_Uno_8573-if00");
    LinuxSerialPorts ports(dev.path);
    EXPECT_EQ(names(ports), (std::vector<std::string>{dev.path + "/serial/by-id/usb-Arduino_Uno_8573-if00", stable,
                                                      dev.path + "/ttyUSB1"}));
    const uint32_t ftdi = *ports.portNumber(stable);
    EXPECT_TRUE(ports.exists(ftdi));

    // A path named to the table (the saved port, a link simulator's terminal) is listed as named
    // while it exists, and numbers stay with their paths.
    const std::string simulated = dev.path + "/comA";
    const uint32_t named = *ports.portNumber(simulated);
    EXPECT_FALSE(ports.exists(named));
    EXPECT_EQ(ports.portName(ports.presentPorts().back()), dev.path + "/ttyUSB1");
    fs::create_symlink("ttyUSB1", simulated);
    EXPECT_EQ(names(ports), (std::vector<std::string>{simulated, dev.path + "/serial/by-id/usb-Arduino_Uno_8573-if00",
                                                      stable}));
    EXPECT_EQ(ports.portNumber(simulated), named);
    EXPECT_EQ(ports.portNumber(stable), ftdi);
    EXPECT_EQ(ports.portName(named), simulated);
    fs::remove(dev.path + "/ttyUSB0");
    EXPECT_FALSE(ports.exists(ftdi));
    EXPECT_EQ(names(ports).size(), 2u);
    for (const char* notAPath : {"COM5", "", "ttyUSB0"}) EXPECT_FALSE(ports.portNumber(notAPath)) << notAPath;
    EXPECT_EQ(ports.portName(999), "");

    SerialPorts& windowsNames = ports;  // the seam's own naming, which Windows keeps
    EXPECT_EQ(windowsNames.SerialPorts::portName(5), "COM5");
    EXPECT_EQ(windowsNames.SerialPorts::portNumber("COM12"), 12u);
    for (const char* other : {"COM", "COM1 ", "xCOM1", "COM-1", "COM99999999999"})
        EXPECT_FALSE(windowsNames.SerialPorts::portNumber(other)) << other;
}

// The user is told why a port does not open, above all when the dialout group is missing.
TEST(LinuxSerialPorts, AFailedOpenSaysWhy) {
    DeviceFolder dev;
    dev.add("ttyUSB0");  // a plain file: no serial line
    LinuxSerialPorts ports(dev.path);
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY));
    ASSERT_TRUE(master && ::grantpt(master.get()) == 0 && ::unlockpt(master.get()) == 0);
    const uint32_t terminal = *ports.portNumber(::ptsname(master.get()));
    auto open = [&](uint32_t number) {
        auto port = ports.open(number, kLinkPortSettings);
        return port ? SerialOpenFailure::None : ports.lastOpenFailure();
    };
    auto held = ports.open(terminal, kLinkPortSettings);
    ASSERT_TRUE(held);
    EXPECT_EQ(open(terminal), SerialOpenFailure::Busy);
    EXPECT_EQ(open(*ports.portNumber(dev.path + "/ttyUSB0")), SerialOpenFailure::Refused);
    EXPECT_EQ(open(*ports.portNumber(dev.path + "/ttyUSB9")), SerialOpenFailure::Absent);
    EXPECT_EQ(open(12345), SerialOpenFailure::Absent);
    held->close();
    EXPECT_EQ(open(terminal), SerialOpenFailure::None);

    // A device the user may not open, as a user outside the dialout group meets it.
    ::chmod(::ptsname(master.get()), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        ::_exit(open(terminal) == SerialOpenFailure::NoPermission ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(std::string(serialOpenFailureText(SerialOpenFailure::NoPermission)).find("dialout group"), std::string::npos);
}

TEST(LinuxSerialPorts, TheDeviceWatchesWaitWithoutAnswerUntilSomethingChanges) {
    TtyDeviceWatch ttys;  // without udev there is nothing to wait on, which is no error
    EXPECT_FALSE(ttys.changed());
    if (ttys.fd() >= 0) {
        pollfd ready{ttys.fd(), POLLIN, 0};
        EXPECT_EQ(::poll(&ready, 1, 0), 0);
    }
    MountWatch mounts;
    ASSERT_GE(mounts.fd(), 0);
    EXPECT_FALSE(mounts.changed());
    EXPECT_FALSE(MountWatch("/nonexistent/mountinfo").changed());
}

}  // namespace
}  // namespace shuttle

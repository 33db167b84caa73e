#include <gtest/gtest.h>

#include <functional>

#include "discovery/store_drives.h"
#include "support/replay_device_query.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

using namespace testing;

const std::string kStickPath =
    "\\\\?\\usbstor#disk&ven_generic&prod_flash_disk&rev_1.00#0123456789ab&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const std::string kStickId = "USBSTOR\\DISK&VEN_GENERIC&PROD_FLASH_DISK&REV_1.00\\0123456789AB&0";
const std::string kSystemDiskPath =
    "\\\\?\\scsi#disk&ven_nvme&prod_samsung#4&2a5b&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

// A machine with a fixed system disk C: (disk 0) and a USB stick (disk 1) mounted as E:.
RecordedMachine machineWithStick(const std::string& parent = "USB\\VID_1234&PID_ABCD\\0123456789AB") {
    RecordedMachine machine;
    machine.drive("C:\\", kDriveFixed);
    machine.number("\\\\.\\C:", 0);
    machine.drive("E:\\", kDriveRemovable);
    machine.number("\\\\.\\E:", 1);
    machine.interfaces.push_back(RecordedInterface{200, kSystemDiskPath, 10});
    machine.interfaces.push_back(RecordedInterface{220, kStickPath, 11});
    machine.number(kSystemDiskPath, 0);
    machine.number(kStickPath, 1);
    machine.parents[10] = "PCI\\VEN_144D&DEV_A808\\4&2A5B";
    machine.parents[11] = parent;
    machine.devices.push_back(RecordedDevice{"SCSI\\DISK&VEN_NVME&PROD_SAMSUNG\\4&2A5B&0&000000", "Samsung SSD", "Disk drive"});
    machine.devices.push_back(RecordedDevice{kStickId, "Generic Flash Disk USB Device", "Disk drive"});
    return machine;
}

std::vector<StoreDrive> find(RecordedMachine machine, bool* result = nullptr) {
    ReplayDeviceQuery query(std::move(machine));
    std::vector<StoreDrive> drives{StoreDrive{}};  // emptied first
    bool ok = findStoreDrives(query, drives);
    if (result != nullptr) *result = ok;
    EXPECT_EQ(query.openSets(), 0) << "every device set is released";
    return drives;
}

TEST(StoreDrives, UsbStickPartitionsAreListedAndTheFixedDiskIsNot) {
    EXPECT_EQ(interfacePathToInstanceId(kStickPath), kStickId);
    EXPECT_EQ(interfacePathToInstanceId(kSystemDiskPath), "");
    EXPECT_EQ(interfacePathToInstanceId("\\\\?\\usbstor#disk&x#1"), "USBSTOR\\DISK&X\\1");
    EXPECT_EQ(interfacePathToInstanceId("{usbstor"), "");
    EXPECT_EQ(interfacePathToInstanceId(""), "");
    bool ok = false;
    std::vector<StoreDrive> drives = find(machineWithStick(), &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(drives.size(), 1u);
    const StoreDrive& stick = drives[0];
    EXPECT_EQ(stick.rootPath + "|" + stick.name, "E:\\|Generic Flash Disk USB Device");
    EXPECT_EQ(stick.parentInstanceId, "USB\\VID_1234&PID_ABCD\\0123456789AB");
    EXPECT_EQ(stick.interfacePath + "|" + stick.instanceId, kStickPath + "|" + kStickId);
    EXPECT_EQ(stick.vendorId + "|" + stick.productId, "1234|ABCD");
    EXPECT_TRUE(stick.isUsbStorage);
    // Two partitions of one stick give two records with one name; the name falls back to the
    // description and then to nothing.
    RecordedMachine machine = machineWithStick();
    machine.drive("F:\\", kDriveRemovable);
    machine.number("\\\\.\\F:", 1);
    machine.devices[1].friendlyName.reset();
    drives = find(machine);
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].rootPath + drives[1].rootPath, "E:\\F:\\");
    for (const StoreDrive& drive : drives) {
        EXPECT_EQ(drive.name, "Disk drive");
        EXPECT_EQ(drive.vendorId + drive.productId, "1234ABCD");
    }
    machine.devices[1].description.reset();
    EXPECT_EQ(find(machine).at(0).name, "");
}

TEST(StoreDrives, ParentIdShapesDecideVendorAndProduct) {
    struct Case {
        std::string parent, vendor, product;
    };
    const std::vector<Case> cases = {
        {"USB\\VID_1234&PID_ABCD\\X", "1234", "ABCD"}, {"USB\\VID_1234&PID_ABCD&MI_00\\X", "1234", "ABCD"},
        {"XYZ\\A_B&C_D", "B", "D"},  // the text before the underscores is not looked at
        {"USB", "", ""}, {"USB\\", "", ""}, {"USB\\VID_1234_A&PID_ABCD\\X", "", ""},
        {"USB\\VID_1234&PID_ABCD_\\X", "1234", "ABCD"},  // a trailing delimiter adds no piece
        {"USB\\VID_1234&PID_AB_CD\\X", "", ""}, {"USB\\VID_1234\\X", "", ""}, {"USB\\&PID_ABCD\\X", "", ""},
        {"USB\\VID1234&PID_ABCD\\X", "", ""}, {"", "", ""}};
    for (const Case& c : cases) {
        StoreDrive record;
        record.parentInstanceId = c.parent;
        readVendorAndProduct(record);
        EXPECT_EQ(record.vendorId, c.vendor) << c.parent;
        EXPECT_EQ(record.productId, c.product) << c.parent;
        bool listed = !find(machineWithStick(c.parent)).empty();
        EXPECT_EQ(listed, !c.product.empty()) << c.parent;
    }
}

TEST(StoreDrives, OnlyLettersCToZAreAskedAndOnlyUsableOnesOpened) {
    RecordedMachine machine = machineWithStick();
    machine.drive("A:\\", kDriveRemovable);
    machine.drive("B:\\", kDriveRemovable);
    machine.number("\\\\.\\A:", 1);
    machine.drive("D:\\", 5);  // CD-ROM
    machine.drive("G:\\", kDriveRemovable);  // no volume to open
    ReplayDeviceQuery query(machine);
    std::vector<StoreDrive> drives;
    findStoreDrives(query, drives);
    std::vector<std::string> typesAsked, volumesOpened;
    for (const std::string& question : query.asked()) {
        if (question.rfind("type ", 0) == 0) typesAsked.push_back(question.substr(5));
        if (question.rfind("number \\\\.\\", 0) == 0) volumesOpened.push_back(question.substr(7));
    }
    ASSERT_EQ(typesAsked.size(), 24u);
    EXPECT_EQ(typesAsked.front(), "C:\\");
    EXPECT_EQ(typesAsked.back(), "Z:\\");
    EXPECT_EQ(volumesOpened, (std::vector<std::string>{"\\\\.\\C:", "\\\\.\\E:", "\\\\.\\G:"}));
    ASSERT_EQ(drives.size(), 1u);
}

// No device number, interface, present disk or readable parent, or a USB disk behind a SCSI path.
TEST(StoreDrives, DrivesThatCannotBeTracedToAUsbStickOrAFailedDeviceSetGiveNothing) {
    const std::string uasPath = "\\\\?\\scsi#disk&ven_generic&prod_uas#5&1&0&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    const std::vector<std::function<void(RecordedMachine&)>> changes = {
        [](RecordedMachine& m) { m.number("\\\\.\\E:", -1); },     // the control call failed
        [](RecordedMachine& m) { m.interfaces[1].detailSize = 1025; },  // detail too large
        [](RecordedMachine& m) { m.interfaces[1].detailSize = 0; },
        [](RecordedMachine& m) { m.devices.pop_back(); },  // the disk is no longer present
        [](RecordedMachine& m) { m.parents.erase(11); },
        [&](RecordedMachine& m) {
            m.interfaces[1].path = uasPath;
            m.number(uasPath, 1);
            m.devices[1].instanceId = "SCSI\\DISK&VEN_GENERIC&PROD_UAS\\5&1&0&0";
        },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        RecordedMachine machine = machineWithStick();
        changes[i](machine);
        EXPECT_TRUE(find(machine).empty()) << i;
    }
    ReplayDeviceQuery query(machineWithStick());
    StoreDrive record;
    EXPECT_FALSE(findDiskInterface(query, 7, record));
    EXPECT_EQ(record.interfacePath, "");
    // A failed device set is reported.
    RecordedMachine machine = machineWithStick();
    machine.setsFail = true;
    machine.setError = 13;
    testing::TraceCapture trace;
    bool ok = true;
    EXPECT_TRUE(find(machine, &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_EQ(trace.out(), "SetupDiGetClassDevs failed with error code : 13\n");
}

}  // namespace
}  // namespace shuttle

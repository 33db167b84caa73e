#include <windows.h>
// windows.h first: the SetupAPI and configuration manager headers build on it.
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>

#include <cstddef>
#include <cwchar>
#include <vector>

#include "platform/device_query.h"
#include "platform/win_handles.h"
#include "base/utf8.h"

namespace shuttle {
namespace {

// GUID_DEVINTERFACE_DISK {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}.
const GUID kDiskInterfaceClass = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
constexpr DWORD kIdLength = 260;        // characters of an instance ID buffer
constexpr DWORD kPropertyBytes = 520;   // bytes of a property buffer

struct DevInfoTraits {
    using Handle = HDEVINFO;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void close(Handle h) { SetupDiDestroyDeviceInfoList(h); }
};
using ScopedDevInfo = ScopedWinHandle<DevInfoTraits>;

std::wstring wideOf(const std::string& utf8) {
    std::u16string text = fromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

// UTF-8 of at most `capacity` wide characters, stopping at the first zero.
std::string narrowOf(const wchar_t* text, size_t capacity) {
    size_t length = wcsnlen(text, capacity);
    return toUtf8(std::u16string(reinterpret_cast<const char16_t*>(text), length));
}

class WinDiskDeviceSet final : public DiskDeviceSet {
public:
    explicit WinDiskDeviceSet(ScopedDevInfo set) : set_(std::move(set)) {}

    bool hasInterface(uint32_t index) override { return interfaceData(index) != nullptr; }

    uint32_t interfaceDetailSize(uint32_t index) override {
        SP_DEVICE_INTERFACE_DATA* data = interfaceData(index);
        if (data == nullptr) return 0;
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set_.get(), data, nullptr, 0, &required, nullptr);
        return required;
    }

    bool interfaceDetail(uint32_t index, uint32_t detailSize, DiskInterfaceDetail& detail) override {
        SP_DEVICE_INTERFACE_DATA* data = interfaceData(index);
        const size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
        if (data == nullptr || detailSize <= pathOffset) return false;
        std::vector<DWORD> storage((detailSize + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
        auto* buffer = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        buffer->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiGetDeviceInterfaceDetailW(set_.get(), data, buffer, detailSize, nullptr, &device)) return false;
        detail.path = narrowOf(buffer->DevicePath, (detailSize - pathOffset) / sizeof(wchar_t));
        detail.deviceInstance = device.DevInst;
        return true;
    }

    bool parentInstanceId(uint32_t deviceInstance, std::string& id) override {
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, deviceInstance, 0) != CR_SUCCESS) return false;
        wchar_t text[kIdLength + 1] = {};
        if (CM_Get_Device_IDW(parent, text, kIdLength, 0) != CR_SUCCESS) return false;
        id = narrowOf(text, kIdLength);
        return true;
    }

    bool hasDevice(uint32_t index) override { return deviceData(index) != nullptr; }

    bool deviceInstanceId(uint32_t index, std::string& id) override {
        SP_DEVINFO_DATA* device = deviceData(index);
        if (device == nullptr) return false;
        wchar_t text[kIdLength + 1] = {};
        if (!SetupDiGetDeviceInstanceIdW(set_.get(), device, text, kIdLength, nullptr)) return false;
        id = narrowOf(text, kIdLength);
        return true;
    }

    bool deviceProperty(uint32_t index, uint32_t property, std::string& text) override {
        SP_DEVINFO_DATA* device = deviceData(index);
        if (device == nullptr) return false;
        wchar_t buffer[kPropertyBytes / sizeof(wchar_t) + 1] = {};
        DWORD type = 0;
        DWORD required = 0;
        if (!SetupDiGetDeviceRegistryPropertyW(set_.get(), device, property, &type, reinterpret_cast<BYTE*>(buffer),
                                               kPropertyBytes, &required))
            return false;
        // The stored text need not end with a zero: never read past what was filled.
        DWORD filled = required < kPropertyBytes ? required : kPropertyBytes;
        text = narrowOf(buffer, filled / sizeof(wchar_t));
        return true;
    }

private:
    SP_DEVICE_INTERFACE_DATA* interfaceData(uint32_t index) {
        if (interfaceIndex_ != index) {
            interface_ = SP_DEVICE_INTERFACE_DATA{};
            interface_.cbSize = sizeof interface_;
            if (!SetupDiEnumDeviceInterfaces(set_.get(), nullptr, &kDiskInterfaceClass, index, &interface_)) {
                interfaceIndex_ = kNone;
                return nullptr;
            }
            interfaceIndex_ = index;
        }
        return &interface_;
    }

    SP_DEVINFO_DATA* deviceData(uint32_t index) {
        if (deviceIndex_ != index) {
            device_ = SP_DEVINFO_DATA{};
            device_.cbSize = sizeof device_;
            if (!SetupDiEnumDeviceInfo(set_.get(), index, &device_)) {
                deviceIndex_ = kNone;
                return nullptr;
            }
            deviceIndex_ = index;
        }
        return &device_;
    }

    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    ScopedDevInfo set_;
    SP_DEVICE_INTERFACE_DATA interface_{};
    uint32_t interfaceIndex_ = kNone;
    SP_DEVINFO_DATA device_{};
    uint32_t deviceIndex_ = kNone;
};

class WinDeviceQuery final : public DeviceQuery {
public:
    uint32_t driveType(const std::string& root) override { return GetDriveTypeW(wideOf(root).c_str()); }

    DeviceNumberAnswer deviceNumber(const std::string& path) override {
        DeviceNumberAnswer answer;
        ScopedHandle device(CreateFileW(wideOf(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        if (!device) return answer;
        answer.opened = true;
        STORAGE_DEVICE_NUMBER number{};
        DWORD returned = 0;
        if (DeviceIoControl(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                            &returned, nullptr))
            answer.number = static_cast<int32_t>(number.DeviceNumber);
        return answer;
    }

    std::unique_ptr<DiskDeviceSet> openPresentDisks() override {
        ScopedDevInfo set(
            SetupDiGetClassDevsW(&kDiskInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
        if (!set) {
            lastError_ = GetLastError();  // kept: the set's destructor may change GetLastError
            return nullptr;
        }
        return std::make_unique<WinDiskDeviceSet>(std::move(set));
    }

    uint32_t lastError() override { return lastError_; }

private:
    static thread_local uint32_t lastError_;
};

thread_local uint32_t WinDeviceQuery::lastError_ = 0;

}  // namespace

DeviceQuery& systemDeviceQuery() {
    static WinDeviceQuery query;
    return query;
}

}  // namespace shuttle

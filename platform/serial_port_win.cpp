#include <windows.h>

#include <cstdio>

#include "platform/io_gate.h"
#include "platform/serial_port.h"
#include "platform/win_handles.h"

namespace shuttle {
namespace {

BYTE parityCode(SerialParity parity) {
    switch (parity) {
        case SerialParity::Odd: return ODDPARITY;
        case SerialParity::Even: return EVENPARITY;
        default: return NOPARITY;
    }
}

BYTE stopBitsCode(SerialStopBits stopBits) {
    switch (stopBits) {
        case SerialStopBits::OneAndHalf: return ONE5STOPBITS;
        case SerialStopBits::Two: return TWOSTOPBITS;
        default: return ONESTOPBIT;
    }
}

// Line settings are changed on what the driver reports, so flow control and the special
// characters stay as they were.
bool applyLineSettings(HANDLE port, const SerialPortSettings& settings) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) return false;
    dcb.BaudRate = settings.baudRate;
    dcb.ByteSize = settings.dataBits;
    dcb.Parity = parityCode(settings.parity);
    dcb.StopBits = stopBitsCode(settings.stopBits);
    return SetCommState(port, &dcb) != FALSE;
}

bool applyTimeouts(HANDLE port, const SerialTimeouts& limits) {
    COMMTIMEOUTS timeouts{};
    GetCommTimeouts(port, &timeouts);
    timeouts.ReadIntervalTimeout = limits.readIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = limits.readTotalMultiplierMs;
    timeouts.ReadTotalTimeoutConstant = limits.readTotalConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = limits.writeTotalMultiplierMs;
    timeouts.WriteTotalTimeoutConstant = limits.writeTotalConstantMs;
    return SetCommTimeouts(port, &timeouts) != FALSE;
}

// A COM handle in blocking (non-overlapped) mode. CancelIoEx ends a blocked read on Windows
// but not under Wine, where the read runs to its time-out: the gate lets close() return at
// once either way and leaves CloseHandle to the operation still running.
class WinSerialPort final : public SerialPort {
public:
    explicit WinSerialPort(ScopedHandle handle) : handle_(std::move(handle)) {}
    ~WinSerialPort() override { close(); }

    std::optional<size_t> write(const uint8_t* data, size_t size) override {
        IoGatePass pass(gate_, [this] { handle_.reset(); });
        if (!pass.entered()) return std::nullopt;
        DWORD written = 0;
        if (!WriteFile(handle_.get(), data, static_cast<DWORD>(size), &written, nullptr)) return std::nullopt;
        return written;
    }

    std::optional<size_t> read(uint8_t* buffer, size_t size) override {
        IoGatePass pass(gate_, [this] { handle_.reset(); });
        if (!pass.entered()) return std::nullopt;
        DWORD received = 0;
        if (!ReadFile(handle_.get(), buffer, static_cast<DWORD>(size), &received, nullptr)) return std::nullopt;
        return received;
    }

    bool purge() override {
        IoGatePass pass(gate_, [this] { handle_.reset(); });
        return pass.entered() &&
               PurgeComm(handle_.get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) != FALSE;
    }

    std::optional<SerialErrorState> clearErrors() override {
        IoGatePass pass(gate_, [this] { handle_.reset(); });
        if (!pass.entered()) return std::nullopt;
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(handle_.get(), &errors, &status)) return std::nullopt;
        return SerialErrorState{errors, status.cbInQue};
    }

    bool flush() override {
        IoGatePass pass(gate_, [this] { handle_.reset(); });
        return pass.entered() && FlushFileBuffers(handle_.get()) != FALSE;
    }

    void cancel() override {
        IoGatePass pass(gate_, [this] { handle_.reset(); });
        if (pass.entered()) CancelIoEx(handle_.get(), nullptr);
    }

    void close() override {
        if (gate_.isShut()) return;
        cancel();
        if (gate_.shut()) handle_.reset();
    }

private:
    ScopedHandle handle_;
    IoGate gate_;
};

thread_local SerialOpenFailure lastFailure = SerialOpenFailure::None;

std::shared_ptr<SerialPort> failOpen(SerialOpenFailure failure) {
    lastFailure = failure;
    return nullptr;
}

// A COM port another program holds answers "access denied".
SerialOpenFailure openFailureOf(DWORD error) {
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return SerialOpenFailure::Absent;
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) return SerialOpenFailure::Busy;
    return SerialOpenFailure::Other;
}

class WinSerialPorts final : public SerialPorts {
public:
    std::shared_ptr<SerialPort> open(uint32_t number, const SerialPortSettings& settings) override {
        char path[16];
        int length = std::snprintf(path, sizeof path, "\\\\.\\COM%u", number);
        if (length < 0 || static_cast<size_t>(length) >= sizeof path) return failOpen(SerialOpenFailure::Absent);
        ScopedHandle handle(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle) return failOpen(openFailureOf(GetLastError()));
        if (!FlushFileBuffers(handle.get())) return failOpen(SerialOpenFailure::Other);
        if (!applyLineSettings(handle.get(), settings)) return failOpen(SerialOpenFailure::Refused);
        if (!applyTimeouts(handle.get(), settings.timeouts)) return failOpen(SerialOpenFailure::Refused);
        lastFailure = SerialOpenFailure::None;
        return std::make_shared<WinSerialPort>(std::move(handle));
    }

    SerialOpenFailure lastOpenFailure() override { return lastFailure; }

    // The device namespace knows every COM port; a name whose target list does not fit the
    // buffer exists all the same.
    bool exists(uint32_t number) override {
        wchar_t name[16];
        std::swprintf(name, 16, L"COM%u", number);
        wchar_t target[64];
        if (QueryDosDeviceW(name, target, 64) != 0) return true;
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    }
};

}  // namespace

std::unique_ptr<SerialPorts> makeSystemSerialPorts() { return std::make_unique<WinSerialPorts>(); }

}  // namespace shuttle

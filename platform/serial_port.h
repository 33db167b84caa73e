#pragma once
// The serial port of the link device as the link protocol needs it: plain blocking reads and
// writes bounded by the port's time-outs, purge, the error state with the input-queue count,
// cancel and close. The Win32 side wraps a COM handle; the POSIX side a tty or pseudo-terminal.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace shuttle {

// No port: the saved "Com" value when none is chosen, and the port in use when none is open.
constexpr uint32_t kNoComPort = 0xFFFFFFFFu;

// Read and write limits with the meaning of the Win32 COMMTIMEOUTS fields: a read of n bytes
// gives up after readTotalConstantMs + n * readTotalMultiplierMs, or earlier when more than
// readIntervalMs pass between two received bytes; a write of n bytes after
// writeTotalConstantMs + n * writeTotalMultiplierMs.
struct SerialTimeouts {
    uint32_t readIntervalMs;
    uint32_t readTotalMultiplierMs;
    uint32_t readTotalConstantMs;
    uint32_t writeTotalMultiplierMs;
    uint32_t writeTotalConstantMs;
};

enum class SerialParity : uint8_t { None, Odd, Even };
enum class SerialStopBits : uint8_t { One, OneAndHalf, Two };

struct SerialPortSettings {
    uint32_t baudRate;
    uint8_t dataBits;
    SerialParity parity;
    SerialStopBits stopBits;
    SerialTimeouts timeouts;
};

// What the link device expects: 256000 baud, 8N1; a 4-byte answer head is given up after
// 240 ms, the 60-byte rest after 800 ms; a 64-byte frame may take 2120 ms to leave.
constexpr SerialPortSettings kLinkPortSettings{256000, 8, SerialParity::None, SerialStopBits::One, {10, 10, 200, 30, 200}};

// The port's error state, read and cleared in one call (ClearCommError).
struct SerialErrorState {
    uint32_t errors = 0;      // line error bits (framing, overrun, parity, ...); 0 = none
    uint32_t inputQueue = 0;  // bytes received and not yet read
};

// One open port. Every operation may be called from any thread; close() may come from another
// thread while a read or write is in progress: that operation ends (at the latest at its
// time-out) and the handle is released when it has.
class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Writes in one call; the number of bytes accepted before the write time-out, or nothing
    // when the write failed.
    virtual std::optional<size_t> write(const uint8_t* data, size_t size) = 0;
    // Reads up to `size` bytes in one call; returns when all arrived or a time-out expired, with
    // the number of bytes that arrived (possibly 0), or nothing when the read failed.
    virtual std::optional<size_t> read(uint8_t* buffer, size_t size) = 0;
    // Aborts pending transfers and empties both the transmit and the receive queue.
    virtual bool purge() = 0;
    // Reads and clears the error state; nothing when the port cannot tell (e.g. gone).
    virtual std::optional<SerialErrorState> clearErrors() = 0;
    // Waits until everything written has left.
    virtual bool flush() = 0;
    // Ends the reads and writes in progress on this port.
    virtual void cancel() = 0;
    // Closes the port; later operations fail at once.
    virtual void close() = 0;
};

// Why a port could not be opened.
enum class SerialOpenFailure : uint8_t {
    None,
    Absent,        // no such device (any more)
    Busy,          // another program holds it
    NoPermission,  // the user may not open it (on Linux: not in the dialout group)
    Refused,       // not a serial line, or it refused the line settings
    Other,
};

// What the user is told about a failed open: a sentence, or "" for None.
const char* serialOpenFailureText(SerialOpenFailure failure);

// The serial ports of this machine. Each port has a number, which the program keeps while it
// runs, and a name (UTF-8), which the user sees and the settings keep: "COM5" on Windows (the
// number is the port's own), the device path on Linux (the number is given by a table of this
// run).
class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    // Opens port `number` exclusively and applies `settings`; null when the port is absent,
    // busy, or refuses any of the settings (a half-configured port is closed again). Then
    // lastOpenFailure() tells why.
    virtual std::shared_ptr<SerialPort> open(uint32_t number, const SerialPortSettings& settings) = 0;
    // Whether port `number` names a device on this machine.
    virtual bool exists(uint32_t number) = 0;

    // The ports present now, in the order the user is shown them. By default COM1 to COM255
    // where exists() holds.
    virtual std::vector<uint32_t> presentPorts();
    // The name of port `number`; by default "COM<number>".
    virtual std::string portName(uint32_t number);
    // The number of the port called `name`; nothing when `name` cannot name a port here. By
    // default "COM<n>" (exactly: no other text before or after).
    virtual std::optional<uint32_t> portNumber(const std::string& name);
    // Why this thread's last open() gave null (Other where the system does not say).
    virtual SerialOpenFailure lastOpenFailure() { return SerialOpenFailure::Other; }
};

// "COM<number>" and back: the Windows names of serial ports.
std::string windowsPortName(uint32_t number);
std::optional<uint32_t> parseWindowsPortName(const std::string& name);

// The real ports: COM devices on Windows; on Linux the serial devices and the paths the user
// names (see platform/serial_ports_linux.h).
std::unique_ptr<SerialPorts> makeSystemSerialPorts();

}  // namespace shuttle

// The settings of a port as plain values, and how they become the driver's device-control and
// time-out records, event masks and flag sets. Portable: the records mirror the Win32 DCB and
// COMMTIMEOUTS field by field, and a Windows test checks them against the real structures.
#pragma once

#include <cstdint>

#include "serial/serial_types.h"

namespace serial {

struct ParitySettings {
    ParityBits bits = ParityBits::prNone;
    bool check = false;
    bool replace = false;
    std::uint8_t replaceChar = 0;
    friend bool operator==(const ParitySettings&, const ParitySettings&) = default;
};

struct FlowControlSettings {
    bool outCTSFlow = false;
    bool outDSRFlow = false;
    DTRFlowControl controlDTR = DTRFlowControl::dtrDisable;
    RTSFlowControl controlRTS = RTSFlowControl::rtsDisable;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    std::uint8_t xonChar = 17;
    std::uint8_t xoffChar = 19;
    friend bool operator==(const FlowControlSettings&, const FlowControlSettings&) = default;
};

// Milliseconds; -1 stands for "no limit" (MAXDWORD in the record).
struct TimeoutSettings {
    std::int32_t readInterval = -1;
    std::int32_t readTotalMultiplier = 0;
    std::int32_t readTotalConstant = 0;
    std::int32_t writeTotalMultiplier = 100;
    std::int32_t writeTotalConstant = 1000;
    friend bool operator==(const TimeoutSettings&, const TimeoutSettings&) = default;
};

struct BufferSettings {
    std::int32_t inputSize = 1024;
    std::int32_t outputSize = 1024;
    friend bool operator==(const BufferSettings&, const BufferSettings&) = default;
};

// Everything the device-control record is built from.
struct LineSettings {
    BaudRate baudRate = BaudRate::br9600;
    std::int32_t customBaudRate = 9600;
    StopBits stopBits = StopBits::sbOneStopBit;
    DataBits dataBits = DataBits::dbEight;
    bool discardNull = false;
    std::uint8_t eventChar = 0;
    ParitySettings parity;
    FlowControlSettings flowControl;
    std::int32_t inputSize = 1024;
};

// Field for field the Win32 DCB, with its bit fields gathered in `flags`.
struct DeviceControlRecord {
    std::uint32_t length = 28;
    std::uint32_t baudRate = 0;
    std::uint32_t flags = 0;
    std::uint16_t reserved = 0;
    std::uint16_t xonLim = 0;
    std::uint16_t xoffLim = 0;
    std::uint8_t byteSize = 0;
    std::uint8_t parity = 0;
    std::uint8_t stopBits = 0;
    std::uint8_t xonChar = 0;
    std::uint8_t xoffChar = 0;
    std::uint8_t errorChar = 0;
    std::uint8_t eofChar = 0;
    std::uint8_t evtChar = 0;
    std::uint16_t reserved1 = 0;
    friend bool operator==(const DeviceControlRecord&, const DeviceControlRecord&) = default;
};

// Device-control flag bits, in the DCB's bit-field order.
namespace dcb_flags {
constexpr std::uint32_t kBinary = 0x0001;
constexpr std::uint32_t kParity = 0x0002;
constexpr std::uint32_t kOutxCtsFlow = 0x0004;
constexpr std::uint32_t kOutxDsrFlow = 0x0008;
constexpr std::uint32_t kDtrControlEnable = 0x0010;
constexpr std::uint32_t kDtrControlHandshake = 0x0020;
constexpr std::uint32_t kDsrSensitivity = 0x0040;
constexpr std::uint32_t kTxContinueOnXoff = 0x0080;
constexpr std::uint32_t kOutX = 0x0100;
constexpr std::uint32_t kInX = 0x0200;
constexpr std::uint32_t kErrorChar = 0x0400;
constexpr std::uint32_t kNull = 0x0800;
constexpr std::uint32_t kRtsControlEnable = 0x1000;
constexpr std::uint32_t kRtsControlHandshake = 0x2000;
constexpr std::uint32_t kRtsControlToggle = 0x3000;
}  // namespace dcb_flags

// Field for field the Win32 COMMTIMEOUTS.
struct TimeoutRecord {
    std::uint32_t readIntervalTimeout = 0;
    std::uint32_t readTotalTimeoutMultiplier = 0;
    std::uint32_t readTotalTimeoutConstant = 0;
    std::uint32_t writeTotalTimeoutMultiplier = 0;
    std::uint32_t writeTotalTimeoutConstant = 0;
    friend bool operator==(const TimeoutRecord&, const TimeoutRecord&) = default;
};

// The rate in bits per second that the driver is given.
std::uint32_t baudRateValue(BaudRate rate, std::int32_t customBaudRate);

DeviceControlRecord buildDeviceControlRecord(const LineSettings& settings);
TimeoutRecord buildTimeoutRecord(const TimeoutSettings& timeouts);

// Event set <-> EV_ mask; bits outside the ten events are ignored both ways.
std::uint32_t eventsToMask(SerialEvents events);
SerialEvents maskToEvents(std::uint32_t mask);
// The EV_ bit of one event.
std::uint32_t eventMaskBit(SerialEvent event);

// CE_ flags from ClearCommError; a parity error counts only when parity is checked.
LineErrors lineErrorsFromFlags(std::uint32_t flags, bool parityCheck);
// MS_*_ON bits from GetCommModemStatus.
LineSignals lineSignalsFromModemStatus(std::uint32_t status);

// The flow-control summary read from the fields, and the fields that setting it produces.
FlowControl flowControlSummary(const FlowControlSettings& flow);
void applyFlowControlSummary(FlowControlSettings& flow, FlowControl summary);

// Queue sizes are kept even: an odd positive size is rounded down.
std::int32_t evenQueueSize(std::int32_t size);

}  // namespace serial

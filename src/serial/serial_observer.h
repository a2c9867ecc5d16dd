// Someone who follows a port without being its owner: the port tells its observers, in the order
// they were added, before its own event properties fire.
#pragma once

#include <cstdint>
#include <functional>

namespace serial {

class SerialPort;

// Every callback is optional.
struct SerialPortObserver {
    std::function<void(SerialPort&, bool on)> onConnectionChanged;
    std::function<void(SerialPort&, const std::uint8_t* buffer, std::int32_t count)> onDataReceived;
    std::function<void(SerialPort&, const std::uint8_t* buffer, std::int32_t count)> onDataSent;
    std::function<void(SerialPort&)> onTxEmpty;
    std::function<void(SerialPort&)> onRxFlag;
    std::function<void(SerialPort&, bool on)> onCTSChange;
    std::function<void(SerialPort&, bool on)> onDSRChange;
    std::function<void(SerialPort&, bool on)> onRLSDChange;
    std::function<void(SerialPort&)> onRing;
    std::function<void(SerialPort&, bool on)> onTxActivity;
    std::function<void(SerialPort&, bool on)> onRxActivity;
};

}  // namespace serial

// Telling others about the port: the observer list and the per-event hooks, each of which fires
// the event property of its name when one is assigned.
#include <algorithm>

#include "serial/serial_port.h"

namespace serial {

void SerialPort::addObserver(SerialPortObserver* observer) {
    if (!observer || std::ranges::find(observers_, observer) != observers_.end()) {
        return;
    }
    observers_.push_back(observer);
    observerWantsData_ = std::ranges::any_of(
        observers_, [](const SerialPortObserver* o) { return bool(o->onDataReceived); });
}

void SerialPort::removeObserver(SerialPortObserver* observer) {
    std::erase(observers_, observer);
    observerWantsData_ = std::ranges::any_of(
        observers_, [](const SerialPortObserver* o) { return bool(o->onDataReceived); });
}

void SerialPort::triggerAfterClose() {
    if (onAfterClose) {
        onAfterClose(*this);
    }
}
void SerialPort::triggerAfterOpen() {
    if (onAfterOpen) {
        onAfterOpen(*this);
    }
}
void SerialPort::triggerBeforeClose() {
    if (onBeforeClose) {
        onBeforeClose(*this);
    }
}
void SerialPort::triggerBeforeOpen() {
    if (onBeforeOpen) {
        onBeforeOpen(*this);
    }
}
void SerialPort::triggerRxChar(std::int32_t count) {
    if (onRxChar) {
        onRxChar(*this, count);
    }
}
void SerialPort::triggerRxBuf(const std::uint8_t* buffer, std::int32_t count) {
    if (onRxBuf) {
        onRxBuf(*this, buffer, count);
    }
}
void SerialPort::triggerTxEmpty() {
    if (onTxEmpty) {
        onTxEmpty(*this);
    }
}
void SerialPort::triggerBreak() {
    if (onBreak) {
        onBreak(*this);
    }
}
void SerialPort::triggerRing() {
    if (onRing) {
        onRing(*this);
    }
}
void SerialPort::triggerRxFlag() {
    if (onRxFlag) {
        onRxFlag(*this);
    }
}
void SerialPort::triggerCTSChange(bool on) {
    if (onCTSChange) {
        onCTSChange(*this, on);
    }
}
void SerialPort::triggerDSRChange(bool on) {
    if (onDSRChange) {
        onDSRChange(*this, on);
    }
}
void SerialPort::triggerError(LineErrors errors) {
    if (onError) {
        onError(*this, errors);
    }
}
void SerialPort::triggerRLSDChange(bool on) {
    if (onRLSDChange) {
        onRLSDChange(*this, on);
    }
}
void SerialPort::triggerRx80Full() {
    if (onRx80Full) {
        onRx80Full(*this);
    }
}

}  // namespace serial

#include "serial/serial_records.h"

#include <array>

namespace serial {
namespace {

constexpr std::array<std::uint32_t, 16> kBaudRates = {0,     110,    300,    600,   1200,  2400,
                                                      4800,  9600,   14400,  19200, 38400, 56000,
                                                      57600, 115200, 128000, 256000};

// EV_ bits by event ordinal.
constexpr std::array<std::uint32_t, 10> kEventBits = {
    0x0001,  // evRxChar
    0x0004,  // evTxEmpty
    0x0002,  // evRxFlag
    0x0100,  // evRing
    0x0040,  // evBreak
    0x0008,  // evCTS
    0x0010,  // evDSR
    0x0080,  // evError
    0x0020,  // evRLSD
    0x0400,  // evRx80Full
};

template <class E>
constexpr auto ordinal(E e) {
    return static_cast<std::size_t>(e);
}

}  // namespace

std::uint32_t baudRateValue(BaudRate rate, std::int32_t customBaudRate) {
    if (rate == BaudRate::brCustom) {
        return static_cast<std::uint32_t>(customBaudRate);
    }
    return kBaudRates.at(ordinal(rate));
}

DeviceControlRecord buildDeviceControlRecord(const LineSettings& s) {
    using namespace dcb_flags;
    const FlowControlSettings& flow = s.flowControl;
    DeviceControlRecord r;
    r.baudRate = baudRateValue(s.baudRate, s.customBaudRate);
    std::uint32_t flags = kBinary;
    if (s.parity.check) {
        flags |= kParity;
    }
    if (flow.outCTSFlow) {
        flags |= kOutxCtsFlow;
    }
    if (flow.outDSRFlow) {
        flags |= kOutxDsrFlow;
    }
    if (flow.controlDTR == DTRFlowControl::dtrEnable) {
        flags |= kDtrControlEnable;
    }
    if (flow.controlDTR == DTRFlowControl::dtrHandshake) {
        flags |= kDtrControlHandshake;
    }
    if (flow.dsrSensitivity) {
        flags |= kDsrSensitivity;
    }
    if (flow.txContinueOnXoff) {
        flags |= kTxContinueOnXoff;
    }
    if (flow.xonXoffOut) {
        flags |= kOutX;
    }
    if (flow.xonXoffIn) {
        flags |= kInX;
    }
    const bool replaceErrors = s.parity.check && s.parity.replace;
    if (replaceErrors) {
        flags |= kErrorChar;
    }
    if (s.discardNull) {
        flags |= kNull;
    }
    switch (flow.controlRTS) {
        case RTSFlowControl::rtsDisable:
            break;
        case RTSFlowControl::rtsEnable:
            flags |= kRtsControlEnable;
            break;
        case RTSFlowControl::rtsHandshake:
            flags |= kRtsControlHandshake;
            break;
        case RTSFlowControl::rtsToggle:
            flags |= kRtsControlToggle;
            break;
    }
    r.flags = flags;
    // The driver's limits are 16-bit; the truncation is what the record has always carried.
    r.xonLim = static_cast<std::uint16_t>(s.inputSize / 4);
    r.xoffLim = r.xonLim;
    r.byteSize = static_cast<std::uint8_t>(5 + ordinal(s.dataBits));
    r.parity = static_cast<std::uint8_t>(ordinal(s.parity.bits));
    r.stopBits = static_cast<std::uint8_t>(ordinal(s.stopBits));
    r.xonChar = flow.xonChar;
    r.xoffChar = flow.xoffChar;
    r.errorChar = replaceErrors ? s.parity.replaceChar : 0;
    r.evtChar = s.eventChar;
    return r;
}

TimeoutRecord buildTimeoutRecord(const TimeoutSettings& t) {
    // -1 passes through as 0xFFFFFFFF, the driver's "no limit".
    auto raw = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
    return {raw(t.readInterval), raw(t.readTotalMultiplier), raw(t.readTotalConstant),
            raw(t.writeTotalMultiplier), raw(t.writeTotalConstant)};
}

std::uint32_t eventMaskBit(SerialEvent event) {
    return kEventBits.at(ordinal(event));
}

std::uint32_t eventsToMask(SerialEvents events) {
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kEventBits.size(); ++i) {
        if (events.contains(static_cast<SerialEvent>(i))) {
            mask |= kEventBits[i];
        }
    }
    return mask;
}

SerialEvents maskToEvents(std::uint32_t mask) {
    SerialEvents events;
    for (std::size_t i = 0; i < kEventBits.size(); ++i) {
        if (mask & kEventBits[i]) {
            events.insert(static_cast<SerialEvent>(i));
        }
    }
    return events;
}

LineErrors lineErrorsFromFlags(std::uint32_t flags, bool parityCheck) {
    LineErrors errors;
    if (flags & 0x0001) {
        errors.insert(LineError::ceRxOver);
    }
    if (flags & 0x0002) {
        errors.insert(LineError::ceOverrun);
    }
    if ((flags & 0x0004) && parityCheck) {
        errors.insert(LineError::ceRxParity);
    }
    if (flags & 0x0008) {
        errors.insert(LineError::ceFrame);
    }
    if (flags & 0x0010) {
        errors.insert(LineError::ceBreak);
    }
    if (flags & 0x0100) {
        errors.insert(LineError::ceTxFull);
    }
    if (flags & 0x0400) {
        errors.insert(LineError::ceIO);
    }
    if (flags & 0x8000) {
        errors.insert(LineError::ceMode);
    }
    return errors;
}

LineSignals lineSignalsFromModemStatus(std::uint32_t status) {
    LineSignals signals;
    if (status & 0x10) {
        signals.insert(LineSignal::lsCTS);
    }
    if (status & 0x20) {
        signals.insert(LineSignal::lsDSR);
    }
    if (status & 0x40) {
        signals.insert(LineSignal::lsRing);
    }
    if (status & 0x80) {
        signals.insert(LineSignal::lsRLSD);
    }
    return signals;
}

FlowControl flowControlSummary(const FlowControlSettings& f) {
    using R = RTSFlowControl;
    if (f.controlRTS == R::rtsHandshake && f.outCTSFlow && !f.xonXoffIn && !f.xonXoffOut) {
        return FlowControl::fcHardware;
    }
    if (f.controlRTS == R::rtsDisable && !f.outCTSFlow && f.xonXoffIn && f.xonXoffOut) {
        return FlowControl::fcSoftware;
    }
    if (f.controlRTS == R::rtsDisable && !f.outCTSFlow && !f.xonXoffIn && !f.xonXoffOut) {
        return FlowControl::fcNone;
    }
    return FlowControl::fcCustom;
}

void applyFlowControlSummary(FlowControlSettings& f, FlowControl summary) {
    if (summary == FlowControl::fcCustom) {
        return;
    }
    f.controlRTS = RTSFlowControl::rtsDisable;
    f.outCTSFlow = false;
    f.xonXoffIn = false;
    f.xonXoffOut = false;
    if (summary == FlowControl::fcHardware) {
        f.controlRTS = RTSFlowControl::rtsHandshake;
        f.outCTSFlow = true;
    } else if (summary == FlowControl::fcSoftware) {
        f.xonXoffIn = true;
        f.xonXoffOut = true;
    }
}

std::int32_t evenQueueSize(std::int32_t size) {
    return size > 0 && size % 2 != 0 ? size - 1 : size;
}

}  // namespace serial

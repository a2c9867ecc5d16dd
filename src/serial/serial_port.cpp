// The port object and its properties: a setter stores the value and, while the port is open,
// hands its group of settings to the driver at once.
#include "serial/serial_port.h"

#include "serial/comm_api.h"
#include "serial/serial_device_closer.h"
#include "serial/serial_event_thread.h"

namespace serial {

SerialPort::SerialPort() : api_(systemCommApi()) {}

SerialPort::~SerialPort() {
    try {
        // A device that refuses to cancel its transfers is closed all the same.
        closePortImpl(true);
    } catch (...) {
        // Nothing may leave a destructor. Only a failing close handler gets here: the thread and
        // the device still go, without telling anyone again.
        releaseDevice();
    }
    // A close in the background finishes on its own thread, telling no one.
    closer_.reset();
    reapRetiredThreads(true);
}

void SerialPort::setCommApi(std::shared_ptr<CommApi> api) {
    if (connected_) {
        throw SerialPortError(SerialErrorCode::setWhileConnected);
    }
    api_ = api ? std::move(api) : systemCommApi();
}

HANDLE SerialPort::handle() const {
    return device_ && device_->valid() ? device_->get() : INVALID_HANDLE_VALUE;
}

void SerialPort::setConnected(bool value) {
    if (value == connected_) {
        return;
    }
    if (value) {
        openPort();
    } else {
        closePort();
    }
}

void SerialPort::setBaudRate(BaudRate value) {
    if (line_.baudRate == value) {
        return;
    }
    line_.baudRate = value;
    applyLineSettings();
}
void SerialPort::setCustomBaudRate(std::int32_t value) {
    if (line_.customBaudRate == value) {
        return;
    }
    line_.customBaudRate = value;
    applyLineSettings();
}
void SerialPort::setStopBits(StopBits value) {
    if (line_.stopBits == value) {
        return;
    }
    line_.stopBits = value;
    applyLineSettings();
}
void SerialPort::setDataBits(DataBits value) {
    if (line_.dataBits == value) {
        return;
    }
    line_.dataBits = value;
    applyLineSettings();
}
void SerialPort::setDiscardNull(bool value) {
    if (line_.discardNull == value) {
        return;
    }
    line_.discardNull = value;
    applyLineSettings();
}
void SerialPort::setEventChar(std::uint8_t value) {
    if (line_.eventChar == value) {
        return;
    }
    line_.eventChar = value;
    applyLineSettings();
}

void SerialPort::setPort(std::wstring value) {
    // Case matters: "com3" is another text, and reopening under it is harmless.
    if (value == port_) {
        return;
    }
    port_ = std::move(value);
    if (connected_) {
        closePort();
        openPort();
    }
}

void SerialPort::setSyncMethod(SyncMethod value) {
    if (value == syncMethod_) {
        return;
    }
    if (connected_) {
        throw SerialPortError(SerialErrorCode::setWhileConnected);
    }
    syncMethod_ = value;
}

void SerialPort::setParity(const SerialParity& value) {
    parity_ = value;
    applyLineSettings();
}
void SerialPort::setFlowControl(const SerialFlowControl& value) {
    flowControl_ = value;
    applyLineSettings();
}
void SerialPort::setTimeouts(const SerialTimeouts& value) {
    timeouts_ = value;
    applyTimeoutSettings();
}
void SerialPort::setBuffer(const SerialBuffer& value) {
    buffer_ = value;
    applyQueueSizes();
}

LineSettings SerialPort::lineSettings() const {
    LineSettings s = line_;
    s.parity = parity_.values();
    s.flowControl = flowControl_.values();
    s.inputSize = buffer_.inputSize();
    return s;
}

}  // namespace serial

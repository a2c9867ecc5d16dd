#include "serial/serial_settings.h"

#include "serial/serial_port.h"

namespace serial {

template <class T>
void SerialParity::change(T& field, T value) {
    if (field == value) {
        return;
    }
    field = value;
    if (port_) {
        port_->applyLineSettings();
    }
}
void SerialParity::setBits(ParityBits value) {
    change(values_.bits, value);
}
void SerialParity::setCheck(bool value) {
    change(values_.check, value);
}
void SerialParity::setReplace(bool value) {
    change(values_.replace, value);
}
void SerialParity::setReplaceChar(std::uint8_t value) {
    change(values_.replaceChar, value);
}

template <class T>
void SerialFlowControl::change(T& field, T value) {
    if (field == value) {
        return;
    }
    field = value;
    if (port_) {
        port_->applyLineSettings();
    }
}
void SerialFlowControl::setOutCTSFlow(bool value) {
    change(values_.outCTSFlow, value);
}
void SerialFlowControl::setOutDSRFlow(bool value) {
    change(values_.outDSRFlow, value);
}
void SerialFlowControl::setControlDTR(DTRFlowControl value) {
    change(values_.controlDTR, value);
}
void SerialFlowControl::setControlRTS(RTSFlowControl value) {
    change(values_.controlRTS, value);
}
void SerialFlowControl::setXonXoffOut(bool value) {
    change(values_.xonXoffOut, value);
}
void SerialFlowControl::setXonXoffIn(bool value) {
    change(values_.xonXoffIn, value);
}
void SerialFlowControl::setDSRSensitivity(bool value) {
    change(values_.dsrSensitivity, value);
}
void SerialFlowControl::setTxContinueOnXoff(bool value) {
    change(values_.txContinueOnXoff, value);
}
void SerialFlowControl::setXonChar(std::uint8_t value) {
    change(values_.xonChar, value);
}
void SerialFlowControl::setXoffChar(std::uint8_t value) {
    change(values_.xoffChar, value);
}

serial::FlowControl SerialFlowControl::flowControl() const {
    return flowControlSummary(values_);
}

void SerialFlowControl::setFlowControl(serial::FlowControl value) {
    applyFlowControlSummary(values_, value);
    if (port_) {
        port_->applyLineSettings();
    }
}

void SerialTimeouts::change(std::int32_t& field, std::int32_t value) {
    if (field == value) {
        return;
    }
    field = value;
    if (port_) {
        port_->applyTimeoutSettings();
    }
}
void SerialTimeouts::setReadInterval(std::int32_t value) {
    change(values_.readInterval, value);
}
void SerialTimeouts::setReadTotalMultiplier(std::int32_t value) {
    change(values_.readTotalMultiplier, value);
}
void SerialTimeouts::setReadTotalConstant(std::int32_t value) {
    change(values_.readTotalConstant, value);
}
void SerialTimeouts::setWriteTotalMultiplier(std::int32_t value) {
    change(values_.writeTotalMultiplier, value);
}
void SerialTimeouts::setWriteTotalConstant(std::int32_t value) {
    change(values_.writeTotalConstant, value);
}

void SerialBuffer::change(std::int32_t& field, std::int32_t value) {
    if (field == value) {
        return;
    }
    field = evenQueueSize(value);
    if (port_) {
        port_->applyQueueSizes();
    }
}
void SerialBuffer::setInputSize(std::int32_t value) {
    change(values_.inputSize, value);
}
void SerialBuffer::setOutputSize(std::int32_t value) {
    change(values_.outputSize, value);
}

}  // namespace serial

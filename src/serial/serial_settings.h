// The port's four settings sub-objects: parity, flow control, time-outs and queue sizes. Each
// keeps a back-reference to its port (null for a free-standing copy) and re-applies its group of
// settings to an open port when a field changes. Assigning one object to another copies the
// fields only and applies nothing.
#pragma once

#include <cstdint>

#include "serial/serial_records.h"
#include "serial/serial_types.h"

namespace serial {

class SerialPort;

class SerialParity {
  public:
    explicit SerialParity(SerialPort* port = nullptr) : port_(port) {}
    SerialParity(const SerialParity& other) : values_(other.values_) {}
    SerialParity& operator=(const SerialParity& other) {
        if (this != &other) {
            values_ = other.values_;
        }
        return *this;
    }

    ParityBits bits() const { return values_.bits; }
    void setBits(ParityBits value);
    bool check() const { return values_.check; }
    void setCheck(bool value);
    bool replace() const { return values_.replace; }
    void setReplace(bool value);
    std::uint8_t replaceChar() const { return values_.replaceChar; }
    void setReplaceChar(std::uint8_t value);

    const ParitySettings& values() const { return values_; }
    SerialPort* port() const { return port_; }

  private:
    template <class T>
    void change(T& field, T value);
    SerialPort* port_;
    ParitySettings values_;
};

class SerialFlowControl {
  public:
    explicit SerialFlowControl(SerialPort* port = nullptr) : port_(port) {}
    SerialFlowControl(const SerialFlowControl& other) : values_(other.values_) {}
    SerialFlowControl& operator=(const SerialFlowControl& other) {
        if (this != &other) {
            values_ = other.values_;
        }
        return *this;
    }

    bool outCTSFlow() const { return values_.outCTSFlow; }
    void setOutCTSFlow(bool value);
    bool outDSRFlow() const { return values_.outDSRFlow; }
    void setOutDSRFlow(bool value);
    DTRFlowControl controlDTR() const { return values_.controlDTR; }
    void setControlDTR(DTRFlowControl value);
    RTSFlowControl controlRTS() const { return values_.controlRTS; }
    void setControlRTS(RTSFlowControl value);
    bool xonXoffOut() const { return values_.xonXoffOut; }
    void setXonXoffOut(bool value);
    bool xonXoffIn() const { return values_.xonXoffIn; }
    void setXonXoffIn(bool value);
    bool dsrSensitivity() const { return values_.dsrSensitivity; }
    void setDSRSensitivity(bool value);
    bool txContinueOnXoff() const { return values_.txContinueOnXoff; }
    void setTxContinueOnXoff(bool value);
    std::uint8_t xonChar() const { return values_.xonChar; }
    void setXonChar(std::uint8_t value);
    std::uint8_t xoffChar() const { return values_.xoffChar; }
    void setXoffChar(std::uint8_t value);

    // The summary of the fields above; setting it rewrites them and applies once.
    serial::FlowControl flowControl() const;
    void setFlowControl(serial::FlowControl value);

    const FlowControlSettings& values() const { return values_; }
    SerialPort* port() const { return port_; }

  private:
    template <class T>
    void change(T& field, T value);
    SerialPort* port_;
    FlowControlSettings values_;
};

class SerialTimeouts {
  public:
    explicit SerialTimeouts(SerialPort* port = nullptr) : port_(port) {}
    SerialTimeouts(const SerialTimeouts& other) : values_(other.values_) {}
    SerialTimeouts& operator=(const SerialTimeouts& other) {
        if (this != &other) {
            values_ = other.values_;
        }
        return *this;
    }

    std::int32_t readInterval() const { return values_.readInterval; }
    void setReadInterval(std::int32_t value);
    std::int32_t readTotalMultiplier() const { return values_.readTotalMultiplier; }
    void setReadTotalMultiplier(std::int32_t value);
    std::int32_t readTotalConstant() const { return values_.readTotalConstant; }
    void setReadTotalConstant(std::int32_t value);
    std::int32_t writeTotalMultiplier() const { return values_.writeTotalMultiplier; }
    void setWriteTotalMultiplier(std::int32_t value);
    std::int32_t writeTotalConstant() const { return values_.writeTotalConstant; }
    void setWriteTotalConstant(std::int32_t value);

    const TimeoutSettings& values() const { return values_; }
    SerialPort* port() const { return port_; }

  private:
    void change(std::int32_t& field, std::int32_t value);
    SerialPort* port_;
    TimeoutSettings values_;
};

class SerialBuffer {
  public:
    explicit SerialBuffer(SerialPort* port = nullptr) : port_(port) {}
    SerialBuffer(const SerialBuffer& other) : values_(other.values_) {}
    SerialBuffer& operator=(const SerialBuffer& other) {
        if (this != &other) {
            values_ = other.values_;
        }
        return *this;
    }

    // Odd positive sizes are stored one less.
    std::int32_t inputSize() const { return values_.inputSize; }
    void setInputSize(std::int32_t value);
    std::int32_t outputSize() const { return values_.outputSize; }
    void setOutputSize(std::int32_t value);

    const BufferSettings& values() const { return values_; }
    SerialPort* port() const { return port_; }

  private:
    void change(std::int32_t& field, std::int32_t value);
    SerialPort* port_;
    BufferSettings values_;
};

}  // namespace serial

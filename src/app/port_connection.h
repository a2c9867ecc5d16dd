// The link to the phone: the serial port with the link's fixed line settings, whether the user
// wants it open, and why the last open failed. A port that should be open and is not (it could
// not be opened, or the link dropped and the port was closed) is tried again every few status
// ticks, silently.
#pragma once

#include <optional>
#include <string>

#include "serial/serial_port.h"

namespace app {

class PortConnection {
  public:
    // Status ticks between two tries to open a port that should be open and is not.
    static constexpr int kReconnectTicks = 2;

    // Sets the line settings (9600 baud, 8 data bits, no parity, 1 stop bit, no flow control,
    // every event) and names COM1; nothing is opened.
    PortConnection();
    // Closes the port; a port that refuses to close goes with its handle.
    ~PortConnection();
    PortConnection(const PortConnection&) = delete;
    PortConnection& operator=(const PortConnection&) = delete;

    serial::SerialPort& port() { return port_; }
    bool connected() const { return port_.connected(); }

    // The user's switch: closes an open port, opens a closed one, and remembers which the user
    // wants. A failure is dropped: the status display shows whether the port is open, and why
    // an open failed.
    void toggle();
    // One status tick: a port that should be open is tried again every kReconnectTicks ticks
    // while mayTry holds (not in the middle of a command, which decides the port's state itself).
    void tick(bool mayTry);
    // Why the port the user wants open is not: the last open's failure (in plain words when the
    // port does not exist), or nothing when the user closed it, no port is named or the last
    // open succeeded.
    std::optional<std::wstring> failure() const;
    // Lets go of the port now, dropping a failure to close, with no more chunks delivered.
    void close() noexcept;

  private:
    bool portNamed() const;
    // Opens the port, noting why it failed (and raising as the port does) or that it opened.
    void open();

    serial::SerialPort port_;
    bool wanted_ = false;
    int ticksSinceTry_ = 0;
    // Empty after a successful open.
    std::wstring openFailure_;
};

}  // namespace app

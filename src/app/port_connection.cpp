#include "app/port_connection.h"

#include <exception>

#include "app/settings_values.h"
#include "app/ui_text.h"
#include "framework/exception.h"
#include "serial/serial_error.h"

namespace app {
namespace {

constexpr const wchar_t* kPortNotPresent = uiText(L"отсутствует");

// Why an open failed, for the tip: a port that does not exist says so in plain words.
std::wstring openFailureReason(const std::exception& e) {
    const auto* serialError = dynamic_cast<const serial::SerialPortError*>(&e);
    if (serialError && serialError->code() == serial::SerialErrorCode::openFailed &&
        serialError->systemError() == ERROR_FILE_NOT_FOUND) {
        return tr(kPortNotPresent);
    }
    return framework::messageOf(e);
}

}  // namespace

PortConnection::PortConnection() {
    port_.setBaudRate(serial::BaudRate::br9600);
    port_.setDataBits(serial::DataBits::dbEight);
    port_.parity().setBits(serial::ParityBits::prNone);
    port_.setStopBits(serial::StopBits::sbOneStopBit);
    auto& flow = port_.flowControl();
    flow.setOutCTSFlow(false);
    flow.setOutDSRFlow(false);
    flow.setControlDTR(serial::DTRFlowControl::dtrDisable);
    flow.setControlRTS(serial::RTSFlowControl::rtsDisable);
    flow.setXonXoffOut(false);
    flow.setXonXoffIn(false);
    port_.setEvents(serial::SerialEvents::all());
    port_.setPort(L"COM1");
}

PortConnection::~PortConnection() {
    close();
}

void PortConnection::toggle() {
    wanted_ = !port_.connected();
    try {
        if (port_.connected()) {
            port_.closePort();
        } else {
            open();
        }
    } catch (const std::exception&) {
        // Dropped: the status display shows whether the port is open.
    }
}

void PortConnection::tick(bool mayTry) {
    // Only a port the user asked for and that names a real port.
    if (!mayTry || !wanted_ || port_.connected() || !portNamed()) {
        ticksSinceTry_ = 0;
        return;
    }
    if (++ticksSinceTry_ < kReconnectTicks) {
        return;
    }
    ticksSinceTry_ = 0;
    try {
        open();
    } catch (const std::exception&) {
        // Tried again after the next ticks; the tray tip shows why it failed.
    }
}

std::optional<std::wstring> PortConnection::failure() const {
    if (!wanted_ || openFailure_.empty() || !portNamed()) {
        return std::nullopt;
    }
    return openFailure_;
}

void PortConnection::close() noexcept {
    port_.onRxChar = nullptr;
    try {
        port_.closePort();
    } catch (const std::exception&) {
        // Dropped: the port goes either way, and the system releases one that refused to close.
    }
}

bool PortConnection::portNamed() const {
    return port_.port() != portNameFor(-1);
}

void PortConnection::open() {
    try {
        port_.openPort();
    } catch (const std::exception& e) {
        openFailure_ = openFailureReason(e);
        throw;
    }
    openFailure_.clear();
}

}  // namespace app

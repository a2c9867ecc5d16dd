#include "app/port_connection.h"

#include <utility>

#include "app/settings_values.h"
#include "framework/application.h"
#include "framework/exception.h"
#include "framework/hidden_window.h"
#include "framework/text.h"
#include "serial/serial_error.h"

namespace app {
namespace {

constexpr UINT kTryDoneMessage = WM_APP + 1;

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
    port_.onRxChar = [this](serial::SerialPort&, int32_t count) { receiveChunk(count); };
    HWND window = framework::createHiddenWindow(L"KeypilotPortConnection",
                                                &PortConnection::windowProc, HWND_MESSAGE);
    if (!window) {
        framework::raiseLastOSError();
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_.reset(window);
}

PortConnection::~PortConnection() {
    close();
}

LRESULT CALLBACK PortConnection::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* connection = reinterpret_cast<PortConnection*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (connection && msg == kTryDoneMessage) {
        framework::application().guard([&] { connection->onTryDone(wParam); });
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void PortConnection::toggle() {
    try_.reset();
    wanted_ = !port_.connected();
    try {
        if (port_.connected()) {
            port_.closePort();
        } else {
            open();
        }
    } catch (const std::exception&) {
        // Dropped: the status display shows whether the port is open, and why not.
    }
}

void PortConnection::choosePort(const std::wstring& name) {
    if (name != port_.port()) {
        try_.reset();
    }
    try {
        port_.setPort(name);
    } catch (const std::exception& e) {
        noteFailure(e);
        throw;
    }
}

void PortConnection::tick(bool mayTry) {
    // Only a port the user asked for and that names a real port.
    if (!mayTry || !wanted_ || port_.connected() || !portNamed()) {
        ticksSinceTry_ = 0;
        return;
    }
    if (try_ || ++ticksSinceTry_ < kReconnectTicks) {
        return;
    }
    ticksSinceTry_ = 0;
    startTry();
}

void PortConnection::startTry() {
    try {
        try_ = std::make_unique<BackgroundOpen>(port_.commApi(), port_.port(), window_.get(),
                                                kTryDoneMessage, ++tryId_);
    } catch (const std::exception&) {
        // Dropped: no thread could be started now; tried again after the next ticks.
    }
}

void PortConnection::onTryDone(WPARAM id) {
    if (!try_ || id != tryId_) {
        return;  // a try let go of
    }
    auto result = try_->take();
    if (!result) {
        return;
    }
    try_.reset();
    // Whatever else has happened since, the device closes unused.
    if (!wanted_ || port_.connected() || !portNamed()) {
        return;
    }
    if (!result->device) {
        // Tried again after the next ticks; the tray tip shows why it failed.
        noteFailure(
            serial::SerialPortError(serial::SerialErrorCode::openFailed, result->systemError));
        return;
    }
    try {
        port_.openPortOn(std::move(result->device));
        failure_.clear();
    } catch (const std::exception& e) {
        // Dropped: tried again after the next ticks; the tray tip shows why it failed.
        noteFailure(e);
    }
}

void PortConnection::receiveChunk(int32_t count) {
    std::string chunk;
    // A read that fails passes on as it is: the link is lost.
    port_.readText(chunk, count);
    if (!onChunk) {
        return;
    }
    try {
        onChunk(chunk);
    } catch (const std::exception& e) {
        // Noted and passed on: the port closes as after a lost link, and the tip tells the user
        // that Keypilot failed, not the link.
        failure_ = framework::formatText(tr(kOwnFailure), {framework::messageOf(e)});
        throw;
    }
}

std::optional<std::wstring> PortConnection::failure() const {
    if (!wanted_ || port_.connected() || !portNamed()) {
        return std::nullopt;
    }
    // Wanted and not open, yet its last open succeeded: it closed by itself.
    if (failure_.empty()) {
        return tr(kLinkLost);
    }
    return failure_;
}

std::wstring PortConnection::reasonOf(const std::exception& e) {
    // A port that does not exist says so in plain words.
    const auto* serialError = dynamic_cast<const serial::SerialPortError*>(&e);
    if (serialError && serialError->code() == serial::SerialErrorCode::openFailed &&
        serialError->systemError() == ERROR_FILE_NOT_FOUND) {
        return tr(kPortNotPresent);
    }
    return framework::messageOf(e);
}

void PortConnection::close() noexcept {
    try_.reset();
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
        noteFailure(e);
        throw;
    }
    failure_.clear();
}

void PortConnection::noteFailure(const std::exception& e) {
    // An open that failed after the port was open (a line status it could not read) leaves it
    // open, with nothing to tell.
    failure_ = port_.connected() ? std::wstring() : reasonOf(e);
}

}  // namespace app

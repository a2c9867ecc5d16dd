#include "ways/com/port_connection.h"

#include <memory>
#include <utility>

#include "framework/application.h"
#include "framework/exception.h"
#include "framework/owned_window.h"
#include "framework/text.h"
#include "serial/serial_error.h"
#include "settings/settings_values.h"

namespace app {
namespace {

constexpr UINT kTryDoneMessage = WM_APP + 1;
constexpr const wchar_t* kWindowClass = L"KeypilotPortConnection";

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
    port_.setCloseInBackground(true);
    port_.onRxChar = [this](serial::SerialPort&, int32_t count) { receiveChunk(count); };
    port_.onAfterOpen = [this](serial::SerialPort&) {
        writer_.start(port_.commApi(), port_.sharedDevice());
        changed();
    };
    // From here on the phone's bytes no longer count, and whoever was on the link is gone.
    port_.onBeforeClose = [this](serial::SerialPort&) {
        closing_ = true;
        writer_.stop();
        if (onEnded) {
            onEnded();
        }
        changed();
    };
    port_.onAfterClose = [this](serial::SerialPort&) {
        closing_ = false;
        changed();
    };
    writer_.onSent = [this](phonelink::SendOutcome outcome) {
        if (onSent) {
            onSent(outcome);
        }
    };
    if (!framework::createOwnedMessageWindow(kWindowClass, *this)) {
        framework::raiseLastOSError();
    }
}

PortConnection::~PortConnection() {
    close();
    port_.waitForClose(kEndCloseWaitMs);
}

void PortConnection::send(std::string bytes) {
    writer_.send(std::move(bytes));
}

WayCarrier::CarrierState PortConnection::carrierState() const {
    return open() ? CarrierState::Open : CarrierState::Closed;
}

PortConnection::PortState PortConnection::portState() const {
    if (closing_) {
        return PortState::Closing;
    }
    return port_.connected() ? PortState::Open : PortState::Closed;
}

void PortConnection::changed() {
    if (onChange) {
        onChange();
    }
}

LRESULT PortConnection::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kTryDoneMessage) {
        onTryDone(wParam);
        return 0;
    }
    return DefWindowProcW(window_.get(), msg, wParam, lParam);
}

void PortConnection::toggle(const std::wstring& name) {
    if ((open() || opening()) && name == port_.port()) {
        stop();
        return;
    }
    keepOpen(name);
}

void PortConnection::keepOpen(const std::wstring& name) {
    choosePort(name);
    wanted_ = true;
    if (portNamed() && !open() && !opening()) {
        startTry(true);
    }
}

void PortConnection::stop() {
    try_.reset();
    wanted_ = false;
    try {
        port_.closePort();
    } catch (const std::exception&) {
        // Dropped: the status display shows whether the port is open.
    }
}

void PortConnection::choosePort(const std::wstring& name) {
    if (name == port_.port()) {
        return;
    }
    try_.reset();
    // The reason belongs to the former name.
    failure_.clear();
    if (open()) {
        try {
            port_.closePort();
        } catch (const std::exception&) {
            // Dropped: the port goes either way, and the system releases one that refused to
            // close.
        }
    }
    port_.setPort(name);
}

void PortConnection::tick(bool mayTry) {
    // Only a port the user asked for and that names a real port; the ticks count from the end of
    // a close.
    if (!mayTry || !wanted_ || open() || closing_ || !portNamed()) {
        ticksSinceTry_ = 0;
        return;
    }
    if (try_ || ++ticksSinceTry_ < kReconnectTicks) {
        return;
    }
    startTry(false);
}

void PortConnection::startTry(bool asked) {
    try_.reset();
    ticksSinceTry_ = 0;
    try {
        try_ =
            startBackgroundOpen(port_.commApi(), port_.port(), port_.deviceSetup(),
                                port_.deviceReleased(), window_.get(), kTryDoneMessage, ++tryId_);
        tryAsked_ = asked;
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
    // Whatever else has happened since, the device closes unused, off this thread.
    if (!wanted_ || open() || !portNamed()) {
        serial::closeOffThread(std::make_shared<serial::PortDevice>(std::move(result->device)));
        return;
    }
    try {
        // A close that is over but not yet told (its news comes after the device) is told first.
        port_.openPortOn(std::move(*result));
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
    // A close under way claims nothing: what it ends in is told once it is over.
    if (!wanted_ || open() || closing_ || !portNamed()) {
        return std::nullopt;
    }
    if (failure_.empty()) {
        // The user's first try on this name has nothing to tell yet.
        if (opening()) {
            return std::nullopt;
        }
        // Wanted and not open, yet its last open succeeded: it closed by itself.
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
    try {
        port_.closePort();
    } catch (const std::exception&) {
        // Dropped: the port goes either way, and the system releases one that refused to close.
    }
}

bool PortConnection::portNamed() const {
    return port_.port() != portNameFor(-1);
}

void PortConnection::noteFailure(const std::exception& e) {
    // An open that failed after the port was open (a line status it could not read) leaves it
    // open, with nothing to tell.
    failure_ = open() ? std::wstring() : reasonOf(e);
}

}  // namespace app

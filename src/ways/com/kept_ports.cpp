#include "ways/com/kept_ports.h"

#include <utility>

#include "framework/exception.h"
#include "framework/hidden_window.h"

namespace app {
namespace {

constexpr UINT kReadDoneMessage = WM_APP + 1;
constexpr const wchar_t* kWindowClass = L"KeypilotKeptPorts";

}  // namespace

KeptPorts::KeptPorts(ports::PortSources sources) : sources_(std::move(sources)) {
    if (!framework::createOwnedMessageWindow(kWindowClass, *this)) {
        framework::raiseLastOSError();
    }
}

LRESULT KeptPorts::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kReadDoneMessage) {
        onReadDone();
        return 0;
    }
    return DefWindowProcW(window_.get(), msg, wParam, lParam);
}

void KeptPorts::read() {
    if (call_) {
        again_ = true;
        return;
    }
    again_ = false;
    try {
        // The catalogue raises nothing of its own; a read that runs out of memory gives nothing,
        // and the last list stays.
        call_ = std::make_unique<ReadCall>(
            [sources = sources_] { return std::optional(ports::listPorts(sources)); }, std::nullopt,
            window_.get(), kReadDoneMessage, 0);
    } catch (const std::exception&) {
        // Dropped: the windows keep showing the list of the last read, and the next notice or
        // opening of a window asks again.
    }
}

void KeptPorts::onReadDone() {
    if (!call_) {
        return;
    }
    auto result = call_->take();
    if (!result) {
        return;
    }
    call_.reset();
    if (*result) {
        ports_ = std::move(**result);
        read_ = true;
    }
    if (again_) {
        read();
    }
    if (onRead) {
        onRead();
    }
}

}  // namespace app

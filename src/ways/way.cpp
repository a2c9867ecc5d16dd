#include "ways/way.h"

#include <algorithm>
#include <utility>

#include "framework/exception.h"
#include "framework/hidden_window.h"
#include "framework/scope_exit.h"
#include "framework/stage_marks.h"

namespace app {
namespace {

constexpr const wchar_t* kWindowClass = L"KeypilotWay";
constexpr UINT_PTR kUpdateTimerId = 1;

bool isSignOfLife(const phonelink::Message& message) {
    return message.kind == phonelink::MessageKind::Ping ||
           message.kind == phonelink::MessageKind::Hello;
}

}  // namespace

Way::Way(std::unique_ptr<WayCarrier> carrier, Listener& listener, phonelink::PhoneTalk::Lines lines,
         std::function<std::uint64_t()> clock)
    : carrier_(std::move(carrier)),
      listener_(listener),
      clock_(std::move(clock)),
      talk_(*carrier_, std::move(lines)) {
    if (!framework::createOwnedMessageWindow(kWindowClass, *this)) {
        framework::raiseLastOSError();
    }
    carrier_->onSent = [this](phonelink::SendOutcome outcome) { talk_.sent(outcome); };
    carrier_->onChunk = [this](const std::string& chunk) { receive(chunk); };
    carrier_->onEnded = [this] { ended(); };
    carrier_->onChange = [this] { listener_.onChanged(*this); };
}

Way::~Way() {
    // The carrier goes with the way, and may still tell of its end on the way out.
    carrier_->onSent = nullptr;
    carrier_->onChunk = nullptr;
    carrier_->onEnded = nullptr;
    carrier_->onChange = nullptr;
    KillTimer(window_.get(), kUpdateTimerId);
}

LRESULT Way::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && wParam == kUpdateTimerId) {
        onUpdateTimer();
        return 0;
    }
    return DefWindowProcW(window_.get(), msg, wParam, lParam);
}

LinkStatus Way::status() const {
    switch (carrier_->carrierState()) {
        case WayCarrier::CarrierState::Closed:
            return LinkStatus::Closed;
        case WayCarrier::CarrierState::Phone:
            return LinkStatus::Heard;
        case WayCarrier::CarrierState::Open:
            break;
    }
    return contact_.present(clock_()) ? LinkStatus::Heard : LinkStatus::Waiting;
}

void Way::receive(const std::string& chunk) {
    namespace marks = framework::stage_marks;
    marks::mark(marks::kRead);
    const std::uint64_t arrived = clock_();
    phonelink::LinkReader::Result read = reader_.feed(chunk, arrived - actingMs_);
    marks::mark(marks::kReader);
    // The talk's silence is judged as the chunk arrives, before anything in it acts.
    talk_.check(arrived);
    if (!talk_.talking()) {
        quiet();
    }
    if (read.heard) {
        contact_.heard(arrived,
                       std::any_of(read.messages.begin(), read.messages.end(), isSignOfLife));
        listener_.onHeard(*this);
    }
    marks::mark(marks::kStatus);
    if (read.messages.empty()) {
        return;
    }
    arrived_ = arrived;
    const framework::ScopeExit acted([this, arrived] { actingMs_ += clock_() - arrived; });
    listener_.onMessages(*this, read.messages);
}

void Way::onTalkMessage(const phonelink::Message& message) {
    if (message.kind == phonelink::MessageKind::Hello) {
        talk_.hello(arrived_);
    } else if (message.kind == phonelink::MessageKind::Ping) {
        talk_.sign(arrived_);
    }
}

void Way::ended() {
    reader_.reset();
    actingMs_ = 0;
    contact_.forget();
    talk_.stop();
    quiet();
    listener_.onEnded(*this);
}

void Way::tick() {
    talk_.check(clock_());
    if (!talk_.talking()) {
        quiet();
    }
}

void Way::volumeChanged() {
    if (!talk_.talking()) {
        return;
    }
    if (updating_) {
        changed_ = true;
        return;
    }
    talk_.volumeChanged();
    updating_ = SetTimer(window_.get(), kUpdateTimerId, kUpdateIntervalMs, nullptr) != 0;
}

void Way::onUpdateTimer() {
    if (changed_) {
        changed_ = false;
        talk_.volumeChanged();
        return;
    }
    KillTimer(window_.get(), kUpdateTimerId);
    updating_ = false;
}

void Way::quiet() {
    if (updating_) {
        KillTimer(window_.get(), kUpdateTimerId);
        updating_ = false;
        changed_ = false;
    }
}

}  // namespace app

#include "link/talk.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace phonelink {

PhoneTalk::PhoneTalk(Carrier& carrier, Lines lines) : carrier_(carrier), lines_(std::move(lines)) {}

void PhoneTalk::hello(std::uint64_t nowMs) {
    assert(owner_.isCurrent());
    talking_ = true;
    lastSign_ = nowMs;
    ++talk_;
    // A press answered in the talk before means nothing in this one.
    waiting_[kConfirmation].reset();
    waiting_[kFailure].reset();
    waiting_[kAnswer] = std::string();
    waiting_[kButtons] = std::string();
    sendNext();
}

void PhoneTalk::sign(std::uint64_t nowMs) {
    assert(owner_.isCurrent());
    if (talking_) {
        lastSign_ = std::max(lastSign_, nowMs);
    }
}

void PhoneTalk::check(std::uint64_t nowMs) {
    if (talking_ && nowMs >= lastSign_ && nowMs - lastSign_ >= kSilenceMs) {
        stop();
    }
}

void PhoneTalk::buttonsChanged() {
    queue(kButtons, std::string());
}

void PhoneTalk::confirmation(std::string line) {
    queue(kConfirmation, std::move(line));
}

void PhoneTalk::failure(std::string line) {
    queue(kFailure, std::move(line));
}

void PhoneTalk::volumeChanged() {
    queue(kVolume, std::string());
}

void PhoneTalk::queue(Kind kind, std::string line) {
    assert(owner_.isCurrent());
    if (!talking_) {
        return;
    }
    waiting_[kind] = std::move(line);
    sendNext();
}

void PhoneTalk::stop() {
    assert(owner_.isCurrent());
    talking_ = false;
    for (auto& line : waiting_) {
        line.reset();
    }
}

void PhoneTalk::sent(SendOutcome outcome) {
    assert(owner_.isCurrent());
    writing_ = false;
    if (outcome != SendOutcome::Written && writeTalk_ == talk_) {
        stop();
    }
    sendNext();
}

std::string PhoneTalk::build(Kind kind) {
    const auto& make = kind == kAnswer    ? lines_.helloAnswer
                       : kind == kButtons ? lines_.buttons
                                          : lines_.volumeState;
    return make ? make() : std::string();
}

void PhoneTalk::sendNext() {
    if (writing_ || !talking_) {
        return;
    }
    const auto next =
        std::find_if(waiting_.begin(), waiting_.end(),
                     [](const std::optional<std::string>& line) { return line.has_value(); });
    if (next == waiting_.end()) {
        return;
    }
    const auto kind = static_cast<Kind>(next - waiting_.begin());
    std::string bytes = std::move(**next);
    next->reset();
    if (kind == kAnswer || kind == kButtons || kind == kVolume) {
        bytes = build(kind);
    }
    if (bytes.empty()) {
        // Nothing to say of this kind now (no master volume to tell of): the next kind goes.
        sendNext();
        return;
    }
    writing_ = true;
    writeTalk_ = talk_;
    carrier_.send(std::move(bytes));
}

}  // namespace phonelink

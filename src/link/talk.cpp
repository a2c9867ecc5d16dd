#include "link/talk.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace phonelink {

PhoneTalk::PhoneTalk(const PhoneContact& contact, Carrier& carrier,
                     std::function<std::uint64_t()> now)
    : contact_(contact), carrier_(carrier), now_(std::move(now)) {}

void PhoneTalk::hello(std::string answer) {
    assert(owner_.isCurrent());
    talking_ = true;
    ++talk_;
    waiting_[kAnswer] = std::move(answer);
    sendNext();
}

void PhoneTalk::buttons(std::string line) {
    queue(kButtons, std::move(line));
}

void PhoneTalk::confirmation(std::string line) {
    queue(kConfirmation, std::move(line));
}

void PhoneTalk::volumeState(std::string line) {
    queue(kVolume, std::move(line));
}

void PhoneTalk::queue(Kind kind, std::string line) {
    assert(owner_.isCurrent());
    check();
    if (!talking_) {
        return;
    }
    waiting_[kind] = std::move(line);
    sendNext();
}

void PhoneTalk::check() {
    if (talking_ && !contact_.present(now_())) {
        stop();
    }
}

void PhoneTalk::stop() {
    assert(owner_.isCurrent());
    talking_ = false;
    for (auto& line : waiting_) {
        line.reset();
    }
}

void PhoneTalk::sent(bool ok) {
    assert(owner_.isCurrent());
    writing_ = false;
    if (!ok && writeTalk_ == talk_) {
        stop();
    }
    sendNext();
}

void PhoneTalk::sendNext() {
    check();
    if (writing_ || !talking_) {
        return;
    }
    const auto next =
        std::find_if(waiting_.begin(), waiting_.end(),
                     [](const std::optional<std::string>& line) { return line.has_value(); });
    if (next == waiting_.end()) {
        return;
    }
    std::string bytes = std::move(**next);
    next->reset();
    writing_ = true;
    writeTalk_ = talk_;
    // A carrier may report at once, from inside send: everything above is settled by then.
    carrier_.send(std::move(bytes));
}

}  // namespace phonelink

#include "link/talk.h"

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
    answer_ = std::move(answer);
    sendNext();
}

void PhoneTalk::volumeState(std::string line) {
    assert(owner_.isCurrent());
    check();
    if (!talking_) {
        return;
    }
    volume_ = std::move(line);
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
    answer_.reset();
    volume_.reset();
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
    std::optional<std::string>& next = answer_ ? answer_ : volume_;
    if (!next) {
        return;
    }
    std::string bytes = std::move(*next);
    next.reset();
    writing_ = true;
    writeTalk_ = talk_;
    // A carrier may report at once, from inside send: everything above is settled by then.
    carrier_.send(std::move(bytes));
}

}  // namespace phonelink

// Who gets answers: only a sender that said hello, only while it counts as there, never more than
// the latest state waiting. The carrier is a recording one: the link's rules are portable and
// judged here on a test clock; the COM port's writer behind the interface is tested under Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/carrier.h"
#include "link/phone_contact.h"
#include "link/talk.h"

namespace {

using phonelink::PhoneContact;
using phonelink::PhoneTalk;
using Lines = std::vector<std::string>;

class RecordingCarrier final : public phonelink::Carrier {
  public:
    void send(std::string bytes) override { written.push_back(std::move(bytes)); }
    Lines written;
};

class PhoneTalkTest : public ::testing::Test {
  protected:
    // A valid chunk at the clock's time; pinged: it held a sign of life (a hello is one).
    void heard(bool pinged = true) { contact.heard(now, pinged); }
    void helloNow(const std::string& answer) {
        heard();
        talk.hello(answer);
    }

    std::uint64_t now = 1000;
    PhoneContact contact;
    RecordingCarrier carrier;
    PhoneTalk talk{contact, carrier, [this] { return now; }};
};

TEST_F(PhoneTalkTest, NothingGoesToASenderThatNeverSaidHello) {
    heard(false);
    talk.volumeState("v1");
    heard(true);
    talk.volumeState("v2");
    talk.check();
    EXPECT_TRUE(carrier.written.empty());
    EXPECT_FALSE(talk.talking());

    helloNow("answer");
    EXPECT_EQ(carrier.written, Lines{"answer"});
    talk.sent(true);
    talk.volumeState("v3");
    EXPECT_EQ(carrier.written, (Lines{"answer", "v3"}));
}

// A phone that cannot keep up holds back one line of each kind, the newest, the answer first.
TEST_F(PhoneTalkTest, OneWriteAtATimeAndOnlyTheLatestStateWaits) {
    helloNow("answer 1");
    for (int i = 0; i < 50; ++i) {
        talk.volumeState("v" + std::to_string(i));
    }
    helloNow("answer 2");
    EXPECT_EQ(carrier.written, Lines{"answer 1"});
    talk.sent(true);
    talk.sent(true);
    talk.sent(true);
    EXPECT_EQ(carrier.written, (Lines{"answer 1", "answer 2", "v49"}));
    EXPECT_FALSE(talk.writing());
}

TEST_F(PhoneTalkTest, SilenceAGivenUpWriteOrTheCloseEndTheTalkUntilANewHello) {
    // Silent for the sign of life's window: gone, and what waited goes with it.
    helloNow("answer");
    talk.volumeState("waiting");
    now += PhoneContact::kPingingSilenceMs;
    talk.sent(true);
    talk.volumeState("late");
    EXPECT_EQ(carrier.written, Lines{"answer"});
    EXPECT_FALSE(talk.talking());
    heard();  // signs of life alone start nothing
    talk.volumeState("still nothing");
    EXPECT_EQ(carrier.written.size(), 1u);

    // A write given up.
    helloNow("answer 2");
    talk.volumeState("waiting");
    talk.sent(false);
    talk.volumeState("after");
    EXPECT_EQ(carrier.written, (Lines{"answer", "answer 2"}));
    EXPECT_FALSE(talk.talking());

    // The port closed.
    helloNow("answer 3");
    talk.sent(true);
    talk.stop();
    talk.volumeState("after close");
    EXPECT_EQ(carrier.written.back(), "answer 3");
}

// A page that comes back says hello while the last write to its predecessor still hangs: that
// write's failure belongs to the old talk and must not silence the new one.
TEST_F(PhoneTalkTest, AnOldTalksGivenUpWriteDoesNotEndANewOne) {
    helloNow("old answer");
    talk.stop();
    helloNow("new answer");
    talk.sent(false);
    EXPECT_TRUE(talk.talking());
    EXPECT_EQ(carrier.written, (Lines{"old answer", "new answer"}));
    talk.sent(false);
    EXPECT_FALSE(talk.talking());
}

// After a hello's answer, the PC's buttons; a confirmation's answer before a volume state; each
// kind only its newest line, and none of them for a sender that is not talking.
TEST_F(PhoneTalkTest, TheButtonsFollowTheAnswerAndEachKindWaitsInItsOrder) {
    heard();
    talk.buttons("buttons 0");
    talk.confirmation("confirm 0");
    EXPECT_TRUE(carrier.written.empty());

    helloNow("answer");
    talk.volumeState("v1");
    talk.confirmation("confirm 1");
    talk.buttons("buttons 1");
    talk.buttons("buttons 2");
    talk.confirmation("confirm 2");
    for (int i = 0; i < 4; ++i) {
        talk.sent(true);
    }
    EXPECT_EQ(carrier.written, (Lines{"answer", "buttons 2", "confirm 2", "v1"}));
    talk.stop();
    talk.buttons("after close");
    EXPECT_EQ(carrier.written.size(), 4u);
}

}  // namespace

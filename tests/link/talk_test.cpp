// Who gets answers: only a sender that said hello, only while its hellos and signs of life keep
// coming, never more than the latest state waiting. The carrier is a recording one: the link's
// rules are portable and judged here on a test clock; the carriers behind the interface are
// tested under Wine (tests/ways/carrier_contract_test.cpp).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/carrier.h"
#include "link/talk.h"

namespace {

using phonelink::PhoneTalk;
using phonelink::SendOutcome;
using Lines = std::vector<std::string>;

class RecordingCarrier final : public phonelink::Carrier {
  public:
    void send(std::string bytes) override { written.push_back(std::move(bytes)); }
    Lines written;
};

class PhoneTalkTest : public ::testing::Test {
  protected:
    // The lines as the owner's values are when they go: the answer counts how often it was built.
    PhoneTalk::Lines lines() {
        return {[this] { return "answer " + std::to_string(++answers); },
                [this] { return "buttons " + buttons; }, [this] { return "volume " + volume; }};
    }
    void written(SendOutcome outcome = SendOutcome::Written) { talk.sent(outcome); }

    std::uint64_t now = 1000;
    int answers = 0;
    std::string buttons = "A";
    std::string volume = "50";
    RecordingCarrier carrier;
    PhoneTalk talk{carrier, lines()};
};

TEST_F(PhoneTalkTest, NothingGoesToASenderThatNeverSaidHello) {
    talk.sign(now);
    talk.volumeChanged();
    talk.buttonsChanged();
    talk.confirmation("confirm");
    EXPECT_TRUE(carrier.written.empty());
    EXPECT_FALSE(talk.talking());

    talk.hello(now);
    EXPECT_EQ(carrier.written, Lines{"answer 1"});
    written();
    written();
    talk.volumeChanged();
    EXPECT_EQ(carrier.written, (Lines{"answer 1", "buttons A", "volume 50"}));
}

// A phone that cannot keep up holds back one line of each kind, built from the newest values when
// it goes: a thousand hellos cost one answer more, not a thousand.
TEST_F(PhoneTalkTest, OneWriteAtATimeAndTheLinesAreBuiltWhenTheyGo) {
    talk.hello(now);
    for (int i = 0; i < 1000; ++i) {
        talk.hello(now);
        talk.volumeChanged();
        talk.confirmation("confirm " + std::to_string(i));
    }
    volume = "49";
    buttons = "B";
    for (int i = 0; i < 5; ++i) {
        written();
    }
    EXPECT_EQ(carrier.written,
              (Lines{"answer 1", "answer 2", "buttons B", "confirm 999", "volume 49"}));
    EXPECT_EQ(answers, 2);
    EXPECT_FALSE(talk.writing());
}

TEST_F(PhoneTalkTest, OnlyHellosAndSignsKeepATalkGoingJudgedAtTheirTime) {
    talk.hello(now);
    written();
    written();
    // Signs of life keep it going; anything else the owner hears does not.
    now += PhoneTalk::kSilenceMs - 1;
    talk.check(now);
    talk.sign(now);
    now += PhoneTalk::kSilenceMs - 1;
    talk.check(now);
    EXPECT_TRUE(talk.talking());
    // Silent for the window: gone, and what waited goes with it; a sign comes too late.
    talk.confirmation("waiting");
    now += 1;
    talk.check(now);
    EXPECT_FALSE(talk.talking());
    talk.sign(now);
    talk.volumeChanged();
    written();
    EXPECT_EQ(carrier.written, (Lines{"answer 1", "buttons A", "waiting"}));
    // A clock that went back is no silence.
    talk.hello(now);
    talk.check(now - 10'000);
    EXPECT_TRUE(talk.talking());
}

TEST_F(PhoneTalkTest, AWriteThatDidNotGoOrTheCloseEndTheTalkUntilANewHello) {
    for (auto outcome : {SendOutcome::GivenUp, SendOutcome::Failed, SendOutcome::Closed}) {
        SCOPED_TRACE(static_cast<int>(outcome));
        talk.hello(now);
        talk.volumeChanged();
        written(outcome);
        EXPECT_FALSE(talk.talking());
        talk.volumeChanged();
        EXPECT_FALSE(talk.writing());
    }
    EXPECT_EQ(carrier.written, (Lines{"answer 1", "answer 2", "answer 3"}));

    // The link closed with a write under way: its outcome is still to come, and the next hello's
    // answer goes once it has.
    talk.hello(now);
    talk.stop();
    talk.hello(now);
    EXPECT_EQ(carrier.written.size(), 4u);
    written(SendOutcome::Closed);
    EXPECT_EQ(carrier.written.back(), "answer 5");
    EXPECT_TRUE(talk.talking()) << "the old talk's write does not end the new one";
}

// A press answered in one talk means nothing in the next: its confirmation does not wait for it.
TEST_F(PhoneTalkTest, ANewHelloDropsTheAnswersOfTheTalkBefore) {
    talk.hello(now);
    talk.confirmation("confirm");
    talk.failure("failed");
    talk.hello(now);
    for (int i = 0; i < 3; ++i) {
        written();
    }
    EXPECT_EQ(carrier.written, (Lines{"answer 1", "answer 2", "buttons A"}));
    EXPECT_NE(talk.talkNumber(), 0u);
}

}  // namespace

// The way back to the phone over a real COM port pair: what is sent reaches the phone's end,
// written by a thread of the port's own. A write the phone never takes (through the driver
// stand-in, which a pseudo-terminal cannot be) is given up after its own time-out while the
// phone's presses keep coming in, sends meanwhile keep only the latest bytes, and closing the port
// ends the write without waiting it out. A driver that holds the device's set-up or its close
// (the stand-in again) holds neither the main thread nor the order of a close and the next open.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/handle.h"
#include "hanging_write_comm_api.h"
#include "link/carrier.h"
#include "slow_calls.h"
#include "ways/com/port_connection.h"
#include "wine_test_support.h"

using phonelink::SendOutcome;
using PortState = app::PortConnection::PortState;
using testing_support::HangingWriteCommApi;
using testing_support::PortEnd;
using testing_support::pumpUntil;
using testing_support::SlowCalls;

namespace {

class PortWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        framework::application().initialize();
        const auto pair = testing_support::testbedPair(0);
        connection_ = std::make_unique<app::PortConnection>();
        connection_->port().setCommApi(api_);
        connection_->onSent = [this](SendOutcome outcome) { outcomes_.push_back(outcome); };
        connection_->onChunk = [this](const std::string& chunk) { chunks_ += chunk; };
        connection_->keepOpen(pair.local);
        ASSERT_TRUE(pumpUntil([&] { return connection_->connected(); }));
        phone_ = std::make_unique<PortEnd>(pair.remote);
        ASSERT_TRUE(phone_->isOpen());
    }
    void TearDown() override {
        connection_.reset();
        phone_.reset();
    }

    // What reaches the phone's end, until it holds at least `size` bytes or 5 s have passed.
    std::string phoneReads(std::size_t size) {
        std::string got;
        const ULONGLONG deadline = GetTickCount64() + 5000;
        while (got.size() < size && GetTickCount64() < deadline) {
            got += phone_->read(100);
        }
        return got;
    }
    // Sends and waits for the outcome.
    bool sent(const std::string& bytes) {
        const std::size_t before = outcomes_.size();
        connection_->send(bytes);
        return pumpUntil([&] { return outcomes_.size() > before; }, 5000) &&
               outcomes_.back() == SendOutcome::Written;
    }
    long count(SendOutcome outcome) const {
        return std::count(outcomes_.begin(), outcomes_.end(), outcome);
    }

    std::shared_ptr<HangingWriteCommApi> api_ = std::make_shared<HangingWriteCommApi>();
    std::unique_ptr<app::PortConnection> connection_;
    std::unique_ptr<PortEnd> phone_;
    std::vector<SendOutcome> outcomes_;
    std::string chunks_;
};

TEST_F(PortWriterTest, SentBytesReachThePhonesEndWholeFromAThreadOfThePortsOwn) {
    // The longest line the link sends, and a short one after it.
    std::string longest(4095, 'x');
    longest += '\n';
    ASSERT_TRUE(sent(longest));
    EXPECT_EQ(phoneReads(longest.size()), longest);
    ASSERT_TRUE(sent("{\"type\":\"volume\"}\n"));
    EXPECT_EQ(phoneReads(18), "{\"type\":\"volume\"}\n");

    const std::vector<DWORD> writers = api_->writers();
    ASSERT_EQ(writers.size(), 2u);
    EXPECT_NE(writers[0], GetCurrentThreadId()) << "written on the main thread";
    EXPECT_EQ(writers[1], writers[0]) << "one writer thread for the open port";
}

TEST_F(PortWriterTest, AWriteNeverTakenIsGivenUpWhilePressesComeInAndOnlyTheLatestWaits) {
    api_->hang(true);
    connection_->send("first\n");
    ASSERT_TRUE(pumpUntil([&] { return api_->pending(); }));

    // A phone that cannot keep up: a flood of sends costs only the latest one, and the sends it
    // replaced fail.
    std::string latest;
    constexpr int kFlood = 1000;
    for (int i = 0; i < kFlood; ++i) {
        latest = std::string(100, 'v') + std::to_string(i) + "\n";
        connection_->send(latest);
    }
    EXPECT_EQ(connection_->writer().heldBytes(), 6 + latest.size());

    // The phone's presses come in while the write hangs.
    ASSERT_TRUE(phone_->send("01"));
    EXPECT_TRUE(pumpUntil([&] { return chunks_ == "01"; }));
    EXPECT_EQ(count(SendOutcome::Failed), kFlood - 1);
    EXPECT_TRUE(api_->pending());

    // Given up within its own time-out (and margin), and what waited behind it is dropped.
    ASSERT_TRUE(pumpUntil([&] { return count(SendOutcome::GivenUp) == 1; },
                          2 * phonelink::kWriteTimeoutMs));
    ASSERT_TRUE(pumpUntil([&] { return outcomes_.size() == kFlood + 1; }));
    EXPECT_EQ(count(SendOutcome::Failed), kFlood);
    EXPECT_EQ(api_->cancels(), 1);
    EXPECT_EQ(api_->writes(), 1);
    EXPECT_EQ(connection_->writer().heldBytes(), 0u);
    EXPECT_TRUE(connection_->connected()) << "the port stays open for the phone to come back";

    // The owner's next send goes out again, on a line of its own whatever part of the first went.
    api_->hang(false);
    ASSERT_TRUE(sent("again\n"));
    EXPECT_EQ(phoneReads(7), "\nagain\n");
}

TEST_F(PortWriterTest, ARecordTheDriverKeepsAfterItsCancelIsNeverWrittenThroughAgain) {
    api_->hang(true);
    api_->keepCancelled(true);
    // Given up after its time-out and a moment for the cancel, which the driver ignores.
    EXPECT_FALSE(sent("kept\n"));
    EXPECT_EQ(api_->cancels(), 1);
    // The driver may still write into the record: nothing more goes to the device through it.
    EXPECT_FALSE(sent("next\n"));
    EXPECT_EQ(api_->writes(), 1);
    EXPECT_EQ(outcomes_, (std::vector<SendOutcome>{SendOutcome::GivenUp, SendOutcome::Failed}));
}

TEST_F(PortWriterTest, ClosingThePortWhileAWriteHangsEndsTheWriteAndItsThreadAtOnce) {
    // The system gives out the lowest free handles first, so handles that the rounds leave open
    // push the highest of the next 256 up (the process's handle count is not kept under Wine).
    // Handle values go in steps of 4. A few handles come once and stay, at times of their own
    // choosing: one that Wine makes, and one the thread library makes for a lock of its own the
    // first time two threads meet at it (a writer and a closer ending together, say). A leak of a
    // round grows with the rounds.
    constexpr std::uintptr_t kOneHandle = 4;
    constexpr std::uintptr_t kOnceHandles = 3;
    constexpr int kRounds = 10;
    const auto handleReach = [] {
        std::vector<framework::KernelHandle> probes(256);
        for (auto& probe : probes) {
            probe.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        }
        return reinterpret_cast<std::uintptr_t>(probes.back().get());
    };
    api_->hang(true);
    std::uintptr_t reach = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        if (round > 0) {
            connection_->port().openPort();
        }
        connection_->send("hanging\n");
        ASSERT_TRUE(pumpUntil([&] { return api_->pending(); }));
        framework::KernelHandle writer(OpenThread(SYNCHRONIZE, FALSE, api_->writers().back()));
        ASSERT_TRUE(writer);

        connection_->close();
        // The device goes once the writer has let go of it, which it does when the driver has
        // ended the write it was asked to cancel: never the write's own time-out (a write
        // given up would end as such, not as closed).
        ASSERT_TRUE(pumpUntil([&] { return connection_->portState() == PortState::Closed; }));
        EXPECT_EQ(api_->cancels(), round + 1);
        EXPECT_TRUE(pumpUntil([&] {
            return WaitForSingleObject(writer.get(), 0) == WAIT_OBJECT_0;
        })) << "the thread ended";
        writer.reset();
        if (round == 0) {
            reach = handleReach();
        }
    }
    // Wine lets go of some of a port's handles a moment after its close.
    EXPECT_TRUE(pumpUntil([&] { return handleReach() <= reach + kOnceHandles * kOneHandle; }, 2000))
        << "an open port's writer leaves no handle behind";

    // Each write ended with its port, and a send with no port fails.
    EXPECT_FALSE(sent("later\n"));
    std::vector<SendOutcome> expected(kRounds, SendOutcome::Closed);
    expected.push_back(SendOutcome::Failed);
    EXPECT_EQ(outcomes_, expected);
}

// The set-up's calls and the close's are each held (3 s, or until let go) by a driver stand-in.
TEST(PortClosingTest, TheSetUpAndTheCloseRunOffTheMainThreadAndAReopenWaitsForTheClose) {
    framework::application().initialize();
    const auto pair = testing_support::testbedPair(0);
    auto slow = std::make_shared<SlowCalls>();
    slow->release(SlowCalls::kOpen);
    std::vector<PortState> states;
    int ended = 0;
    app::PortConnection connection;
    connection.port().setCommApi(slow->commApi());
    connection.onChange = [&] { states.push_back(connection.portState()); };
    connection.onEnded = [&] { ++ended; };
    testing_support::AnswerWatch watch(framework::application().handle());
    // The main thread answers while the calls of the kind hold.
    const auto answersWhileHeld = [&](SlowCalls::Kind kind) {
        const int answered = watch.answered();
        return pumpUntil([&] { return watch.answered() >= answered + 10; }) &&
               slow->allHolding({kind});
    };

    connection.keepOpen(pair.local);
    ASSERT_TRUE(pumpUntil([&] { return slow->allHolding({SlowCalls::kSetUp}); }));
    EXPECT_TRUE(answersWhileHeld(SlowCalls::kSetUp));
    EXPECT_EQ(connection.portState(), PortState::Closed);
    slow->release(SlowCalls::kSetUp);
    ASSERT_TRUE(pumpUntil([&] { return connection.connected(); }));

    // OK on the open port, then "Listen on" it while its close holds.
    states.clear();
    connection.toggle(pair.local);
    EXPECT_EQ(connection.carrierState(), app::WayCarrier::CarrierState::Closed);
    EXPECT_EQ(ended, 1) << "the way forgets its phone as the close begins";
    ASSERT_TRUE(pumpUntil([&] { return slow->allHolding({SlowCalls::kClose}); }));
    connection.keepOpen(pair.local);
    EXPECT_TRUE(answersWhileHeld(SlowCalls::kClose));
    EXPECT_EQ(connection.portState(), PortState::Closing);
    EXPECT_FALSE(connection.failure()) << "neither open nor lost";
    slow->release(SlowCalls::kClose);
    ASSERT_TRUE(pumpUntil([&] { return connection.connected(); }));
    EXPECT_EQ(states,
              (std::vector<PortState>{PortState::Closing, PortState::Closed, PortState::Open}));
    EXPECT_EQ(slow->deviceCalls(), (std::vector<SlowCalls::Kind>{
                                       SlowCalls::kOpen, SlowCalls::kClose, SlowCalls::kOpen}));
    watch.stop();
    EXPECT_EQ(watch.failed(), 0);
    for (auto kind : {SlowCalls::kSetUp, SlowCalls::kClose}) {
        const auto threads = slow->threads(kind);
        EXPECT_FALSE(threads.empty());
        EXPECT_EQ(std::count(threads.begin(), threads.end(), GetCurrentThreadId()), 0)
            << (kind == SlowCalls::kSetUp ? "the set-up" : "the close") << " on the main thread";
    }
}

}  // namespace

// Keypilot's own Bluetooth service above its Winsock calls. The phones, the radio and the
// system's refusals are played by a stand-in of the calls (Wine has none: see
// fake_bluetooth_api.h); the service's thread, the socket news, the timers and the radio's device
// notices are real threads and window messages, and no call runs on the test's (UI) thread. The
// last case makes the system's own calls under Wine, which has no Bluetooth sockets, as a PC
// without a usable radio.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fake_bluetooth_api.h"
#include "framework/application.h"
#include "framework/exception.h"
#include "ports/device_classes.h"
#include "ways/bluetooth/bluetooth_service.h"
#include "wine_test_support.h"

using app::BluetoothService;
using testing_support::FakeBluetoothApi;
using testing_support::pumpUntil;

namespace {

constexpr std::uint64_t kPhoneA = 0xA0A1A2A3A4A5;
constexpr std::uint64_t kPhoneB = 0xB0B1B2B3B4B5;

// Windows' notice of a Bluetooth radio that arrived or left, to a window registered for it.
void sendRadioNotice(HWND window, bool arrived) {
    DEV_BROADCAST_DEVICEINTERFACE_W notice{};
    notice.dbcc_size = sizeof notice;
    notice.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    notice.dbcc_classguid = ports::kBluetoothRadioInterface;
    SendMessageW(window, WM_DEVICECHANGE, arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                 reinterpret_cast<LPARAM>(&notice));
}

class BluetoothServiceTest : public ::testing::Test {
  protected:
    static constexpr UINT kRetryMs = 200;
    static constexpr UINT kWriteTimeoutMs = 300;

    void SetUp() override {
        framework::application().initialize();
        make(kRetryMs);
    }
    void TearDown() override {
        service_.reset();
        EXPECT_FALSE(api_->threads().contains(GetCurrentThreadId()))
            << "a Winsock call ran on the UI thread";
        EXPECT_EQ(api_->started(), 0) << "each startup has its cleanup";
    }
    void make(UINT retryMs, UINT askMs = BluetoothService::kAskTimeoutMs) {
        service_.reset();
        service_ = std::make_unique<BluetoothService>(api_, retryMs, kWriteTimeoutMs, askMs);
        service_->onChunk = [this](const std::string& chunk) { chunks_.push_back(chunk); };
        service_->onEnded = [this] { ++gone_; };
        service_->onSent = [this](phonelink::SendOutcome outcome) {
            outcomes_.push_back(outcome == phonelink::SendOutcome::Written);
        };
        service_->onChange = [this] { states_.push_back(service_->state()); };
    }
    bool waitFor(BluetoothService::State state) {
        return pumpUntil([&] { return service_->state() == state; });
    }
    // Whether the service has been in this state since it was made, however briefly.
    bool passedThrough(BluetoothService::State state) {
        return pumpUntil(
            [&] { return std::find(states_.begin(), states_.end(), state) != states_.end(); });
    }
    // Switched on, its record published.
    void listen() {
        service_->switchOn();
        ASSERT_TRUE(waitFor(BluetoothService::State::Listening));
    }
    // Serves what is already posted: the service has heard all there is to hear.
    static void settle() { ASSERT_TRUE(testing_support::waitForTimerTicks(10, 3)); }
    std::string received() const {
        std::string all;
        for (const auto& chunk : chunks_) {
            all += chunk;
        }
        return all;
    }

    std::shared_ptr<FakeBluetoothApi> api_ = std::make_shared<FakeBluetoothApi>();
    std::unique_ptr<BluetoothService> service_;
    std::vector<std::string> chunks_;
    std::vector<bool> outcomes_;
    std::vector<BluetoothService::State> states_;
    int gone_ = 0;
};

TEST_F(BluetoothServiceTest, AnAllowedPhoneComesStraightInTalksAndIsGoneTheMomentItCloses) {
    api_->setName(kPhoneA, L"Pixel");
    service_->setPhones({kPhoneA}, {});
    listen();
    EXPECT_EQ(api_->securityAsked(), 1) << "an authenticated, encrypted link is asked for";
    ASSERT_EQ(api_->recordCalls().size(), 1U);
    EXPECT_EQ(api_->recordCalls()[0].first, FakeBluetoothApi::kChannel)
        << "the record names the channel the system gave";

    // A frame split anywhere comes in pieces as the phone sent them, in order, the first sent
    // before the service has taken the connection.
    api_->hold(FakeBluetoothApi::Call::Accept);
    const auto link = api_->connect(kPhoneA);
    api_->say(link, "V");
    api_->release();
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected));
    EXPECT_EQ(service_->phone()->name, L"Pixel");
    api_->say(link, "S0");
    api_->say(link, "4");
    ASSERT_TRUE(pumpUntil([&] { return received() == "VS04"; })) << received();
    EXPECT_EQ(chunks_.size(), 3U);
    settle();
    EXPECT_TRUE(outcomes_.empty()) << "a socket that can be written to is no write that ended";

    service_->send("{\"type\":\"hello\"}\n");
    ASSERT_TRUE(pumpUntil([&] { return !outcomes_.empty(); }));
    EXPECT_TRUE(outcomes_.back());
    EXPECT_EQ(api_->received(link), "{\"type\":\"hello\"}\n");

    // Its last bytes still count, and it is gone with them.
    api_->say(link, "01");
    api_->leave(link);
    ASSERT_TRUE(pumpUntil([&] { return gone_ == 1; }));
    EXPECT_EQ(received(), "VS0401");
    EXPECT_EQ(service_->state(), BluetoothService::State::Listening);
    EXPECT_FALSE(service_->phone());
    EXPECT_TRUE(api_->closedByService(link));

    service_->switchOff();
    EXPECT_EQ(service_->state(), BluetoothService::State::Off);
    ASSERT_TRUE(pumpUntil([&] { return api_->published() == 0 && api_->started() == 0; }))
        << "the record is withdrawn";
    EXPECT_EQ(api_->openSockets(), 0);
}

TEST_F(BluetoothServiceTest, APhoneNeverSeenIsAskedOnceAndOneRefusedIsClosedAtOnce) {
    api_->setName(kPhoneA, L"Pixel");
    listen();
    const auto first = api_->connect(kPhoneA);
    api_->say(first, "01");
    ASSERT_TRUE(waitFor(BluetoothService::State::Asking));
    EXPECT_EQ(service_->phone()->address, kPhoneA);
    EXPECT_EQ(service_->phone()->name, L"Pixel");
    settle();
    EXPECT_TRUE(chunks_.empty()) << "nothing of it acts before the user answers";

    service_->answer(true);
    EXPECT_EQ(service_->state(), BluetoothService::State::Connected);
    // The phone presses until heard: what comes before the service's thread has the answer is
    // dropped too.
    ASSERT_TRUE(pumpUntil([&] {
        api_->say(first, "07");
        return !chunks_.empty();
    }));
    EXPECT_EQ(received().find("01"), std::string::npos)
        << "what it said while asked is dropped, not acted on";
    EXPECT_TRUE(service_->allowedPhones().contains(kPhoneA));
    api_->leave(first);
    ASSERT_TRUE(waitFor(BluetoothService::State::Listening));
    const auto second = api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected)) << "allowed once: straight in";
    EXPECT_EQ(api_->nameReads(kPhoneA), 1) << "a name known is read once";
    api_->leave(second);
    ASSERT_TRUE(waitFor(BluetoothService::State::Listening));

    const auto stranger = api_->connect(kPhoneB);
    ASSERT_TRUE(waitFor(BluetoothService::State::Asking));
    service_->answer(false);
    EXPECT_EQ(service_->state(), BluetoothService::State::Listening);
    ASSERT_TRUE(pumpUntil([&] { return api_->closedByService(stranger); }));
    const auto again = api_->connect(kPhoneB);
    ASSERT_TRUE(pumpUntil([&] { return api_->closedByService(again); }));
    EXPECT_EQ(service_->state(), BluetoothService::State::Listening) << "not asked again";
}

TEST_F(BluetoothServiceTest, ASecondPhoneIsRefusedAndTheFirstGoesOnUndisturbed) {
    service_->setPhones({kPhoneA, kPhoneB}, {});
    listen();
    const auto first = api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected));
    const auto second = api_->connect(kPhoneB);
    ASSERT_TRUE(pumpUntil([&] { return api_->closedByService(second); }));
    api_->say(first, "07");
    ASSERT_TRUE(pumpUntil([&] { return received() == "07"; }));
    EXPECT_EQ(service_->phone()->address, kPhoneA);
    EXPECT_FALSE(api_->closedByService(first));
    EXPECT_EQ(gone_, 0);
}

TEST_F(BluetoothServiceTest, AnAcceptThatLosesOnePhoneIsSkippedAndOneThatFailsIsRetriedLater) {
    service_->setPhones({kPhoneA}, {});
    listen();
    api_->failAccepts({WSAECONNRESET});
    api_->connect(kPhoneA);
    api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected)) << "the next phone still gets in";
    EXPECT_EQ(api_->published(), 1);

    // The listening socket's own failure: down, with nothing left open or published, the phone
    // in gone, and tried again after the wait (its socket held until the test has looked).
    api_->failAccepts({WSAENETDOWN});
    api_->hold(FakeBluetoothApi::Call::Socket);
    api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Unavailable));
    EXPECT_EQ(service_->problem(), app::tr(BluetoothService::kRadioOff));
    EXPECT_EQ(gone_, 1);
    EXPECT_EQ(api_->published(), 0);
    EXPECT_EQ(api_->openSockets(), 0);
    api_->release();
    ASSERT_TRUE(waitFor(BluetoothService::State::Listening)) << "tried again after the wait";
    EXPECT_EQ(api_->published(), 1);
}

TEST_F(BluetoothServiceTest, ARefusedRecordLeavesNothingOpenAndARadioArrivingTriesAgain) {
    // A wait far longer than the test: only the radio's notice can bring the next try.
    make(60000);
    api_->failRecord(WSAEACCES);
    service_->switchOn();
    ASSERT_TRUE(waitFor(BluetoothService::State::Unavailable));
    EXPECT_NE(service_->problem().find(L"10013"), std::wstring::npos) << service_->problem();
    EXPECT_EQ(api_->openSockets(), 0);
    api_->failRecord(0);
    const int tries = api_->socketsMade();
    settle();
    EXPECT_EQ(api_->socketsMade(), tries) << "no try before the wait is over";

    sendRadioNotice(service_->handle(), true);
    ASSERT_TRUE(waitFor(BluetoothService::State::Listening));
    EXPECT_EQ(api_->published(), 1);
}

TEST_F(BluetoothServiceTest, ARadioThatGoesTakesTheRecordAndThePhoneAndItsReturnBringsThemBack) {
    make(60000);
    service_->setPhones({kPhoneA}, {});
    listen();
    api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected));

    sendRadioNotice(service_->handle(), false);
    ASSERT_TRUE(waitFor(BluetoothService::State::Unavailable));
    EXPECT_EQ(service_->problem(), app::tr(BluetoothService::kRadioOff));
    EXPECT_EQ(gone_, 1) << "the phone is gone with it";
    EXPECT_EQ(api_->published(), 0);
    EXPECT_EQ(api_->openSockets(), 0);

    sendRadioNotice(service_->handle(), true);
    ASSERT_TRUE(waitFor(BluetoothService::State::Listening));
    EXPECT_EQ(api_->published(), 1);
}

// A phone that cannot keep up holds back only the newest bytes; the sends they replaced fail.
TEST_F(BluetoothServiceTest, OnlyTheNewestBytesWaitAndEverySendHasItsOutcome) {
    service_->setPhones({kPhoneA}, {});
    listen();
    const auto link = api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected));

    api_->setStuck(link, true);
    service_->send("one\n");
    ASSERT_TRUE(pumpUntil([&] { return api_->blocked(link); }));
    service_->send("two\n");
    service_->send("three\n");
    ASSERT_TRUE(pumpUntil([&] { return outcomes_.size() == 1; })) << "two gave way to three";
    api_->setStuck(link, false);
    ASSERT_TRUE(pumpUntil([&] { return outcomes_.size() == 3; }));
    EXPECT_EQ(api_->received(link), "one\nthree\n");
    EXPECT_EQ(outcomes_, (std::vector<bool>{false, true, true}));
}

// A phone that waits for the user's answer keeps no one out and holds nothing for long.
TEST_F(BluetoothServiceTest, APhoneAskedAboutHoldsNoPlace) {
    service_->setPhones({kPhoneA}, {});
    listen();
    const auto stranger = api_->connect(kPhoneB);
    ASSERT_TRUE(waitFor(BluetoothService::State::Asking));
    const auto allowed = api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected)) << "an allowed phone is let in";
    EXPECT_EQ(service_->phone()->address, kPhoneA);
    EXPECT_TRUE(api_->closedByService(stranger)) << "and the one asked about let go";
    EXPECT_EQ(gone_, 0);
    api_->leave(allowed);
    ASSERT_TRUE(waitFor(BluetoothService::State::Listening));

    // Gone while asked about, whatever it said before it went.
    const auto leaving = api_->connect(kPhoneB);
    api_->say(leaving, "0506");
    ASSERT_TRUE(waitFor(BluetoothService::State::Asking));
    api_->leave(leaving);
    ASSERT_TRUE(waitFor(BluetoothService::State::Listening));
    EXPECT_TRUE(api_->closedByService(leaving));

    // No answer: the question ends on its own.
    make(kRetryMs, 300);
    listen();
    const auto unanswered = api_->connect(kPhoneB);
    ASSERT_TRUE(passedThrough(BluetoothService::State::Asking));
    ASSERT_TRUE(pumpUntil([&] { return api_->closedByService(unanswered); }));
    EXPECT_TRUE(waitFor(BluetoothService::State::Listening));
    EXPECT_FALSE(service_->refusedPhones().contains(kPhoneB)) << "asked again next time";
    EXPECT_TRUE(chunks_.empty());
}

// An error of the program's own handling of a chunk (onChunk) goes to the window procedure's
// guard; the phone stays in and is still heard.
TEST_F(BluetoothServiceTest, AChunkWhoseHandlingFailedLeavesThePhoneHeard) {
    std::vector<std::wstring> errors;
    const auto oldHandler = framework::application().setExceptionHandler(
        [&](const std::exception& e) { errors.push_back(framework::messageOf(e)); });
    service_->setPhones({kPhoneA}, {});
    listen();
    const auto link = api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected));
    service_->onChunk = [&](const std::string& chunk) {
        chunks_.push_back(chunk);
        if (chunk == "01") {
            // The phone says more while the chunk is handled, and the handler serves messages
            // as the commands do.
            api_->say(link, "02");
            settle();
            throw framework::Exception(L"handling failed");
        }
    };
    api_->say(link, "01");
    EXPECT_TRUE(pumpUntil([&] { return received() == "0102"; })) << received();
    EXPECT_EQ(errors, std::vector<std::wstring>{L"handling failed"});
    EXPECT_EQ(service_->state(), BluetoothService::State::Connected);
    framework::application().setExceptionHandler(oldHandler);
}

TEST(BluetoothServiceOnWine, TheSystemsCallsFindNoServiceAndSaySoBeforeAndAfterTheSwitch) {
    framework::application().initialize();
    BluetoothService service(app::systemBluetoothApi());
    int changes = 0;
    service.onChange = [&] { ++changes; };
    service.probe();
    ASSERT_TRUE(pumpUntil([&] { return service.available().has_value(); }));
    EXPECT_EQ(service.available(), false);
    EXPECT_EQ(service.problem(), app::tr(BluetoothService::kNoSockets));
    EXPECT_GE(changes, 1) << "the probe's finding is told";
    service.switchOn();
    ASSERT_TRUE(pumpUntil([&] { return service.state() == BluetoothService::State::Unavailable; }));
    EXPECT_EQ(service.problem(), app::tr(BluetoothService::kNoSockets));
}

}  // namespace

// Keypilot's own Bluetooth service above its Winsock calls. The phones, the radio and the
// system's refusals are played by a stand-in of the calls (Wine has none: see
// fake_bluetooth_api.h); the socket news, the timers and the radio's device notices are real
// window messages. The last case makes the system's own calls under Wine, which has no Bluetooth
// sockets, as a PC without a usable radio.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <windows.h>

#include <dbt.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fake_bluetooth_api.h"
#include "framework/application.h"
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
    void make(UINT retryMs) {
        service_.reset();
        service_ = std::make_unique<BluetoothService>(api_, retryMs, kWriteTimeoutMs);
        service_->onChunk = [this](const std::string& chunk) { chunks_.push_back(chunk); };
        service_->onEnded = [this] { ++gone_; };
        service_->onSent = [this](phonelink::SendOutcome outcome) {
            outcomes_.push_back(outcome == phonelink::SendOutcome::Written);
        };
    }
    bool waitFor(BluetoothService::State state) {
        return pumpUntil([&] { return service_->state() == state; });
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
    int gone_ = 0;
};

TEST_F(BluetoothServiceTest, AnAllowedPhoneComesStraightInTalksAndIsGoneTheMomentItCloses) {
    api_->setName(kPhoneA, L"Pixel");
    service_->setPhones({kPhoneA}, {});
    service_->switchOn();
    EXPECT_EQ(service_->state(), BluetoothService::State::Listening);
    EXPECT_EQ(api_->securityAsked(), 1) << "an authenticated, encrypted link is asked for";
    ASSERT_EQ(api_->recordCalls().size(), 1U);
    EXPECT_EQ(api_->recordCalls()[0].first, FakeBluetoothApi::kChannel)
        << "the record names the channel the system gave";

    const auto link = api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected));
    EXPECT_EQ(service_->phone()->name, L"Pixel");
    // A frame split anywhere comes in pieces as the phone sent them, in order.
    api_->say(link, "V");
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
    EXPECT_EQ(api_->published(), 0) << "the record is withdrawn";
    EXPECT_EQ(api_->openSockets(), 0);
}

TEST_F(BluetoothServiceTest, APhoneNeverSeenIsAskedOnceAndOneRefusedIsClosedAtOnce) {
    api_->setName(kPhoneA, L"Pixel");
    service_->switchOn();
    const auto first = api_->connect(kPhoneA);
    api_->say(first, "01");
    ASSERT_TRUE(waitFor(BluetoothService::State::Asking));
    EXPECT_EQ(service_->phone()->address, kPhoneA);
    settle();
    EXPECT_TRUE(chunks_.empty()) << "nothing of it acts before the user answers";

    service_->answer(true);
    EXPECT_EQ(service_->state(), BluetoothService::State::Connected);
    ASSERT_TRUE(pumpUntil([&] { return received() == "01"; })) << "what it said meanwhile";
    EXPECT_TRUE(service_->allowedPhones().contains(kPhoneA));
    api_->leave(first);
    ASSERT_TRUE(waitFor(BluetoothService::State::Listening));
    const auto second = api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected)) << "allowed once: straight in";
    api_->leave(second);
    ASSERT_TRUE(waitFor(BluetoothService::State::Listening));

    const auto stranger = api_->connect(kPhoneB);
    ASSERT_TRUE(waitFor(BluetoothService::State::Asking));
    service_->answer(false);
    EXPECT_EQ(service_->state(), BluetoothService::State::Listening);
    EXPECT_TRUE(api_->closedByService(stranger));
    const auto again = api_->connect(kPhoneB);
    ASSERT_TRUE(pumpUntil([&] { return api_->closedByService(again); }));
    EXPECT_EQ(service_->state(), BluetoothService::State::Listening) << "not asked again";
}

TEST_F(BluetoothServiceTest, ASecondPhoneIsRefusedAndTheFirstGoesOnUndisturbed) {
    service_->setPhones({kPhoneA, kPhoneB}, {});
    service_->switchOn();
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
    service_->switchOn();
    api_->failAccepts({WSAECONNRESET});
    api_->connect(kPhoneA);
    api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected)) << "the next phone still gets in";
    EXPECT_EQ(api_->published(), 1);

    // The listening socket's own failure: down, with nothing left open or published, the phone
    // in gone, and tried again after the wait.
    api_->failAccepts({WSAENETDOWN});
    api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Unavailable));
    EXPECT_EQ(service_->problem(), app::tr(BluetoothService::kRadioOff));
    EXPECT_EQ(gone_, 1);
    EXPECT_EQ(api_->published(), 0);
    EXPECT_EQ(api_->openSockets(), 0);
    ASSERT_TRUE(waitFor(BluetoothService::State::Listening));
    EXPECT_EQ(api_->published(), 1);
}

TEST_F(BluetoothServiceTest, ARefusedRecordLeavesNothingOpenAndARadioArrivingTriesAgain) {
    // A wait far longer than the test: only the radio's notice can bring the next try.
    make(60000);
    api_->failRecord(WSAEACCES);
    service_->switchOn();
    EXPECT_EQ(service_->state(), BluetoothService::State::Unavailable);
    EXPECT_NE(service_->problem().find(L"10013"), std::wstring::npos) << service_->problem();
    EXPECT_EQ(api_->openSockets(), 0);
    api_->failRecord(0);
    const int tries = api_->socketsMade();
    settle();
    EXPECT_EQ(api_->socketsMade(), tries) << "no try before the wait is over";

    sendRadioNotice(service_->handle(), true);
    EXPECT_EQ(service_->state(), BluetoothService::State::Listening);
    EXPECT_EQ(api_->published(), 1);
}

TEST_F(BluetoothServiceTest, ARadioThatGoesTakesTheRecordAndThePhoneAndItsReturnBringsThemBack) {
    make(60000);
    service_->setPhones({kPhoneA}, {});
    service_->switchOn();
    api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected));

    sendRadioNotice(service_->handle(), false);
    EXPECT_EQ(service_->state(), BluetoothService::State::Unavailable);
    EXPECT_EQ(service_->problem(), app::tr(BluetoothService::kRadioOff));
    EXPECT_EQ(gone_, 1) << "the phone is gone at once";
    EXPECT_EQ(api_->published(), 0);
    EXPECT_EQ(api_->openSockets(), 0);

    sendRadioNotice(service_->handle(), true);
    EXPECT_EQ(service_->state(), BluetoothService::State::Listening);
    EXPECT_EQ(api_->published(), 1);
}

// A phone that cannot keep up holds back only the newest bytes; the sends they replaced fail.
TEST_F(BluetoothServiceTest, OnlyTheNewestBytesWaitAndEverySendHasItsOutcome) {
    service_->setPhones({kPhoneA}, {});
    service_->switchOn();
    const auto link = api_->connect(kPhoneA);
    ASSERT_TRUE(waitFor(BluetoothService::State::Connected));

    api_->setStuck(link, true);
    service_->send("one\n");
    service_->send("two\n");
    service_->send("three\n");
    api_->setStuck(link, false);
    ASSERT_TRUE(pumpUntil([&] { return outcomes_.size() == 3; }));
    EXPECT_EQ(api_->received(link), "one\nthree\n");
    EXPECT_EQ(outcomes_, (std::vector<bool>{false, true, true}));
}

TEST(BluetoothServiceOnWine, TheSystemsCallsFindNoServiceAndSaySoBeforeAndAfterTheSwitch) {
    framework::application().initialize();
    BluetoothService service(app::systemBluetoothApi());
    service.probe();
    ASSERT_EQ(service.available(), false);
    EXPECT_EQ(service.problem(), app::tr(BluetoothService::kNoSockets));
    service.switchOn();
    EXPECT_EQ(service.state(), BluetoothService::State::Unavailable);
    EXPECT_EQ(service.problem(), app::tr(BluetoothService::kNoSockets));
}

}  // namespace

// The program with its own Bluetooth service beside a real COM port of the testbed: a phone on
// the service is the link's as one on the port is (its presses act, its hello is answered on its
// own way and nowhere else), the tray follows it at once, the Connect a phone window switches
// the service, says when this PC cannot run it and asks once about a new phone, and the radio's
// slow calls never hold the program's windows. The phones are played by the stand-in of the
// Winsock calls (fake_bluetooth_api.h: Wine has no Bluetooth sockets), except in the last case,
// which makes the system's calls.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/keypilot.h"
#include "fake_bluetooth_api.h"
#include "keypilot_waits.h"
#include "ports/system_port_sources.h"
#include "program_test.h"
#include "session_claim.h"
#include "slow_calls.h"
#include "ways/bluetooth/bluetooth_phones.h"
#include "wine_test_support.h"

using app::BluetoothService;
using app::ConnectWindow;
using testing_support::FakeBluetoothApi;
using testing_support::pumpUntil;

namespace {

constexpr std::uint64_t kPhone = 0xA0A1A2A3A4A5;

class BluetoothLinkTest : public testing_support::ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        const auto ports = testing_support::testbedPair(0);
        programPort_ = ports.local;
        phonePort_ = ports.remote;
        api_->setName(kPhone, L"Pixel");
    }
    void TearDown() override {
        keypilot_.reset();
        ProgramTest::TearDown();
    }
    app::Keypilot& start(std::shared_ptr<app::BluetoothApi> api) {
        keypilot_ = std::make_unique<app::Keypilot>(testing_support::sessionClaim(),
                                                    ports::systemPortSources(), std::move(api));
        keypilot_->start();
        return *keypilot_;
    }
    // Keypilot listening on the testbed's port.
    void storePort() const {
        testing_support::storeSetting(L"com",
                                      std::to_wstring(std::stoi(programPort_.substr(3)) - 1));
    }
    std::wstring windowText(int id) const {
        wchar_t text[512] = {};
        GetWindowTextW(keypilot_->connectWindow().control(id), text, 512);
        return text;
    }
    void press(int id) const {
        const HWND button = keypilot_->connectWindow().control(id);
        SendMessageW(keypilot_->connectWindow().handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
    }
    bool serviceIs(BluetoothService::State state) const {
        return pumpUntil([&] { return keypilot_->bluetoothService().state() == state; });
    }
    std::wstring waitingHint() const {
        return L"Keypilot - " + programPort_ + L": ожидание телефона";
    }

    std::shared_ptr<FakeBluetoothApi> api_ = std::make_shared<FakeBluetoothApi>();
    std::unique_ptr<app::Keypilot> keypilot_;
    std::wstring programPort_, phonePort_;
};

TEST_F(BluetoothLinkTest, APhoneOnTheServiceActsIsAnsweredOnItsWayAndTheTrayFollowsAtOnce) {
    storePort();
    testing_support::storeSetting(app::setting_names::kBluetoothService, L"1");
    testing_support::storeSetting(app::setting_names::kAllowedPhones, app::phonesText({kPhone}));
    app::Keypilot& keypilot = start(api_);
    ASSERT_TRUE(testing_support::waitForOpen(keypilot));
    ASSERT_TRUE(serviceIs(BluetoothService::State::Listening));
    ASSERT_TRUE(pumpUntil([&] { return keypilot.trayIcon().hint() == waitingHint(); }));

    // Accepted is there: shown with no status tick in between.
    const auto link = api_->connect(kPhone);
    ASSERT_TRUE(serviceIs(BluetoothService::State::Connected));
    EXPECT_EQ(keypilot.trayIcon().iconIndex(), 1);
    EXPECT_EQ(keypilot.trayIcon().hint(), L"Keypilot - Bluetooth: подключен телефон Pixel");

    SetCursorPos(200, 200);
    for (const char* piece : {"H", "I0", "3", "08"}) {
        api_->say(link, piece);
    }
    ASSERT_TRUE(pumpUntil([&] { return api_->received(link).find('\n') != std::string::npos; }));
    const std::string answer = api_->received(link);
    EXPECT_EQ(answer.rfind("{\"type\":\"hello\",\"version\":", 0), 0U) << answer;
    POINT cursor{};
    ASSERT_TRUE(pumpUntil([&] { return GetCursorPos(&cursor) && cursor.y == 210; }));
    EXPECT_FALSE(keypilot.comWay().talking()) << "the COM port's sender said nothing";
    testing_support::PortEnd comPhone(phonePort_);
    EXPECT_EQ(comPhone.read(300), "") << "nothing went out of the COM port";

    // Closed is gone, at once too.
    api_->leave(link);
    ASSERT_TRUE(serviceIs(BluetoothService::State::Listening));
    EXPECT_EQ(keypilot.trayIcon().iconIndex(), 2);
    EXPECT_EQ(keypilot.trayIcon().hint(), waitingHint());
    EXPECT_FALSE(keypilot.bluetoothWay().contact().lastHeard());
    EXPECT_FALSE(keypilot.bluetoothWay().talking());

    // Both ways up: a press on the port acts too, and the tip names the way heard on last.
    const auto again = api_->connect(kPhone);
    ASSERT_TRUE(serviceIs(BluetoothService::State::Connected));
    const POINT before = cursor;
    ASSERT_TRUE(comPhone.send("PI06"));
    ASSERT_TRUE(pumpUntil([&] { return GetCursorPos(&cursor) && cursor.x == before.x + 10; }));
    EXPECT_EQ(keypilot.trayIcon().hint(), L"Keypilot - " + programPort_ + L": телефон подключен");
    api_->say(again, "PI");
    ASSERT_TRUE(pumpUntil([&] {
        return keypilot.trayIcon().hint() == L"Keypilot - Bluetooth: подключен телефон Pixel";
    }));
}

// The user's buttons ride on either way: the service's phone gets the list and its press's token
// on its own way, and a token confirms only on the way it went out on, though both ways talk.
TEST_F(BluetoothLinkTest, APowerButtonIsConfirmedOnlyOnTheWayItsTokenWentOutOn) {
    storePort();
    testing_support::storeSetting(app::setting_names::kBluetoothService, L"1");
    testing_support::storeSetting(app::setting_names::kAllowedPhones, app::phonesText({kPhone}));
    testing_support::storeSetting(L"0003", L"power|Sleep|sleep");
    testing_support::storeSetting(L"buttons", L"0003");
    testing_support::storeSetting(L"lastButton", L"0003");
    app::Keypilot& keypilot = start(api_);
    std::vector<app::PowerAction> calls;
    keypilot.buttonPresses().seams.power = [&](app::PowerAction action) {
        calls.push_back(action);
        return true;
    };
    ASSERT_TRUE(testing_support::waitForOpen(keypilot));
    ASSERT_TRUE(serviceIs(BluetoothService::State::Listening));
    const auto link = api_->connect(kPhone);
    ASSERT_TRUE(serviceIs(BluetoothService::State::Connected));
    testing_support::PortEnd comPhone(phonePort_);
    ASSERT_TRUE(comPhone.send("HI04"));
    ASSERT_TRUE(pumpUntil([&] { return keypilot.comWay().talking(); }));

    api_->say(link, "HI04");
    std::string heard;
    const auto hears = [&](const std::string& text) {
        return pumpUntil([&] {
            heard = api_->received(link);
            return heard.find(text) != std::string::npos;
        });
    };
    ASSERT_TRUE(hears(R"("name":"Sleep")"));
    api_->say(link, "BT0003");
    const std::string start = R"({"type":"confirm","id":"0003","token":")";
    ASSERT_TRUE(hears(start)) << heard;
    const std::string token = heard.substr(heard.find(start) + start.size(), 6);

    SetCursorPos(200, 200);
    ASSERT_TRUE(comPhone.send("CF0003" + token + "PI06"));
    POINT cursor{};
    ASSERT_TRUE(pumpUntil([&] { return GetCursorPos(&cursor) && cursor.x == 210; }));
    EXPECT_TRUE(calls.empty()) << "the COM port's sender never got the token";
    api_->say(link, "CF0003" + token);
    ASSERT_TRUE(pumpUntil([&] { return !calls.empty(); }));
    EXPECT_EQ(calls, std::vector{app::PowerAction::Sleep});
}

TEST_F(BluetoothLinkTest, TheWindowSwitchesTheServiceAndAsksOnceAboutANewPhone) {
    app::Keypilot& keypilot = start(api_);
    ASSERT_TRUE(keypilot.connectWindow().visible());
    EXPECT_NE(windowText(ConnectWindow::kServiceState).find(L"выключена"), std::wstring::npos);

    press(ConnectWindow::kServiceButton);
    ASSERT_TRUE(serviceIs(BluetoothService::State::Listening));
    EXPECT_EQ(testing_support::storedSetting(app::setting_names::kBluetoothService), L"1");
    EXPECT_EQ(windowText(ConnectWindow::kPortState).rfind(L"COM-порт не нужен", 0), 0U)
        << "step 2 needs no port now";

    // Asked where the user is: the window comes back for the question.
    keypilot.connectWindow().hide();
    const auto link = api_->connect(kPhone);
    ASSERT_TRUE(pumpUntil([&] {
        return IsWindowVisible(keypilot.connectWindow().control(ConnectWindow::kAskLabel));
    }));
    EXPECT_TRUE(keypilot.connectWindow().visible());
    EXPECT_EQ(keypilot.trayIcon().hint(),
              L"Keypilot - Bluetooth: телефон Pixel просит подключения, ответьте в "
              L"окне «Подключение телефона»");
    EXPECT_NE(windowText(ConnectWindow::kAskLabel).find(L"«Pixel» (A0:A1:A2:A3:A4:A5)"),
              std::wstring::npos)
        << "named by its name and address";
    EXPECT_EQ(keypilot.trayIcon().iconIndex(), 2) << "a phone asked about is not in yet";
    press(ConnectWindow::kAllowButton);
    EXPECT_EQ(keypilot.bluetoothService().state(), BluetoothService::State::Connected);
    EXPECT_EQ(testing_support::storedSetting(app::setting_names::kAllowedPhones), L"A0A1A2A3A4A5");
    EXPECT_FALSE(IsWindowVisible(keypilot.connectWindow().control(ConnectWindow::kAskLabel)));

    press(ConnectWindow::kServiceButton);
    EXPECT_EQ(keypilot.bluetoothService().state(), BluetoothService::State::Off);
    EXPECT_EQ(testing_support::storedSetting(app::setting_names::kBluetoothService), L"0");
    EXPECT_TRUE(pumpUntil([&] { return api_->closedByService(link) && api_->published() == 0; }));
}

// The radio's calls may take seconds: the probe's socket, the record published and withdrawn, an
// accept. Each is made on a thread of the service, and the program's windows answer meanwhile.
TEST_F(BluetoothLinkTest, SlowRadioCallsRunOffTheUiThreadWhileItAnswers) {
    using Call = FakeBluetoothApi::Call;
    testing_support::storeSetting(app::setting_names::kAllowedPhones, app::phonesText({kPhone}));
    api_->hold(Call::Socket);
    app::Keypilot& keypilot = start(api_);
    ASSERT_TRUE(keypilot.connectWindow().visible());
    // The held call holds while the window answers ten times; then it goes on.
    const auto answeredWhileHeld = [&](Call call) {
        if (!pumpUntil([&] { return api_->holding(call) == 1; }, 2000)) {
            return false;
        }
        testing_support::AnswerWatch watch(keypilot.connectWindow().handle());
        const bool answered = pumpUntil([&] { return watch.answered() >= 10; }, 2000);
        const bool held = api_->holding(call) == 1;
        watch.stop();
        api_->release();
        return answered && held && watch.failed() == 0;
    };
    EXPECT_TRUE(answeredWhileHeld(Call::Socket)) << "the window's probe";
    EXPECT_TRUE(pumpUntil([&] { return keypilot.bluetoothService().available() == true; }));

    api_->hold(Call::Record);
    press(ConnectWindow::kServiceButton);
    EXPECT_TRUE(answeredWhileHeld(Call::Record)) << "the record published";
    ASSERT_TRUE(serviceIs(BluetoothService::State::Listening));

    api_->hold(Call::Accept);
    api_->connect(kPhone);
    EXPECT_TRUE(answeredWhileHeld(Call::Accept)) << "the phone's accept";
    ASSERT_TRUE(serviceIs(BluetoothService::State::Connected));

    api_->hold(Call::Record);
    press(ConnectWindow::kServiceButton);
    EXPECT_EQ(keypilot.bluetoothService().state(), BluetoothService::State::Off);
    EXPECT_TRUE(answeredWhileHeld(Call::Record)) << "the record withdrawn";
    EXPECT_TRUE(pumpUntil([&] { return api_->published() == 0 && api_->started() == 0; }));
    EXPECT_FALSE(api_->threads().contains(GetCurrentThreadId())) << "a call ran on the UI thread";
}

TEST_F(BluetoothLinkTest, OnWineTheWindowSaysTheServiceIsNotAvailableBeforeAnythingIsSwitched) {
    app::Keypilot& keypilot = start(app::systemBluetoothApi());
    ASSERT_TRUE(keypilot.connectWindow().visible());
    std::wstring state;
    EXPECT_TRUE(pumpUntil([&] {
        state = windowText(ConnectWindow::kServiceState);
        return state.find(L"недоступна на этом компьютере") != std::wstring::npos;
    })) << state;
    EXPECT_NE(state.find(app::tr(BluetoothService::kNoSockets)), std::wstring::npos) << state;
    EXPECT_EQ(keypilot.bluetoothService().state(), BluetoothService::State::Off);
}

}  // namespace

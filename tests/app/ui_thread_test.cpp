// The main thread never waits on a slow call. Every call that may take seconds on a real PC is held
// here for up to 3 s through its seam, several at once: a port's device open and its set-up, a read
// of the port catalogue, a shell call, a launch's file check on a slow share, the Bluetooth
// service's publishing of its record, and the port's close during a write the phone never takes.
// Each runs on a thread of its own, and the program's windows answer all the while.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "app/keypilot.h"
#include "fake_bluetooth_api.h"
#include "framework/application.h"
#include "framework/registry.h"
#include "session_claim.h"
#include "slow_calls.h"
#include "wine_test_support.h"

using testing_support::FakeBluetoothApi;
using testing_support::pumpUntil;
using testing_support::SlowCalls;

namespace {

TEST(UiThreadTest, EverySlowCallRunsOffTheMainThreadWhileItAnswers) {
    framework::application().initialize();
    testing_support::deleteUserKey(L"Software\\Corvane");
    const auto pair = testing_support::testbedPair(0);
    auto section =
        framework::RegistryKey::create(HKEY_CURRENT_USER, L"Software\\Corvane\\Keypilot");
    section.writeText(L"com", std::to_wstring(std::stoi(pair.local.substr(3)) - 1));
    section.writeText(L"bluetooth", L"1");

    auto slow = std::make_shared<SlowCalls>();
    auto radio = std::make_shared<FakeBluetoothApi>();
    radio->beforeCall = [slow](FakeBluetoothApi::Call call) {
        if (call == FakeBluetoothApi::Call::Record) {
            slow->hold(SlowCalls::kBluetooth);
        }
    };
    const auto port = slow->commApi();
    {
        app::Keypilot keypilot(testing_support::sessionClaim(), slow->sources({pair.local}), radio);
        keypilot.comPort().setCommApi(port);
        keypilot.shell().execute = slow->shell();
        keypilot.buttonPresses().launcher().seams = slow->launch();
        testing_support::AnswerWatch watch(keypilot.connectWindow().handle());
        // The main thread answers ten times more while the calls of these kinds hold.
        const auto answersWhileHeld = [&](std::initializer_list<SlowCalls::Kind> kinds) {
            const int answered = watch.answered();
            return pumpUntil([&] { return watch.answered() >= answered + 10; }) &&
                   slow->allHolding(kinds);
        };

        // The user's own steps: the start's open of the stored port and of the service, the
        // "Connect a phone" window's catalogue, the tray's web site, a program on a share.
        keypilot.start();
        keypilot.showConnectWindow();
        keypilot.onWebsite();
        keypilot.buttonPresses().launcher().launch(L"\\\\share\\tools\\tool.exe");
        const auto atOnce = {SlowCalls::kOpen, SlowCalls::kCatalogue, SlowCalls::kShell,
                             SlowCalls::kLaunch, SlowCalls::kBluetooth};
        ASSERT_TRUE(pumpUntil([&] { return slow->allHolding(atOnce); }));
        EXPECT_TRUE(answersWhileHeld(atOnce));

        // The opened device's set-up.
        slow->release(SlowCalls::kOpen);
        ASSERT_TRUE(pumpUntil([&] { return slow->allHolding({SlowCalls::kSetUp}); }));
        EXPECT_TRUE(answersWhileHeld({SlowCalls::kSetUp}));
        slow->release(SlowCalls::kSetUp);
        ASSERT_TRUE(pumpUntil([&] { return keypilot.comPort().connected(); }));

        // The phone says hello and stops reading; OK closes the port during the write.
        port->hang(true);
        testing_support::PortEnd phone(pair.remote);
        ASSERT_TRUE(phone.send("HI04"));
        ASSERT_TRUE(pumpUntil([&] { return port->pending(); }));
        keypilot.onOk();
        ASSERT_TRUE(pumpUntil([&] { return slow->allHolding({SlowCalls::kClose}); }));
        EXPECT_TRUE(answersWhileHeld({SlowCalls::kClose}));

        slow->release();
        EXPECT_TRUE(pumpUntil([&] {
            return keypilot.ports().ports() && !keypilot.ports().reading() &&
                   slow->done(SlowCalls::kShell) == 1 && slow->done(SlowCalls::kClose) == 1 &&
                   keypilot.bluetoothService().state() == app::BluetoothService::State::Listening;
        }));
        watch.stop();
        EXPECT_EQ(watch.failed(), 0);
    }
    const DWORD mainThread = GetCurrentThreadId();
    const char* names[] = {"the port's open",     "the ports' read",  "the shell call",
                           "the port's set-up",   "the port's close", "the launch",
                           "the service's record"};
    for (int kind = 0; kind < SlowCalls::kKinds; ++kind) {
        const auto threads = slow->threads(static_cast<SlowCalls::Kind>(kind));
        EXPECT_FALSE(threads.empty()) << names[kind];
        for (DWORD thread : threads) {
            EXPECT_NE(thread, mainThread) << names[kind] << " ran on the main thread";
        }
    }
    for (DWORD thread : radio->threads()) {
        EXPECT_NE(thread, mainThread) << "a Winsock call ran on the main thread";
    }
    testing_support::deleteUserKey(L"Software\\Corvane");
}

}  // namespace

// The main thread never waits on a slow call. A port's device open, a read of the port catalogue
// and a shell call each take seconds here, all at once: every one runs on a thread of its own,
// and the program's windows answer all the while.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "app/keypilot.h"
#include "framework/application.h"
#include "framework/registry.h"
#include "session_claim.h"
#include "slow_calls.h"
#include "wine_test_support.h"

using testing_support::pumpUntil;
using testing_support::SlowCalls;

namespace {

TEST(UiThreadTest, SlowOpensCatalogueReadsAndShellCallsRunOffTheMainThreadWhileItAnswers) {
    framework::application().initialize();
    testing_support::deleteUserKey(L"Software\\Corvane");
    const auto pair = testing_support::testbedPair(0);
    const std::wstring index = std::to_wstring(std::stoi(pair.local.substr(3)) - 1);
    framework::RegistryKey::create(HKEY_CURRENT_USER, L"Software\\Corvane\\Keypilot")
        .writeText(L"com", index);

    auto slow = std::make_shared<SlowCalls>();
    {
        // Each slow call through the user's own steps: the start's open of the stored port, the
        // "Connect a phone" window's catalogue, the tray's web site.
        app::Keypilot keypilot(testing_support::sessionClaim(), slow->sources({pair.local}));
        keypilot.comPort().setCommApi(slow->commApi());
        keypilot.shell().execute = slow->shell();
        keypilot.start();
        keypilot.showConnectWindow();
        keypilot.onWebsite();
        EXPECT_TRUE(pumpUntil([&] { return slow->allHolding(); }, 2000))
            << "the three calls hold at once";

        testing_support::AnswerWatch watch(keypilot.connectWindow().handle());
        EXPECT_TRUE(pumpUntil([&] { return watch.answered() >= 10; }, 2000));
        EXPECT_TRUE(slow->allHolding()) << "answered while the calls held";
        watch.stop();
        EXPECT_EQ(watch.failed(), 0);

        slow->release();
        EXPECT_TRUE(pumpUntil([&] {
            return keypilot.comPort().connected() && keypilot.ports().ports() &&
                   !keypilot.ports().reading() && slow->done(SlowCalls::kShell) == 1;
        }));
    }
    const DWORD mainThread = GetCurrentThreadId();
    const char* names[] = {"the port's open", "the ports' read", "the shell call"};
    for (auto kind : {SlowCalls::kOpen, SlowCalls::kCatalogue, SlowCalls::kShell}) {
        const auto threads = slow->threads(kind);
        EXPECT_FALSE(threads.empty()) << names[kind];
        for (DWORD thread : threads) {
            EXPECT_NE(thread, mainThread) << names[kind] << " ran on the main thread";
        }
    }
    testing_support::deleteUserKey(L"Software\\Corvane");
}

}  // namespace

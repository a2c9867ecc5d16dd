// How Keypilot ends. Each test ends a Keypilot as the user or the system does, which ends this
// thread's message loop for good (the application notes the quit): these tests keep to a program
// of their own.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/instance_claim.h"
#include "app/keypilot.h"
#include "framework/application.h"
#include "framework/registry.h"
#include "keypilot_waits.h"
#include "program_test.h"
#include "serial/comm_api.h"
#include "session_claim.h"
#include "wine_test_support.h"

using framework::RegistryKey;
using testing_support::KeyRecorder;
using testing_support::PortEnd;
using testing_support::pumpUntil;

namespace {

using testing_support::kProgramSection;

class KeypilotEndingTest : public testing_support::ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ports_ = testing_support::testbedPair(0);
        testing_support::storeSetting(L"com", std::to_wstring(portIndexOf(ports_.local)));
    }
    static int portIndexOf(const std::wstring& port) { return std::stoi(port.substr(3)) - 1; }
    static std::optional<std::wstring> stored(const wchar_t* name) {
        return testing_support::storedSetting(name);
    }

    testing_support::PortPair ports_;
};

// Serves this thread's messages one at a time, as the program's loop does, until the command in
// progress has sent its key up: past that, a program that was told to end has left its loop.
bool serveUntilTheCommandIsOver() {
    const DWORD start = GetTickCount();
    while (KeyRecorder::keys.size() < 2) {
        if (GetTickCount() - start > 15000) {
            return false;
        }
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

// An OK inside a command waits with switching the port until the command is over; an end chosen
// before then must not lose the values, and opens no port on the way out.
TEST_F(KeypilotEndingTest, AnOkInsideACommandIsStoredWhenExitOrTheSessionsEndFollowsAtOnce) {
    const int otherPort = portIndexOf(testing_support::testbedPair(1).local);
    for (bool sessionEnds : {false, true}) {
        SCOPED_TRACE(sessionEnds ? "session ends" : "exit");
        auto section = RegistryKey::create(HKEY_CURRENT_USER, kProgramSection);
        section.deleteValue(L"mouse");
        section.writeText(L"com", std::to_wstring(portIndexOf(ports_.local)));
        auto keypilot = std::make_unique<app::Keypilot>(testing_support::sessionClaim());
        keypilot->start();
        ASSERT_TRUE(testing_support::waitForOpen(*keypilot));
        PortEnd phone(ports_.remote);
        KeyRecorder recorder;
        ASSERT_TRUE(recorder.takeForeground());
        app::SettingsWindow& settings = keypilot->settingsWindow();
        settings.setCursorStep(sessionEnds ? 12 : 9);
        settings.setPortIndex(otherPort);
        KeyRecorder::onKeyDown = [&] {
            keypilot->onOk();
            if (sessionEnds) {
                // Once this is answered, the system may end the process at any moment.
                SendMessageW(settings.handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
                EXPECT_EQ(stored(L"mouse"), L"12") << "stored before the answer";
            } else {
                keypilot->onExit();
            }
        };
        phone.send("09");
        ASSERT_TRUE(serveUntilTheCommandIsOver());
        EXPECT_EQ(keypilot->comPort().port(), ports_.local) << "no port switched on the way out";
        keypilot.reset();
        EXPECT_EQ(stored(L"mouse"), sessionEnds ? L"12" : L"9");
        EXPECT_EQ(stored(L"com"), std::to_wstring(otherPort));
    }
}

// Stands in for a Bluetooth driver whose close takes seconds, which a pseudo-terminal cannot do:
// at the moment the port's device is closed (on the close's own thread), it looks at what else of
// Keypilot is left.
class ClosingCommApi : public serial::CommApi {
  public:
    std::function<void()> atClose;
    BOOL closeDevice(HANDLE device) override {
        if (atClose) {
            std::exchange(atClose, nullptr)();
        }
        return CommApi::closeDevice(device);
    }
};

// Whether the shell still shows the icon (changing a gone icon fails).
bool trayIconPresent(HWND window, UINT id) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = id;
    data.uFlags = NIF_TIP;
    lstrcpyW(data.szTip, L"Keypilot");
    return Shell_NotifyIconW(NIM_MODIFY, &data);
}

// A Keypilot started while the port still closes is not turned away unseen: by then the icon is
// gone and the claim free. The end waits for the close.
TEST_F(KeypilotEndingTest, TheIconGoesThenTheClaimThenThePortCloses) {
    for (bool sessionEnds : {false, true}) {
        SCOPED_TRACE(sessionEnds ? "session ends" : "exit");
        auto driver = std::make_shared<ClosingCommApi>();
        auto keypilot = std::make_unique<app::Keypilot>(testing_support::sessionClaim());
        keypilot->comPort().setCommApi(driver);
        keypilot->start();
        ASSERT_TRUE(testing_support::waitForOpen(*keypilot));
        const HWND tray = tray::TrayIcon::callbackWindow();
        const UINT id = keypilot->trayIcon().trayId();
        ASSERT_TRUE(pumpUntil([&] { return trayIconPresent(tray, id); }));
        std::optional<bool> claimFree, iconShown;
        driver->atClose = [&] {
            claimFree = app::InstanceClaim::take().has_value();
            iconShown = trayIconPresent(tray, id);
        };
        if (sessionEnds) {
            SendMessageW(keypilot->settingsWindow().handle(), WM_ENDSESSION, TRUE,
                         ENDSESSION_LOGOFF);
        } else {
            keypilot.reset();
        }
        ASSERT_TRUE(claimFree.has_value()) << "the port was closed";
        EXPECT_TRUE(*claimFree) << "the claim was free when the port closed";
        EXPECT_FALSE(*iconShown) << "the icon had gone when the port closed";
    }
}

}  // namespace

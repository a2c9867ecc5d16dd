#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "app/keypilot.h"
#include "framework/application.h"
#include "framework/exception.h"
#include "framework/registry.h"
#include "framework/text.h"
#include "held_open_comm_api.h"
#include "i18n/translation.h"
#include "keypilot_waits.h"
#include "program_test.h"
#include "session_claim.h"
#include "settings/autostart.h"
#include "windows/window_layout.h"
#include "wine_test_support.h"

using framework::RegistryKey;
using testing_support::pumpUntil;
using testing_support::waitForOpen;

namespace {

using testing_support::kProgramSection;
using testing_support::kProgramStore;

// The program object in the test's own process, on the testbed's registry and ports.
class KeypilotObjectTest : public testing_support::ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        keepErrors();
        auto run = RegistryKey::open(HKEY_CURRENT_USER, app::Autostart::kRunKey);
        if (run.isOpen()) {
            run.deleteValue(app::Autostart::kValueName);
        }
        const auto ports = testing_support::testbedPair(0);
        programPort_ = ports.local;
        phonePort_ = ports.remote;
    }
    static void store(const wchar_t* name, const wchar_t* value) {
        testing_support::storeSetting(name, value);
    }
    static std::optional<std::wstring> stored(const wchar_t* name) {
        return testing_support::storedSetting(name);
    }
    // The tip while the port is open and no phone has been heard.
    std::wstring waitingHint() const {
        return L"Keypilot - " + programPort_ + L": ожидание телефона";
    }
    // The "com" index of the testbed's first program-side port (COM5 → "4").
    std::wstring programPortIndex() const {
        return std::to_wstring(std::stoi(programPort_.substr(3)) - 1);
    }

    std::wstring programPort_, phonePort_;
};

TEST_F(KeypilotObjectTest, WithoutAStoreStartsWithTheDefaultsAndCreatesOnlyTheEmptyKey) {
    app::Keypilot keypilot{testing_support::sessionClaim()};
    app::SettingsWindow& settings = keypilot.settingsWindow();
    EXPECT_EQ(settings.cursorStep(), 3) << "the slider's design position before loading";
    keypilot.start();
    ASSERT_TRUE(testing_support::waitForPorts(keypilot));
    EXPECT_EQ(settings.cursorStep(), 10);
    EXPECT_EQ(settings.programText(), L"calc.exe");
    EXPECT_EQ(settings.portIndex(), 0);
    EXPECT_EQ(keypilot.comPort().port(), L"COM1");
    EXPECT_TRUE(RegistryKey::open(HKEY_CURRENT_USER, kProgramStore).isOpen());
    EXPECT_FALSE(RegistryKey::open(HKEY_CURRENT_USER, kProgramSection).isOpen());
    EXPECT_FALSE(keypilot.autostart().enabled());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(KeypilotObjectTest, StoredValuesLoadHeldToTheirBounds) {
    struct Case {
        const wchar_t* mouse;
        const wchar_t* com;
        int step;
        int index;
        const wchar_t* port;
    } cases[] = {{L"45", L"29", 30, 29, L"COM30"},
                 {L"abc", L"30", 10, -1, L"COM0"},
                 {L"-5", L"-1", 3, -1, L"COM0"},
                 {L"17", L"2", 17, 2, L"COM3"},
                 {L"2147483648", L"9999999999999", 30, -1, L"COM0"},
                 {L"-2147483649", L"-2147483649", 3, -1, L"COM0"}};
    for (const auto& c : cases) {
        store(L"mouse", c.mouse);
        store(L"com", c.com);
        store(L"exe", L"");
        app::Keypilot keypilot{testing_support::sessionClaim()};
        app::SettingsWindow& settings = keypilot.settingsWindow();
        keypilot.start();
        EXPECT_EQ(settings.cursorStep(), c.step) << c.mouse;
        EXPECT_EQ(settings.portIndex(), c.index) << c.com;
        EXPECT_EQ(keypilot.comPort().port(), c.port) << c.com;
        EXPECT_EQ(settings.programText(), L"") << "an empty program stays empty";
        EXPECT_FALSE(keypilot.comPort().connected());
    }
}

TEST_F(KeypilotObjectTest, AValueOfTheWrongTypeStopsStartUpAtThatStep) {
    RegistryKey::create(HKEY_CURRENT_USER, kProgramSection).writeInteger(L"mouse", 12);
    store(L"exe", L"notepad.exe");
    store(L"com", programPortIndex().c_str());
    app::Keypilot keypilot{testing_support::sessionClaim()};
    app::SettingsWindow& settings = keypilot.settingsWindow();
    keypilot.start();
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(framework::Application::displayText(errors_[0]), L"Invalid data type for 'mouse'.");
    EXPECT_EQ(settings.cursorStep(), 3);
    EXPECT_EQ(settings.programText(), L"calc.exe");
    EXPECT_EQ(settings.portIndex(), 0);
    EXPECT_FALSE(keypilot.comPort().connected());
    // The store still takes the first write.
    settings.setCursorStep(5);
    keypilot.onOk();
    EXPECT_EQ(stored(L"mouse"), L"5");
}

TEST_F(KeypilotObjectTest, OkProgramStoresTextsAndSwitchesTheConnectionEachTime) {
    store(L"com", programPortIndex().c_str());
    store(L"keys", L"input");
    app::Keypilot keypilot{testing_support::sessionClaim()};
    app::SettingsWindow& settings = keypilot.settingsWindow();
    keypilot.start();
    EXPECT_EQ(keypilot.keyDelivery(), app::KeyDelivery::Input);
    ASSERT_TRUE(waitForOpen(keypilot))
        << "start-up opens " << std::string(programPort_.begin(), programPort_.end());
    settings.setCursorStep(21);
    settings.setProgramText(L"C:\\Tools\\run me.exe");
    keypilot.onOk();
    EXPECT_FALSE(keypilot.comPort().connected());
    EXPECT_EQ(stored(L"mouse"), L"21");
    EXPECT_EQ(stored(L"exe"), L"C:\\Tools\\run me.exe");
    EXPECT_EQ(stored(L"com"), programPortIndex());
    DWORD type = 0;
    auto key = RegistryKey::open(HKEY_CURRENT_USER, kProgramSection, KEY_READ);
    for (const wchar_t* name : {L"mouse", L"exe", L"com"}) {
        RegQueryValueExW(key.handle(), name, nullptr, &type, nullptr, nullptr);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
    }
    store(L"keys", L"messages");
    keypilot.onOk();
    EXPECT_TRUE(waitForOpen(keypilot));
    EXPECT_EQ(keypilot.keyDelivery(), app::KeyDelivery::Messages) << "read again on OK";
    EXPECT_TRUE(errors_.empty());
}

// OK with another port while one is open switches to it; one that cannot be opened says why in
// the tip, from the first tick on, and is tried again silently.
TEST_F(KeypilotObjectTest, OkWithAnUnopenablePortWhileConnectedSwitchesAndTheTipSaysWhy) {
    store(L"com", programPortIndex().c_str());
    app::Keypilot keypilot{testing_support::sessionClaim()};
    app::SettingsWindow& settings = keypilot.settingsWindow();
    keypilot.start();
    ASSERT_TRUE(waitForOpen(keypilot));
    settings.setPortIndex(29);  // COM30 does not exist in the testbed
    HWND hwnd = settings.handle();
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(keypilot.comPort().connected());
    EXPECT_EQ(stored(L"com"), L"29");
    EXPECT_TRUE(
        pumpUntil([&] { return keypilot.trayIcon().hint() == L"Keypilot - COM30: отсутствует"; }));
    ASSERT_TRUE(testing_support::waitForTimerTicks(
        app::Keypilot::kStatusInterval, 2 * app::PortConnection::kReconnectTicks, 10000));
    EXPECT_EQ(keypilot.trayIcon().hint(), L"Keypilot - COM30: отсутствует");
    EXPECT_TRUE(errors_.empty()) << "the port is tried again silently";
}

TEST_F(KeypilotObjectTest, OnlyARunningKeypilotStopsAStart) {
    // Another program's window captioned "Keypilot" (a folder of that name in a file manager).
    HWND other = CreateWindowExW(0, L"STATIC", L"Keypilot", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    {
        auto first = app::InstanceClaim::take();
        ASSERT_TRUE(first.has_value());
        app::Keypilot keypilot(std::move(*first));
        keypilot.start();
        EXPECT_FALSE(app::InstanceClaim::take().has_value()) << "a second Keypilot ends";
    }
    DestroyWindow(other);
    EXPECT_TRUE(app::InstanceClaim::take().has_value())
        << "once the first has gone, Keypilot starts again";
}

TEST_F(KeypilotObjectTest, AutostartWritesTheQuotedPathThenEmptyTextAndNeverDeletes) {
    app::Keypilot keypilot{testing_support::sessionClaim()};
    keypilot.start();
    EXPECT_FALSE(keypilot.trayMenu().checked(keypilot.autostartItem()));
    keypilot.onAutostart();
    auto run = RegistryKey::open(HKEY_CURRENT_USER, app::Autostart::kRunKey, KEY_READ);
    auto value = run.readText(L"Keypilot");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->front(), L'"');
    EXPECT_EQ(value->back(), L'"');
    EXPECT_NE(value->find(L".exe"), std::wstring::npos);
    EXPECT_TRUE(keypilot.autostart().enabled());
    EXPECT_TRUE(keypilot.trayMenu().checked(keypilot.autostartItem()));
    keypilot.onAutostart();
    EXPECT_EQ(run.readText(L"Keypilot"), L"");
    EXPECT_FALSE(keypilot.trayMenu().checked(keypilot.autostartItem()));
}

TEST_F(KeypilotObjectTest, AutostartStateFollowsTheStoredText) {
    auto run = RegistryKey::create(HKEY_CURRENT_USER, app::Autostart::kRunKey);
    run.writeText(L"Keypilot", L"C:\\Other\\remote.exe");
    {
        app::Keypilot keypilot{testing_support::sessionClaim()};
        keypilot.start();
        EXPECT_FALSE(keypilot.autostart().enabled());
    }
    run.writeText(L"Keypilot", L"C:\\Old Versions\\Keypilot.exe");
    {
        app::Keypilot keypilot{testing_support::sessionClaim()};
        keypilot.start();
        EXPECT_TRUE(keypilot.autostart().enabled())
            << "an unquoted value of older versions reads as on";
    }
}

// An open port is no phone: the tray says it waits until a valid chunk comes, then that the phone
// is connected, and waits again once the phone has been silent for a while.
TEST_F(KeypilotObjectTest, TheTraySaysWaitingUntilThePhoneIsHeardThenConnected) {
    store(L"com", programPortIndex().c_str());
    app::Keypilot keypilot{testing_support::sessionClaim()};
    EXPECT_EQ(keypilot.trayIcon().hint(), L"Keypilot");
    EXPECT_EQ(keypilot.trayIcon().iconIndex(), 0);
    keypilot.start();
    ASSERT_TRUE(pumpUntil([&] { return keypilot.trayIcon().hint() == waitingHint(); }, 3000));
    EXPECT_EQ(keypilot.trayIcon().iconIndex(), 2);
    EXPECT_EQ(keypilot.linkStatus(), app::LinkStatus::Waiting);
    int chunks = 0;
    auto handler = keypilot.comPort().onRxChar;
    keypilot.comPort().onRxChar = [&](serial::SerialPort& port, int32_t count) {
        handler(port, count);
        ++chunks;
    };
    testing_support::PortEnd phone(phonePort_);
    // Noise on the line is no phone.
    ASSERT_TRUE(phone.send("zz"));
    ASSERT_TRUE(pumpUntil([&] { return chunks == 1; }));
    ASSERT_TRUE(testing_support::waitForTimerTicks(app::Keypilot::kStatusInterval, 1));
    EXPECT_EQ(keypilot.trayIcon().hint(), waitingHint());
    EXPECT_FALSE(keypilot.comWay().contact().lastHeard());
    // The page's sign of life.
    ASSERT_TRUE(phone.send("PI"));
    ASSERT_TRUE(pumpUntil([&] { return keypilot.trayIcon().hint() == L"Keypilot - подключен"; }));
    EXPECT_EQ(keypilot.trayIcon().iconIndex(), 1);
    EXPECT_TRUE(keypilot.comWay().contact().lastHeard());
    // Silent since: waiting again.
    ASSERT_TRUE(pumpUntil([&] { return keypilot.trayIcon().hint() == waitingHint(); },
                          2 * phonelink::PhoneContact::kPingingSilenceMs));
    EXPECT_EQ(keypilot.trayIcon().iconIndex(), 2);
    keypilot.onOk();
    ASSERT_TRUE(pumpUntil([&] { return keypilot.trayIcon().iconIndex() == 0; }, 3000));
    EXPECT_EQ(keypilot.trayIcon().hint(), L"Keypilot");
    EXPECT_FALSE(keypilot.comWay().contact().lastHeard()) << "forgotten with the port";
}

TEST_F(KeypilotObjectTest, AFailedOpenShowsItsReasonAndIsTriedAgainButOkClosedStaysClosed) {
    store(L"com", L"29");  // COM30 does not exist in the testbed
    app::Keypilot keypilot{testing_support::sessionClaim()};
    app::SettingsWindow& settings = keypilot.settingsWindow();
    keypilot.start();
    EXPECT_TRUE(
        pumpUntil([&] { return keypilot.trayIcon().hint() == L"Keypilot - COM30: отсутствует"; }));
    EXPECT_EQ(keypilot.trayIcon().iconIndex(), 0);
    EXPECT_TRUE(errors_.empty()) << "tries are silent";
    // OK on the closed port opens the chosen one.
    settings.setPortIndex(std::stoi(programPortIndex()));
    keypilot.onOk();
    ASSERT_TRUE(waitForOpen(keypilot));
    ASSERT_TRUE(pumpUntil([&] { return keypilot.trayIcon().hint() == waitingHint(); }));
    // OK on the open port is the user's disconnect: no try opens it again.
    keypilot.onOk();
    ASSERT_TRUE(testing_support::waitForTimerTicks(
        app::Keypilot::kStatusInterval, 2 * app::PortConnection::kReconnectTicks, 10000));
    EXPECT_FALSE(keypilot.comPort().connected());
    EXPECT_EQ(keypilot.trayIcon().hint(), L"Keypilot");
    // No port named: no reason, nothing tried.
    settings.setPortIndex(-1);
    keypilot.onOk();
    ASSERT_TRUE(testing_support::waitForTimerTicks(
        app::Keypilot::kStatusInterval, 2 * app::PortConnection::kReconnectTicks, 10000));
    EXPECT_EQ(keypilot.trayIcon().hint(), L"Keypilot");
    EXPECT_TRUE(errors_.empty());
}

// Whether the program's windows answer a message sent from another thread while this thread
// serves its messages, as the message loop does.
bool answersFromAnotherThread(std::vector<HWND> windows) {
    std::atomic<int> answered{-1};
    std::thread other([&] {
        int count = 0;
        for (HWND window : windows) {
            DWORD_PTR result = 0;
            if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) {
                ++count;
            }
        }
        answered = count;
    });
    pumpUntil([&] { return answered >= 0; }, 15000);
    other.join();
    return answered == static_cast<int>(windows.size());
}

// A try whose device call hangs in the driver: the program answers all the while, the tip keeps
// its reason, no second try starts, and the device is taken once the call returns.
TEST_F(KeypilotObjectTest, ALostLinkIsShownAndARetryThatHangsInTheDriverFreezesNothing) {
    store(L"com", programPortIndex().c_str());
    auto driver = std::make_shared<testing_support::HeldOpenCommApi>();
    app::Keypilot keypilot{testing_support::sessionClaim()};
    keypilot.comPort().setCommApi(driver);
    keypilot.start();
    ASSERT_TRUE(waitForOpen(keypilot));
    driver->hold();
    testing_support::DroppedLink link(programPort_);
    ASSERT_TRUE(link.drop());
    const std::wstring lost = L"Keypilot - " + programPort_ + L": связь потеряна";
    EXPECT_TRUE(pumpUntil([&] { return keypilot.trayIcon().hint() == lost; }, 10000));
    ASSERT_TRUE(pumpUntil([&] { return driver->holding(); }, 10000)) << "a try is under way";
    EXPECT_TRUE(answersFromAnotherThread({keypilot.settingsWindow().handle(),
                                          tray::TrayIcon::callbackWindow(),
                                          framework::application().handle()}));
    ASSERT_TRUE(testing_support::waitForTimerTicks(
        app::Keypilot::kStatusInterval, 2 * app::PortConnection::kReconnectTicks, 10000));
    EXPECT_EQ(keypilot.trayIcon().hint(), lost);
    ASSERT_TRUE(link.restore());
    driver->release();
    EXPECT_TRUE(pumpUntil([&] { return keypilot.comPort().connected(); }));
    EXPECT_TRUE(pumpUntil([&] { return keypilot.trayIcon().hint() == waitingHint(); }));
    EXPECT_TRUE(errors_.empty());
}

// An error of Keypilot's own command code ends the port's event thread as a lost link does, and
// the port is opened again; meanwhile the tip blames Keypilot, with the error's text, not the
// link.
TEST_F(KeypilotObjectTest,
       AnErrorOfTheCommandCodeIsShownInTheTipAsKeypilotsOwnAndTheLinkComesBack) {
    store(L"com", programPortIndex().c_str());
    app::Keypilot keypilot{testing_support::sessionClaim()};
    keypilot.start();
    ASSERT_TRUE(waitForOpen(keypilot));
    keypilot.connection().onChunk = [](const std::string&) {
        throw framework::Exception(L"no such command table");
    };
    testing_support::PortEnd phone(phonePort_);
    ASSERT_TRUE(phone.send("06"));
    const std::wstring failed =
        L"Keypilot - " + programPort_ + L": сбой в Keypilot: no such command table";
    EXPECT_TRUE(pumpUntil([&] { return keypilot.trayIcon().hint() == failed; }, 10000));
    EXPECT_TRUE(pumpUntil([&] { return keypilot.trayIcon().hint() == waitingHint(); }));
    EXPECT_TRUE(errors_.empty()) << "no box";
}

// A try's device that comes after OK, or after the end, is closed unused; the end does not wait
// for a call that hangs.
TEST_F(KeypilotObjectTest, ADeviceThatComesAfterOkOrTheEndIsClosedUnused) {
    store(L"com", L"29");  // COM30 does not exist in the testbed: start-up fails, tries follow
    auto driver = std::make_shared<testing_support::HeldOpenCommApi>();
    auto keypilot = std::make_unique<app::Keypilot>(testing_support::sessionClaim());
    app::SettingsWindow& settings = keypilot->settingsWindow();
    keypilot->comPort().setCommApi(driver);
    keypilot->start();
    const std::wstring failed = L"Keypilot - COM30: отсутствует";
    ASSERT_TRUE(pumpUntil([&] { return keypilot->trayIcon().hint() == failed; }));
    driver->hold(L"COM30");
    ASSERT_TRUE(pumpUntil([&] { return driver->holding(); }, 10000)) << "a try is under way";
    EXPECT_EQ(keypilot->trayIcon().hint(), failed) << "the last reason stands meanwhile";

    settings.setPortIndex(std::stoi(programPortIndex()));
    keypilot->onOk();
    ASSERT_TRUE(waitForOpen(*keypilot)) << "OK's own try does not wait for the hanging one";
    testing_support::StandInDevice afterOk;
    const HANDLE afterOkHandle = afterOk.handle();
    driver->release(afterOk.handOver());
    EXPECT_TRUE(pumpUntil([&] { return afterOk.closed(); }));
    EXPECT_FALSE(driver->setUp(afterOkHandle));
    EXPECT_TRUE(keypilot->comPort().connected());

    // Another port that cannot be opened: its tries start, and one hangs when the end comes.
    settings.setPortIndex(29);
    SendMessageW(settings.handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(pumpUntil([&] { return keypilot->trayIcon().hint() == failed; }));
    driver->hold(L"COM30");
    ASSERT_TRUE(pumpUntil([&] { return driver->holding(); }, 10000)) << "a try is under way";
    keypilot.reset();
    EXPECT_TRUE(driver->holding()) << "the end waited for the hanging call";
    testing_support::StandInDevice afterEnd;
    driver->release(afterEnd.handOver());
    EXPECT_TRUE(pumpUntil([&] { return afterEnd.closed(); }));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(KeypilotObjectTest, SettingsWindowHasNoCloseBoxAndItsControlsWhereTheyBelong) {
    app::Keypilot keypilot{testing_support::sessionClaim()};
    app::SettingsWindow& settings = keypilot.settingsWindow();
    HWND hwnd = settings.handle();
    LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    EXPECT_FALSE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_EQ(GetWindow(hwnd, GW_OWNER), framework::application().handle());
    wchar_t caption[64];
    GetWindowTextW(hwnd, caption, 64);
    EXPECT_STREQ(caption, L"Свойства: Keypilot");
    for (UINT dpi : {96u, 192u}) {
        if (dpi != settings.dpi()) {
            testing_support::changeDpi(hwnd, dpi);
        }
        RECT client;
        GetClientRect(hwnd, &client);
        EXPECT_GE(client.right, app::scaleForDpi(410, dpi));
        EXPECT_EQ(client.bottom, app::scaleForDpi(331, dpi));
        int count = 0;
        const app::ControlRect* rects = app::controlRects(count);
        for (int i = 0; i < count; ++i) {
            if (rects[i].id == app::kPortList) {
                continue;  // its window includes the open list
            }
            HWND child = settings.control(rects[i].id);
            ASSERT_NE(child, nullptr) << rects[i].id;
            RECT r;
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
            RECT want = app::scaleForDpi(rects[i].bounds, dpi);
            // Controls grow to their texts' needs (the fonts differ between systems), never
            // shrink, and keep their rows.
            EXPECT_EQ(r.top, want.top) << "control " << rects[i].id << " at " << dpi;
            EXPECT_GE(r.right - r.left, want.right - want.left) << "control " << rects[i].id;
        }
    }
    EXPECT_EQ(app::controlRect96(app::kOkButton).left, 234);
    EXPECT_EQ(app::controlRect96(app::kPortList).left, 13 + 16);
    EXPECT_EQ(SendMessageW(settings.control(app::kPortList), CB_GETCOUNT, 0, 0), 30);
    EXPECT_EQ(SendMessageW(settings.control(app::kSpeedSlider), TBM_GETRANGEMIN, 0, 0), 3);
    EXPECT_EQ(SendMessageW(settings.control(app::kSpeedSlider), TBM_GETRANGEMAX, 0, 0), 30);
}

TEST_F(KeypilotObjectTest, CancelHidesAndKeepsTheChangesLive) {
    app::Keypilot keypilot{testing_support::sessionClaim()};
    app::SettingsWindow& settings = keypilot.settingsWindow();
    keypilot.start();
    keypilot.showSettings();
    EXPECT_TRUE(IsWindowVisible(settings.handle()));
    EXPECT_TRUE(IsWindowVisible(framework::application().handle())) << "taskbar button shown";
    keypilot.showSettings();
    EXPECT_TRUE(IsWindowVisible(settings.handle()));
    settings.setCursorStep(25);
    SendMessageW(settings.handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindowVisible(settings.handle()));
    EXPECT_FALSE(IsWindowVisible(framework::application().handle()));
    keypilot.showSettings();
    EXPECT_EQ(settings.cursorStep(), 25);
    EXPECT_FALSE(stored(L"mouse").has_value()) << "Cancel stores nothing";
    settings.hide();
}

TEST_F(KeypilotObjectTest, ADoubleClickOnTheTrayIconShowsTheSettingsWindow) {
    app::Keypilot keypilot{testing_support::sessionClaim()};
    app::SettingsWindow& settings = keypilot.settingsWindow();
    keypilot.start();
    EXPECT_EQ(keypilot.trayMenu().defaultItemIndex(), keypilot.settingsItem());
    HWND callback = tray::TrayIcon::callbackWindow();
    ASSERT_NE(callback, nullptr);
    UINT id = keypilot.trayIcon().trayId();
    for (UINT shellMessage : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}) {
        SendMessageW(callback, tray::WM_TRAYICON_CALLBACK, id, shellMessage);
    }
    EXPECT_TRUE(pumpUntil([&] { return IsWindowVisible(settings.handle()) != FALSE; }));
    settings.hide();
}

// The program's catalogues lie beside the test program. English and Russian come from them; a
// language without a catalogue gets English; "xx" has very long texts. In each, every text fits its
// control, measured with the font the control actually has, from 100 % to 200 % scale.
TEST_F(KeypilotObjectTest, TextsFollowTheLanguageAndFitTheirControlsAtEveryScale) {
    struct Case {
        const wchar_t* lang;
        const wchar_t* caption;
        const wchar_t* ok;
        std::vector<std::wstring> menu;
        const wchar_t* waiting;  // after "Keypilot - COM5: "
    } cases[] = {
        {L"en_US.UTF-8",
         L"Properties: Keypilot",
         L"OK",
         {L"Connect a phone…", L"Phone buttons…", L"Settings", L"Start with Windows", L"-",
          L"Keypilot on the web", L"-", L"Exit"},
         L"waiting for the phone"},
        {L"ru_RU.UTF-8",
         L"Свойства: Keypilot",
         L"ОК",
         {L"Подключить телефон…", L"Кнопки телефона…", L"Настройки", L"Автозагрузка", L"-",
          L"Сайт программы", L"-", L"Выход"},
         L"ожидание телефона"},
        {L"de_DE.UTF-8",
         L"Properties: Keypilot",
         L"OK",
         {L"Connect a phone…", L"Phone buttons…", L"Settings", L"Start with Windows", L"-",
          L"Keypilot on the web", L"-", L"Exit"},
         L"waiting for the phone"},
        // Much longer texts than either: the window grows (the menu is not translated).
        {L"xx",
         L"Eigenschaften des Programms: Keypilot",
         L"Übernehmen und schließen",
         {L"Подключить телефон…", L"Кнопки телефона…", L"Настройки", L"Автозагрузка", L"-",
          L"Сайт программы", L"-", L"Выход"},
         L"ожидание телефона"},
    };
    store(L"com", programPortIndex().c_str());
    std::wstring oldLang = testing_support::environment(L"LANG");
    for (const auto& c : cases) {
        SetEnvironmentVariableW(L"LANG", c.lang);
        i18n::startup();
        {
            app::Keypilot keypilot{testing_support::sessionClaim()};
            app::SettingsWindow& settings = keypilot.settingsWindow();
            keypilot.start();
            HWND hwnd = settings.handle();
            wchar_t text[128] = {};
            GetWindowTextW(hwnd, text, 128);
            EXPECT_STREQ(text, c.caption) << c.lang;
            GetWindowTextW(settings.control(app::kOkButton), text, 128);
            EXPECT_STREQ(text, c.ok) << c.lang;
            ASSERT_EQ(keypilot.trayMenu().count(), static_cast<int>(c.menu.size()));
            for (int i = 0; i < keypilot.trayMenu().count(); ++i) {
                EXPECT_EQ(keypilot.trayMenu().item(i).caption, c.menu[i]) << c.lang;
            }
            const std::wstring hint = L"Keypilot - " + programPort_ + L": " + c.waiting;
            EXPECT_TRUE(pumpUntil([&] { return keypilot.trayIcon().hint() == hint; }, 3000))
                << c.lang;

            for (UINT dpi : {96u, 144u, 192u}) {
                testing_support::changeDpi(hwnd, dpi);
                int count = 0;
                const app::ControlRect* rects = app::controlRects(count);
                for (int i = 0; i < count; ++i) {
                    HWND child = settings.control(rects[i].id);
                    int margin = 0;
                    if (testing_support::isLabelOrButton(child, &margin)) {
                        const bool wraps = rects[i].id == app::kDescriptionLabel;
                        testing_support::expectTextFits(hwnd, child, wraps, margin, dpi,
                                                        framework::toUtf8(c.lang));
                    }
                }
            }
        }
        i18n::shutdown();
    }
    SetEnvironmentVariableW(L"LANG", oldLang.empty() ? nullptr : oldLang.c_str());
}

}  // namespace

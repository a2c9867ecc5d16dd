// The "Connect a phone" window with the program object in the test's process: when it opens, its
// QR code as read off the screen, its port step fed through the catalogue's seam, "Listen on"
// inside a command, the phone heard, and its texts in both languages at two scales.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/keypilot.h"
#include "framework/application.h"
#include "framework/registry.h"
#include "framework/text.h"
#include "i18n/translation.h"
#include "keypilot_waits.h"
#include "program_test.h"
#include "qr_codes.h"
#include "session_claim.h"
#include "windows/window_layout.h"
#include "wine_test_support.h"

using app::ConnectWindow;
using testing_support::KeyRecorder;
using testing_support::pumpUntil;
using testing_support::storedSetting;
using testing_support::storeSetting;

namespace {

// The link's version as the QR code and the address carry it.
const std::string kVersion = "v=" + std::to_string(phonelink::kProtocolVersion);
const std::string kPage = "https://corvane.ru/keypilot/remote/?" + kVersion;

// A Bluetooth serial port as Windows lists it: address zero is the incoming port.
ports::PortDevice bluetoothIncoming(const std::wstring& name) {
    return {name,
            L"Standard Serial over Bluetooth link (" + name + L")",
            {L"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_LOCALMFG&0002"},
            L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&2A8D4DA8&0&"
            L"000000000000_C00000000"};
}

int indexOf(const std::wstring& port) {
    return std::stoi(port.substr(3)) - 1;
}

class ConnectWindowTest : public testing_support::ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        first_ = testing_support::testbedPair(0);
        second_ = testing_support::testbedPair(1);
        third_ = testing_support::testbedPair(2);
    }
    void TearDown() override {
        keypilot_.reset();
        ProgramTest::TearDown();
    }
    // Keypilot with the testbed's ports, of which these are Bluetooth incoming ones; the devices
    // can change while it runs (between reads: the reading thread copies them).
    app::Keypilot& startKeypilot(std::vector<std::wstring> incoming) {
        incoming_ = std::make_shared<std::vector<std::wstring>>(std::move(incoming));
        ports::PortSources sources;
        // A read may still run after the test: it holds what it reads.
        sources.registeredNames = [names = std::vector{first_.local, first_.remote, second_.local,
                                                       second_.remote, third_.local,
                                                       third_.remote}] { return names; };
        sources.devices = [devices = incoming_] {
            std::vector<ports::PortDevice> out;
            for (const auto& name : *devices) {
                out.push_back(bluetoothIncoming(name));
            }
            return out;
        };
        keypilot_ = std::make_unique<app::Keypilot>(testing_support::sessionClaim(), sources);
        keypilot_->shell().execute = [runs = shellRuns_](const std::wstring& file,
                                                         const std::wstring& parameters) {
            std::lock_guard guard(runs->lock);
            runs->calls.push_back(file + L" " + parameters);
        };
        keypilot_->start();
        EXPECT_TRUE(testing_support::waitForPorts(*keypilot_));
        return *keypilot_;
    }
    // The devices change, and Windows says so.
    void setIncoming(std::vector<std::wstring> incoming) {
        *incoming_ = std::move(incoming);
        testing_support::sendPortChange(window().handle(), DBT_DEVICEARRIVAL,
                                        incoming_->empty() ? L"COM1" : incoming_->back());
        EXPECT_TRUE(testing_support::waitForPorts(*keypilot_));
    }
    ConnectWindow& window() { return keypilot_->connectWindow(); }
    std::wstring text(int id) {
        wchar_t buffer[512] = {};
        GetWindowTextW(window().control(id), buffer, 512);
        return buffer;
    }
    bool shown(int id) { return IsWindowVisible(window().control(id)) != FALSE; }
    void click(int id) {
        SendMessageW(window().handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(window().control(id)));
    }
    // The QR code as a camera reads it off the screen, once it reads as expected or the deadline
    // passes.
    std::string decoded(const std::string& expected) {
        std::string text;
        pumpUntil(
            [&] {
                text = testing_support::decodeQrCodesOnScreen(window().handle());
                return text == expected;
            },
            15000);
        return text;
    }

    testing_support::PortPair first_, second_, third_;
    std::shared_ptr<std::vector<std::wstring>> incoming_;
    std::unique_ptr<app::Keypilot> keypilot_;
    // What the shell was asked to run, on the shell's threads.
    struct ShellRuns {
        std::mutex lock;
        std::vector<std::wstring> calls;
    };
    std::shared_ptr<ShellRuns> shellRuns_ = std::make_shared<ShellRuns>();
};

// Opens by itself while no port is stored; the code on the screen gives the maker's page with the
// link's version, the "remote" value when it is an https:// address (after its query), and the
// default again, with a note, for a value that is not. Read at 100 % and 150 %.
TEST_F(ConnectWindowTest, OpensByItselfAndItsQrCodeGivesThePagesAddressWithTheLinkVersion) {
    startKeypilot({});
    ASSERT_TRUE(window().visible()) << "no port stored: the window opens at the start";
    EXPECT_GE(window().modulePixels(), 4);
    EXPECT_EQ(decoded(kPage), kPage);
    EXPECT_EQ(framework::toUtf8(text(ConnectWindow::kAddressEdit)), kPage);
    EXPECT_FALSE(shown(ConnectWindow::kIgnoredNote));

    storeSetting(L"remote", L"https://example.org/my remote/?lang=ru");
    keypilot_->showConnectWindow();
    EXPECT_TRUE(shown(ConnectWindow::kIgnoredNote)) << "a blank in the address";
    storeSetting(L"remote", L"https://example.org/remote/?lang=ru");
    keypilot_->showConnectWindow();
    EXPECT_EQ(decoded("https://example.org/remote/?lang=ru&" + kVersion),
              "https://example.org/remote/?lang=ru&" + kVersion);
    EXPECT_FALSE(shown(ConnectWindow::kIgnoredNote));

    for (const wchar_t* ignored : {L"http://example.org/remote/", L"ftp://example.org/"}) {
        storeSetting(L"remote", ignored);
        keypilot_->showConnectWindow();
        EXPECT_EQ(decoded(kPage), kPage);
        EXPECT_TRUE(shown(ConnectWindow::kIgnoredNote));
    }
    storeSetting(L"remote", L"https://example.org/" + std::wstring(181, L'a'));
    keypilot_->showConnectWindow();
    EXPECT_TRUE(shown(ConnectWindow::kIgnoredNote)) << "201 characters";

    HWND hwnd = window().handle();
    testing_support::changeDpi(hwnd, 144);
    EXPECT_EQ(window().modulePixels(), 6);
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(decoded(kPage), kPage);
}

// The port step as the catalogue finds the ports: none (the COM Ports tab's button), one that
// Keypilot does not listen on ("Listen on" stores and opens it, and never closes it), several
// (the user picks one). The Windows settings buttons run their commands through the seam.
TEST_F(ConnectWindowTest, ThePortStepWithNoneOneOrSeveralIncomingPorts) {
    startKeypilot({});
    EXPECT_TRUE(shown(ConnectWindow::kComPortsButton));
    EXPECT_FALSE(shown(ConnectWindow::kListenButton));
    EXPECT_FALSE(shown(ConnectWindow::kPortChoice));
    click(ConnectWindow::kComPortsButton);
    click(ConnectWindow::kBluetoothButton);
    std::vector<std::wstring> runs;
    pumpUntil([&] {
        std::lock_guard guard(shellRuns_->lock);
        runs = shellRuns_->calls;
        return runs.size() == 2;
    });
    std::sort(runs.begin(), runs.end());  // each call has a thread of its own
    EXPECT_EQ(runs, (std::vector<std::wstring>{
                        L"ms-settings:bluetooth ",
                        L"rundll32.exe shell32.dll,Control_RunDLL bthprops.cpl,,2"}));

    setIncoming({second_.local});
    const std::wstring line = second_.local + L" \u2014 Bluetooth, входящий";
    EXPECT_EQ(text(ConnectWindow::kPortState), line + L": Keypilot не слушает этот порт.");
    ASSERT_TRUE(shown(ConnectWindow::kListenButton));
    EXPECT_FALSE(shown(ConnectWindow::kComPortsButton));
    EXPECT_EQ(text(ConnectWindow::kListenButton), L"Слушать " + second_.local);
    EXPECT_FALSE(storedSetting(L"com").has_value());
    click(ConnectWindow::kListenButton);
    EXPECT_EQ(storedSetting(L"com"), std::to_wstring(indexOf(second_.local)));
    EXPECT_EQ(keypilot_->comPort().port(), second_.local);
    EXPECT_TRUE(testing_support::waitForOpen(*keypilot_));
    EXPECT_EQ(keypilot_->settingsWindow().portIndex(), indexOf(second_.local));
    EXPECT_TRUE(pumpUntil([&] {
        return text(ConnectWindow::kPortState) == line + L": Keypilot слушает этот порт.";
    })) << "shown by the next second's refresh";
    EXPECT_FALSE(shown(ConnectWindow::kListenButton));
    click(ConnectWindow::kListenButton);  // hidden now, but as if pressed once more
    EXPECT_TRUE(keypilot_->comPort().connected()) << "Listen on opens; it does not toggle";

    setIncoming({second_.local, third_.local});
    HWND choice = window().control(ConnectWindow::kPortChoice);
    ASSERT_TRUE(shown(ConnectWindow::kPortChoice));
    EXPECT_EQ(SendMessageW(choice, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(choice, CB_GETCURSEL, 0, 0), 0) << "the one listened on";
    SendMessageW(choice, CB_SETCURSEL, 1, 0);
    SendMessageW(window().handle(), WM_COMMAND,
                 MAKEWPARAM(ConnectWindow::kPortChoice, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(choice));
    EXPECT_EQ(text(ConnectWindow::kListenButton), L"Слушать " + third_.local);
    click(ConnectWindow::kListenButton);
    EXPECT_EQ(keypilot_->comPort().port(), third_.local);
    EXPECT_TRUE(testing_support::waitForOpen(*keypilot_));
    EXPECT_EQ(storedSetting(L"com"), std::to_wstring(indexOf(third_.local)));
}

// The phone's own click can press "Listen on": inside the command the port is stored at once and
// switched once the command is over, as OK is. The first chunk on a port nobody confirmed stores
// it, and the window's last line says the phone is heard.
TEST_F(ConnectWindowTest, ListenOnInsideACommandAndAPhoneHeardOnThePortThatNobodyConfirmed) {
    startKeypilot({first_.local});
    ASSERT_TRUE(testing_support::waitForOpen(*keypilot_))
        << "the one incoming port, opened unasked";
    EXPECT_FALSE(storedSetting(L"com").has_value()) << "opened, not stored";
    EXPECT_EQ(text(ConnectWindow::kHeardLabel), L"Keypilot ждёт сигнала с телефона…");

    testing_support::PortEnd phone(first_.remote);
    ASSERT_TRUE(phone.send("08"));
    EXPECT_TRUE(pumpUntil([&] { return storedSetting(L"com").has_value(); }));
    EXPECT_EQ(storedSetting(L"com"), std::to_wstring(indexOf(first_.local)));
    EXPECT_TRUE(pumpUntil([&] {
        return text(ConnectWindow::kHeardLabel) == L"Телефон подключён: попробуйте стрелки";
    }));

    setIncoming({first_.local, second_.local});
    HWND choice = window().control(ConnectWindow::kPortChoice);
    SendMessageW(choice, CB_SETCURSEL, 1, 0);
    SendMessageW(window().handle(), WM_COMMAND,
                 MAKEWPARAM(ConnectWindow::kPortChoice, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(choice));
    ASSERT_TRUE(shown(ConnectWindow::kListenButton));
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    KeyRecorder::onKeyDown = [&] {
        click(ConnectWindow::kListenButton);
        EXPECT_EQ(storedSetting(L"com"), std::to_wstring(indexOf(second_.local)))
            << "stored at once";
        EXPECT_EQ(keypilot_->comPort().port(), first_.local) << "nothing switched inside";
    };
    ASSERT_TRUE(phone.send("09"));
    EXPECT_TRUE(pumpUntil([&] {
        return keypilot_->comPort().port() == second_.local && keypilot_->comPort().connected();
    }));
    EXPECT_EQ(KeyRecorder::keys.size(), 2u) << "the command finished: key up followed";
    KeyRecorder::onKeyDown = nullptr;
}

// The caption and the tray item in both languages; every text fits its control at 100 % and
// 150 %, in the longest state (several ports, the note shown).
TEST_F(ConnectWindowTest, TheWindowSpeaksRussianAndEnglishAndItsTextsFit) {
    struct Case {
        const wchar_t* lang;
        const wchar_t* caption;
        const wchar_t* item;
        const wchar_t* heard;
    } cases[] = {
        {L"ru_RU.UTF-8", L"Подключение телефона", L"Подключить телефон…",
         L"Keypilot ждёт сигнала с телефона…"},
        {L"en_US.UTF-8", L"Connect a phone", L"Connect a phone…",
         L"Keypilot is waiting for the phone…"},
    };
    storeSetting(L"remote", L"http://example.org/");
    for (const auto& c : cases) {
        testing_support::ScopedEnvironment lang(L"LANG", c.lang);
        i18n::startup();
        startKeypilot({second_.local, third_.local});
        HWND hwnd = window().handle();
        wchar_t caption[64] = {};
        GetWindowTextW(hwnd, caption, 64);
        EXPECT_STREQ(caption, c.caption);
        EXPECT_EQ(keypilot_->trayMenu().item(keypilot_->connectItem()).caption, c.item);
        EXPECT_LT(keypilot_->connectItem(), keypilot_->settingsItem()) << "above the settings";
        EXPECT_EQ(keypilot_->trayMenu().defaultItemIndex(), keypilot_->settingsItem());
        EXPECT_EQ(text(ConnectWindow::kHeardLabel), c.heard);
        for (UINT dpi : {96u, 144u}) {
            testing_support::changeDpi(hwnd, dpi);
            for (HWND child = GetWindow(hwnd, GW_CHILD); child;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                int margin = 0;
                if (IsWindowVisible(child) && testing_support::isLabelOrButton(child, &margin)) {
                    const bool wraps = margin == 0;
                    testing_support::expectTextFits(hwnd, child, wraps, margin, dpi,
                                                    framework::toUtf8(c.lang));
                }
            }
        }
        keypilot_.reset();
        i18n::shutdown();
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/handle.h"
#include "framework/registry.h"
#include "framework/text.h"
#include "processes.h"
#include "qr_codes.h"
#include "tray_tips.h"
#include "wine_test_support.h"

using framework::KernelHandle;
using framework::RegistryKey;
using testing_support::cursor;
using testing_support::EditWindow;
using testing_support::HangingWindow;
using testing_support::KeyRecorder;
using testing_support::PortEnd;
using testing_support::Process;
using testing_support::processesStartedIn;
using testing_support::processJob;
using testing_support::programsRunningIn;
using testing_support::pumpUntil;
using testing_support::StartOptions;
using testing_support::windowOf;
using testing_support::WindowsMadeBy;

namespace {

const wchar_t* kStore = L"Software\\Corvane";
const wchar_t* kSection = L"Software\\Corvane\\Keypilot";

const std::wstring& keypilotPath() {
    static const std::wstring path = testing_support::winePath(framework::fromUtf8(KEYPILOT_EXE));
    return path;
}

// Keypilot as a user starts it: the built executable, without arguments, unless told otherwise.
Process startKeypilot(StartOptions options = {}) {
    if (options.exe.empty()) {
        options.exe = keypilotPath();
    }
    return testing_support::startProcess(options);
}

std::wstring lowerCase(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether the shell still holds Keypilot's icon (a modification of a gone icon fails).
bool trayIconPresent(HWND callbackWindow) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = callbackWindow;
    data.uID = 1;
    data.uFlags = NIF_TIP;
    lstrcpyW(data.szTip, L"Keypilot");
    return Shell_NotifyIconW(NIM_MODIFY, &data);
}

// Keypilot.exe in a process of its own, watched from outside as a user would see it.
class KeypilotExeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::deleteUserKey(kStore);
        const auto ports = testing_support::testbedPair(0);
        programPort_ = ports.local;
        phonePort_ = ports.remote;
    }
    void TearDown() override {
        phone_.reset();
        for (auto* p : {&keypilot_, &second_}) {
            stop(*p);
        }
        testing_support::deleteUserKey(kStore);
    }
    // Keypilot's port is the program's end of the testbed's first pair; mouse is the cursor step
    // (nullptr leaves it out).
    void storeSettings(const wchar_t* mouse) {
        auto section = RegistryKey::create(HKEY_CURRENT_USER, kSection);
        section.writeText(L"com", std::to_wstring(std::stoi(programPort_.substr(3)) - 1));
        if (mouse) {
            section.writeText(L"mouse", mouse);
        }
    }
    // Stores the settings, starts Keypilot and waits until it reads codes from the phone's end,
    // which phone() then holds.
    testing::AssertionResult startListening(const wchar_t* mouse = L"10",
                                            const StartOptions& options = {}) {
        storeSettings(mouse);
        keypilot_ = startKeypilot(options);
        if (!keypilot_.handle) {
            return testing::AssertionFailure() << "Keypilot.exe did not start";
        }
        if (!waitForMainWindow()) {
            return testing::AssertionFailure() << "Keypilot made no main window";
        }
        return openPhoneAndListen();
    }
    // Opens the phone's end afresh and sends "06" until the cursor moves: until Keypilot listens,
    // bytes wait in the link and the first chunk it reads holds more than one code.
    testing::AssertionResult openPhoneAndListen() {
        phone_.emplace(phonePort_);
        if (!phone_->isOpen()) {
            return testing::AssertionFailure() << "the phone's end does not open";
        }
        for (int attempt = 0; attempt < 40; ++attempt) {
            const POINT before = cursor();
            phone_->send("06");
            if (pumpUntil([&] { return cursor().x != before.x; }, 500)) {
                return testing::AssertionSuccess();
            }
        }
        return testing::AssertionFailure() << "codes from the phone do not move the cursor";
    }
    PortEnd& phone() { return *phone_; }
    // Ends Keypilot the way its exit item does: the main window is closed.
    static DWORD stop(Process& p) {
        if (!p.handle) {
            return 0;
        }
        if (HWND main = windowOf(p.id, L"KeypilotMainWindow")) {
            PostMessageW(main, WM_CLOSE, 0, 0);
        }
        DWORD code = p.exitCode(10000);
        if (code == STILL_ACTIVE) {
            TerminateProcess(p.handle.get(), 99);
        }
        p.handle.reset();
        return code;
    }
    // Waits for Keypilot's end by other means than stop(), and lets go of it.
    DWORD waitForEnd() {
        const DWORD code = keypilot_.exitCode(15000);
        keypilot_.handle.reset();
        return code;
    }
    bool waitForMainWindow() {
        return pumpUntil([&] { return windowOf(keypilot_.id, L"KeypilotMainWindow") != nullptr; },
                         20000);
    }
    std::wstring mainWindowCaption() {
        wchar_t text[64] = {};
        GetWindowTextW(windowOf(keypilot_.id, L"KeypilotMainWindow"), text, 64);
        return text;
    }
    // The window that receives the tray icon's callbacks, once Keypilot has made it and its icon
    // is in the tray.
    HWND waitForTrayIcon() {
        HWND tray = nullptr;
        pumpUntil([&] {
            tray = windowOf(keypilot_.id, L"KeypilotTrayIconHandler");
            return tray && trayIconPresent(tray);
        });
        return tray && trayIconPresent(tray) ? tray : nullptr;
    }
    // Waits for Keypilot's message box, answers it with OK and returns its text once it has gone.
    std::wstring answerMessageBox() {
        HWND box = nullptr;
        if (!pumpUntil([&] { return (box = windowOf(keypilot_.id, L"#32770", L"Keypilot")); },
                       20000)) {
            return L"(no message box)";
        }
        wchar_t text[256] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 256);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        if (!pumpUntil([&] { return !IsWindow(box); })) {
            return L"(the message box stays)";
        }
        return text;
    }

    std::wstring programPort_, phonePort_;
    // Go after the processes: the job ends whatever they started, the folder can then go.
    std::optional<testing_support::TempDir> scratch_;
    KernelHandle job_;
    Process keypilot_, second_;
    std::optional<PortEnd> phone_;
};

TEST_F(KeypilotExeTest, ACodeFromThePhoneMovesTheCursorByTheStoredStep) {
    ASSERT_TRUE(startListening(L"17"));
    SetCursorPos(400, 300);
    phone().send("06");
    ASSERT_TRUE(pumpUntil([] { return cursor().x == 417; }));
    EXPECT_EQ(cursor().y, 300);
    phone().send("08");
    ASSERT_TRUE(pumpUntil([] { return cursor().y == 317; }));
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotExeTest, AStoredStepAboveTheSliderMovesByThirty) {
    ASSERT_TRUE(startListening(L"45"));
    SetCursorPos(400, 300);
    phone().send("04");
    ASSERT_TRUE(pumpUntil([] { return cursor().x == 370; }));
    EXPECT_EQ(stop(keypilot_), 0u);
}

// Not even for a moment: a second tray icon would flash up and vanish.
TEST_F(KeypilotExeTest, ASecondStartEndsAtOnceWithExitCodeZeroAndShowsNothing) {
    std::optional<WindowsMadeBy> windows;
    StartOptions watched;
    watched.beforeRun = [&](DWORD id) { windows.emplace(id); };
    ASSERT_TRUE(startListening(nullptr, watched)) << "the first instance is fully up";
    ASSERT_TRUE(windows->watching());
    EXPECT_GT(WindowsMadeBy::count, 0) << "the first instance's windows are seen";
    second_ = startKeypilot(watched);
    ASSERT_TRUE(second_.handle);
    EXPECT_EQ(second_.exitCode(30000), 0u);
    pumpUntil([] { return false; }, 0);
    EXPECT_EQ(WindowsMadeBy::count, 0) << "windows the second start made";
    EXPECT_EQ(keypilot_.exitCode(0), static_cast<DWORD>(STILL_ACTIVE)) << "the first one runs on";
    EXPECT_EQ(stop(keypilot_), 0u);
}

// The icon gone is what a user (or an installer) sees of the end; a start from then on is the new
// Keypilot, though the old one may still be closing its port.
TEST_F(KeypilotExeTest, ExitFollowedAtOnceByANewStartLeavesExactlyOneKeypilotWithItsPortOpen) {
    ASSERT_TRUE(startListening());
    HWND tray = waitForTrayIcon();
    ASSERT_NE(tray, nullptr);
    PostMessageW(windowOf(keypilot_.id, L"KeypilotMainWindow"), WM_CLOSE, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return !trayIconPresent(tray); }));
    second_ = startKeypilot();
    ASSERT_TRUE(second_.handle);
    EXPECT_EQ(keypilot_.exitCode(15000), 0u) << "the first one ends";
    std::swap(keypilot_, second_);
    EXPECT_EQ(keypilot_.exitCode(0), static_cast<DWORD>(STILL_ACTIVE)) << "the new one runs";
    ASSERT_TRUE(waitForMainWindow());
    EXPECT_TRUE(openPhoneAndListen()) << "the new one reads codes from the port";
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotExeTest, AnotherProgramsWindowCaptionedKeypilotDoesNotStopAStart) {
    // Like a file manager showing a folder named Keypilot.
    HWND other = CreateWindowExW(0, L"STATIC", L"Keypilot", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(startListening(nullptr)) << "Keypilot runs on and reads codes";
    EXPECT_EQ(stop(keypilot_), 0u);
    DestroyWindow(other);
}

TEST_F(KeypilotExeTest, AWrongTypeInTheStoreIsShownAndTheProgramRunsOn) {
    storeSettings(nullptr);
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeInteger(L"mouse", 15);
    keypilot_ = startKeypilot();
    ASSERT_EQ(answerMessageBox(), L"Invalid data type for 'mouse'.");
    EXPECT_TRUE(waitForMainWindow());
    // Start-up stopped before the port was opened: a code stays unread at the program's end
    // of the link, where the test itself then finds it.
    PortEnd programEnd(programPort_);
    ASSERT_TRUE(programEnd.isOpen());
    PortEnd phone(phonePort_);
    SetCursorPos(400, 300);
    phone.send("06");
    std::string unread;
    EXPECT_TRUE(pumpUntil([&] {
        unread += programEnd.read();
        return unread.find("06") != std::string::npos;
    }));
    EXPECT_EQ(cursor().x, 400);
    EXPECT_EQ(stop(keypilot_), 0u);
}

// One executable, with nothing beside it, speaks the user's language: English under an English
// setting; Russian under a Russian one, the framework's messages included.
TEST_F(KeypilotExeTest, TheExecutableAloneSpeaksEnglishOrRussian) {
    ASSERT_FALSE(
        fileExists(keypilotPath().substr(0, keypilotPath().find_last_of(L'\\') + 1) + L"locale"));
    {
        testing_support::ScopedEnvironment english(L"LANG", L"en_US.UTF-8");
        keypilot_ = startKeypilot();
        ASSERT_TRUE(waitForMainWindow());
        EXPECT_EQ(mainWindowCaption(), L"Properties: Keypilot");
        EXPECT_EQ(stop(keypilot_), 0u);
    }
    testing_support::ScopedEnvironment russian(L"LANG", L"ru_RU.UTF-8");
    storeSettings(nullptr);
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeInteger(L"mouse", 15);
    keypilot_ = startKeypilot();
    ASSERT_EQ(answerMessageBox(), L"Неверный тип данных «mouse».");
    ASSERT_TRUE(waitForMainWindow());
    EXPECT_EQ(mainWindowCaption(), L"Свойства: Keypilot");
    EXPECT_EQ(stop(keypilot_), 0u);
}

// A first start, with no settings at all: within 15 s a window captioned "Connect a phone" (in
// Russian "Подключение телефона") is up, and the QR code on the screen gives the remote page's
// address with the version of the link's codes; the "remote" value's address when it is set.
TEST_F(KeypilotExeTest, AFirstStartShowsConnectAPhoneWhoseQrCodeGivesThePagesAddress) {
    struct Case {
        const wchar_t* lang;
        const wchar_t* caption;
        const wchar_t* remote;
        std::string address;
    } cases[] = {
        {L"en_US.UTF-8", L"Connect a phone", nullptr, "https://corvane.ru/keypilot/remote/?v="},
        {L"ru_RU.UTF-8", L"Подключение телефона", nullptr,
         "https://corvane.ru/keypilot/remote/?v="},
        {L"en_US.UTF-8", L"Connect a phone", L"https://example.org/kp/",
         "https://example.org/kp/?v="},
        {L"ru_RU.UTF-8", L"Подключение телефона", L"https://example.org/kp/",
         "https://example.org/kp/?v="},
    };
    for (const auto& c : cases) {
        testing_support::deleteUserKey(kStore);
        if (c.remote) {
            RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"remote", c.remote);
        }
        testing_support::ScopedEnvironment lang(L"LANG", c.lang);
        keypilot_ = startKeypilot();
        ASSERT_TRUE(keypilot_.handle);
        HWND window = nullptr;
        ASSERT_TRUE(pumpUntil(
            [&] {
                window = windowOf(keypilot_.id, L"KeypilotConnectWindow", c.caption);
                return window && IsWindowVisible(window);
            },
            15000))
            << framework::toUtf8(c.caption) << " under " << framework::toUtf8(c.lang);
        // The address, then "v=" and the version: a number.
        auto readsAsExpected = [&](const std::string& text) {
            const std::string version =
                text.starts_with(c.address) ? text.substr(c.address.size()) : "";
            return !version.empty() && std::all_of(version.begin(), version.end(),
                                                   [](char d) { return d >= '0' && d <= '9'; });
        };
        std::string text;
        EXPECT_TRUE(pumpUntil(
            [&] {
                text = testing_support::decodeQrCodesOnScreen(window);
                return readsAsExpected(text);
            },
            15000))
            << text;
        auto section = RegistryKey::open(HKEY_CURRENT_USER, kSection, KEY_READ);
        EXPECT_FALSE(section.isOpen() && section.readText(L"com").has_value())
            << "nothing stored until the user or the phone confirms a port";
        EXPECT_EQ(stop(keypilot_), 0u);
    }
}

// Wine has no Bluetooth sockets, as a PC without a usable radio: a first start's Connect a phone
// window says at once, before anything is switched on, that Keypilot's own Bluetooth service is
// not available here; with the service switched on, the COM port's codes act as before and the
// tip names both ways.
TEST_F(KeypilotExeTest, WithoutBluetoothSocketsTheServiceIsNotAvailableAndTheComPortWorks) {
    testing_support::ScopedEnvironment russian(L"LANG", L"ru_RU.UTF-8");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(keypilot_.handle);
    HWND window = nullptr;
    ASSERT_TRUE(pumpUntil(
        [&] {
            window = windowOf(keypilot_.id, L"KeypilotConnectWindow", L"Подключение телефона");
            return window && IsWindowVisible(window);
        },
        15000));
    std::vector<std::wstring> lines;
    const auto saysNotAvailable = [&] {
        lines.clear();
        EnumChildWindows(
            window,
            [](HWND child, LPARAM found) {
                wchar_t text[512] = {};
                GetWindowTextW(child, text, 512);
                reinterpret_cast<std::vector<std::wstring>*>(found)->push_back(text);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&lines));
        return std::any_of(lines.begin(), lines.end(), [](const std::wstring& line) {
            return line.starts_with(L"Служба Bluetooth Keypilot недоступна на этом компьютере");
        });
    };
    EXPECT_TRUE(pumpUntil(saysNotAvailable)) << testing::PrintToString(lines);
    EXPECT_EQ(stop(keypilot_), 0u);

    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"bluetooth", L"1");
    ASSERT_TRUE(startListening());
    const std::wstring expected =
        L"Keypilot - " + programPort_ + L": телефон подключен; Bluetooth: Windows не даёт";
    std::vector<std::wstring> tips;
    EXPECT_TRUE(pumpUntil(
        [&] {
            tips = testing_support::trayTips();
            return std::any_of(tips.begin(), tips.end(),
                               [&](const std::wstring& tip) { return tip.starts_with(expected); });
        },
        10000))
        << testing::PrintToString(tips);
    EXPECT_EQ(stop(keypilot_), 0u);
}

// The tip, as the shell shows it, says in the user's words that the chosen port does not exist.
TEST_F(KeypilotExeTest, TheTipSaysThatAPortThatDoesNotExistIsNotPresent) {
    testing_support::ScopedEnvironment english(L"LANG", L"en_US.UTF-8");
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"com", L"29");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow());
    const std::wstring expected = L"Keypilot - COM30: not present";
    std::vector<std::wstring> tips;
    EXPECT_TRUE(pumpUntil(
        [&] {
            tips = testing_support::trayTips();
            return std::find(tips.begin(), tips.end(), expected) != tips.end();
        },
        10000))
        << testing::PrintToString(tips);
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotExeTest, KeysReachTheForegroundWindowOfAnotherProgram) {
    ASSERT_TRUE(startListening());
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    for (const char* code : {"01", "09", "11"}) {
        ASSERT_TRUE(KeyRecorder::pressFrom(phone(), code)) << code;
    }
    EXPECT_EQ(KeyRecorder::keys, KeyRecorder::presses({VK_ESCAPE, VK_NEXT, VK_PRIOR}));
    // "05" clicks where the cursor is (on the recorder), then sends Enter.
    KeyRecorder::keys.clear();
    recorder.pointAt();
    phone().send("05");
    ASSERT_TRUE(KeyRecorder::waitForKeys(2));
    EXPECT_EQ(KeyRecorder::keys[0].vk, static_cast<WPARAM>(VK_RETURN));
    EXPECT_EQ(KeyRecorder::keys[1].msg, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotExeTest, LaunchStartsTheStoredProgramAndNoLookAlike) {
    std::wstring marker = testing_support::siblingPath(L"launch_marker.exe");
    ASSERT_TRUE(fileExists(marker));
    CreateDirectoryW(L"C:\\kp e2e", nullptr);
    std::wstring real = L"C:\\kp e2e\\marker.exe";
    std::wstring lookalike = L"C:\\kp.exe";
    ASSERT_TRUE(CopyFileW(marker.c_str(), real.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(marker.c_str(), lookalike.c_str(), FALSE));
    DeleteFileW((real + L".ran").c_str());
    DeleteFileW((lookalike + L".ran").c_str());
    // Unquoted, with an argument: the system alone would try C:\kp.exe first.
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"exe", real + L" --from-phone");
    ASSERT_TRUE(startListening());
    phone().send("00");
    ASSERT_TRUE(pumpUntil([&] { return fileExists(real + L".ran"); }, 15000));
    EXPECT_FALSE(fileExists(lookalike + L".ran"));
    EXPECT_EQ(stop(keypilot_), 0u);
}

// The program's own folder and the current folder (here both the same scratch folder, as for a
// portable copy unpacked in Downloads) hold a file of the program's name: the system's program
// starts, not that file.
TEST_F(KeypilotExeTest, ABareProgramNameStartsTheSystemsProgramAndNoFileBesideKeypilot) {
    scratch_.emplace();
    const std::wstring folder = scratch_->path();
    ASSERT_TRUE(CopyFileW(keypilotPath().c_str(), (folder + L"\\Keypilot.exe").c_str(), FALSE));
    const std::wstring planted = folder + L"\\notepad.exe";
    ASSERT_TRUE(CopyFileW(testing_support::siblingPath(L"launch_marker.exe").c_str(),
                          planted.c_str(), FALSE));
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"exe", L"notepad.exe");
    job_ = processJob();
    StartOptions copy;
    copy.exe = folder + L"\\Keypilot.exe";
    copy.folder = folder;
    copy.job = job_.get();
    ASSERT_TRUE(startListening(L"10", copy));
    phone().send("00");
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring systemsNotepad = lowerCase(windows);
    DWORD notepad = 0;
    EXPECT_TRUE(pumpUntil(
        [&] {
            for (const auto& [id, program] : programsRunningIn(job_.get())) {
                const std::wstring path = lowerCase(program);
                if (path.starts_with(systemsNotepad) && path.ends_with(L"\\notepad.exe")) {
                    notepad = id;
                }
            }
            return notepad != 0;
        },
        15000))
        << "the system's notepad started";
    // One code starts one program: the system's notepad, so not the file beside Keypilot.
    EXPECT_FALSE(fileExists(planted + L".ran")) << "the file beside Keypilot ran";
    if (notepad) {
        KernelHandle process{OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, notepad)};
        TerminateProcess(process.get(), 0);
        WaitForSingleObject(process.get(), 5000);
    }
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotExeTest, AMissingProgramStartsNothingNotEvenAShorterLookAlike) {
    const std::wstring lookalike = L"C:\\kp";
    ASSERT_TRUE(CopyFileW(testing_support::siblingPath(L"launch_marker.exe").c_str(),
                          lookalike.c_str(), FALSE));
    DeleteFileW((lookalike + L".ran").c_str());
    RegistryKey::create(HKEY_CURRENT_USER, kSection)
        .writeText(L"exe", L"C:\\kp launch\\missing.exe -x");
    job_ = processJob();
    StartOptions inJob;
    inJob.job = job_.get();
    ASSERT_TRUE(startListening(L"10", inJob));
    SetCursorPos(300, 300);
    phone().send("00");
    // Codes are handled in order: once "06" has moved the cursor, "00" has done what it does.
    phone().send("06");
    ASSERT_TRUE(pumpUntil([] { return cursor().x == 310; }));
    EXPECT_EQ(processesStartedIn(job_.get()), 1u) << "Keypilot started another program";
    EXPECT_EQ(stop(keypilot_), 0u);
    DeleteFileW((lookalike + L".ran").c_str());
    DeleteFileW(lookalike.c_str());
}

TEST_F(KeypilotExeTest, ExitChosenInsideACommandEndsTheProgramCleanly) {
    ASSERT_TRUE(startListening());
    HWND tray = waitForTrayIcon();
    ASSERT_NE(tray, nullptr);
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    HWND main = windowOf(keypilot_.id, L"KeypilotMainWindow");
    // While Keypilot waits in the middle of "09", its exit is chosen (its main window closes).
    KeyRecorder::onKeyDown = [&] { PostMessageW(main, WM_CLOSE, 0, 0); };
    phone().send("09");
    EXPECT_EQ(waitForEnd(), 0u);
    EXPECT_EQ(KeyRecorder::keys.size(), 2u) << "the command finished before the program ended";
    EXPECT_FALSE(trayIconPresent(tray)) << "the icon left the tray";
    EXPECT_TRUE(startListening()) << "the port was let go: a new start reads codes again";
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotExeTest, CodesWrittenBackToBackEachRunInOrderAndAFlawedChunkRunsNone) {
    ASSERT_TRUE(startListening(L"5"));
    SetCursorPos(50, 300);
    std::string sixty;
    for (int i = 0; i < 60; ++i) {
        sixty += "06";
    }
    ASSERT_TRUE(phone().send(sixty));
    ASSERT_TRUE(pumpUntil([] { return cursor().x == 50 + 60 * 5; }));
    // At the top edge only down before up ends at the edge again: right, down, up in this order.
    SetCursorPos(100, 0);
    ASSERT_TRUE(phone().send("060802"));
    ASSERT_TRUE(phone().send("0606"));
    ASSERT_TRUE(pumpUntil([] { return cursor().x == 115; }));
    EXPECT_EQ(cursor().y, 0);
    // Each flawed chunk carries "06"s that would move right if any of it ran. A following "08"
    // shows it has been read; should the two have come in together, that is flawed as well, and
    // "08" goes again.
    const std::string flawed[] = {
        "060",  "0606\r", "\r\n0606", "06\n06", "06 06",
        "0612", "1206",   "06x06",    "0",      std::string("06\0\x30\x36", 5)};
    for (const std::string& chunk : flawed) {
        SetCursorPos(300, 300);
        ASSERT_TRUE(phone().send(chunk));
        bool moved = false;
        for (int attempt = 0; attempt < 10 && !moved; ++attempt) {
            phone().send("08");
            moved = pumpUntil([] { return cursor().y > 300; }, 500);
        }
        ASSERT_TRUE(moved) << testing::PrintToString(chunk);
        EXPECT_EQ(cursor().x, 300) << testing::PrintToString(chunk);
    }
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotExeTest, AForegroundWindowThatStopsAnsweringDoesNotStallTheNextCodes) {
    ASSERT_TRUE(startListening());
    HangingWindow hanging;
    ASSERT_TRUE(hanging.takeForeground());
    SetCursorPos(300, 300);
    ASSERT_TRUE(phone().send("09"));
    ASSERT_TRUE(pumpUntil([&] { return !hanging.keys().empty(); })) << "the key down arrived";
    // The window's thread now waits inside the key down; Keypilot goes on all the same.
    ASSERT_TRUE(phone().send("11"));
    ASSERT_TRUE(phone().send("06"));
    EXPECT_TRUE(pumpUntil([] { return cursor().x == 310; }, 10000));
    EXPECT_FALSE(hanging.released()) << "still hanging while the cursor moved";
    hanging.release();
    // What it had not taken by the time-out is dropped; it never gets anything out of order.
    EXPECT_EQ(hanging.keys().front(), (std::pair<UINT, WPARAM>{WM_KEYDOWN, VK_NEXT}));
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotExeTest, WithKeysInputTheFocusedControlGetsRealKeyPresses) {
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"keys", L"input");
    ASSERT_TRUE(startListening());
    EditWindow editor;
    ASSERT_TRUE(editor.takeFocus());
    RECT r;
    GetWindowRect(editor.edit(), &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    // Esc, PgDn, PgUp, then a click on the edit control and Enter.
    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_KEYDOWN, VK_ESCAPE}, {WM_KEYUP, VK_ESCAPE},  {WM_KEYDOWN, VK_NEXT},
        {WM_KEYUP, VK_NEXT},     {WM_KEYDOWN, VK_PRIOR}, {WM_KEYUP, VK_PRIOR},
        {WM_KEYDOWN, VK_RETURN}, {WM_KEYUP, VK_RETURN}};
    ASSERT_TRUE(phone().send("01091105"));
    EXPECT_TRUE(pumpUntil([] { return EditWindow::keys.size() >= 8; }));
    EXPECT_EQ(EditWindow::keys, expected);
    EXPECT_EQ(stop(keypilot_), 0u);
}

// While the link is down the shell's tip says so; when it is back Keypilot reconnects unasked.
TEST_F(KeypilotExeTest, ALinkThatDropsAndComesBackReconnectsByItself) {
    testing_support::ScopedEnvironment english(L"LANG", L"en_US.UTF-8");
    ASSERT_TRUE(startListening());
    phone_.reset();
    testing_support::DroppedLink link(programPort_);
    ASSERT_TRUE(link.drop());
    const std::wstring lost = L"Keypilot - " + programPort_ + L": the link was lost";
    std::vector<std::wstring> tips;
    EXPECT_TRUE(pumpUntil(
        [&] {
            tips = testing_support::trayTips();
            return std::find(tips.begin(), tips.end(), lost) != tips.end();
        },
        10000))
        << testing::PrintToString(tips);
    ASSERT_TRUE(link.restore());
    // The same names lead to a new link: Keypilot finds the old one gone and opens the new one.
    EXPECT_TRUE(openPhoneAndListen());
    EXPECT_EQ(stop(keypilot_), 0u);
}

// What an installer does to end Keypilot: close the window it finds by class and caption.
TEST_F(KeypilotExeTest, ClosingTheApplicationWindowEndsTheProgramAsItsExitDoes) {
    ASSERT_TRUE(startListening());
    HWND tray = waitForTrayIcon();
    ASSERT_NE(tray, nullptr);
    HWND app = windowOf(keypilot_.id, L"KeypilotApplication", L"Keypilot");
    ASSERT_NE(app, nullptr);
    SendMessageW(app, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForEnd(), 0u);
    EXPECT_FALSE(trayIconPresent(tray)) << "the icon left the tray";
    EXPECT_TRUE(startListening()) << "the port was let go";
    EXPECT_EQ(stop(keypilot_), 0u);
}

BOOL CALLBACK collectWindow(HWND w, LPARAM found) {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(w);
    return TRUE;
}

// The system sends both messages to every top-level window and may kill the process as soon as
// WM_ENDSESSION has been answered: the icon must be gone by then.
TEST_F(KeypilotExeTest, TheEndOfTheSessionTakesTheIconAwayBeforeTheProcessCanBeKilled) {
    ASSERT_TRUE(startListening());
    HWND tray = waitForTrayIcon();
    ASSERT_NE(tray, nullptr);
    std::vector<HWND> all, windows;
    EnumWindows(&collectWindow, reinterpret_cast<LPARAM>(&all));
    for (HWND w : all) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == keypilot_.id) {
            windows.push_back(w);
        }
    }
    ASSERT_GE(windows.size(), 2u) << "the application window and the main window";
    for (HWND w : windows) {
        EXPECT_NE(SendMessageW(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0) << "ending agreed";
    }
    for (HWND w : windows) {
        SendMessageW(w, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    }
    // Wine takes a dead window's icon away by itself: look before the process is killed.
    EXPECT_FALSE(trayIconPresent(tray)) << "the icon left the tray inside the handler";
    // Killed, unless it has ended by itself already.
    TerminateProcess(keypilot_.handle.get(), 1);
    EXPECT_NE(waitForEnd(), static_cast<DWORD>(STILL_ACTIVE));
}

bool leftButtonDown() {
    return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0;
}

// A Keypilot ended hard cannot let go of the button it holds for a drag; the next start does, by
// the mark the first one left.
TEST_F(KeypilotExeTest, AButtonLeftHeldByAKeypilotEndedHardIsLetGoByTheNextStart) {
    // Whatever happens here, no later test may find the button down.
    struct LetGo {
        ~LetGo() {
            if (leftButtonDown()) {
                INPUT up{};
                up.type = INPUT_MOUSE;
                up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
                SendInput(1, &up, sizeof up);
            }
        }
    } letGo;
    ASSERT_TRUE(startListening());
    ASSERT_FALSE(leftButtonDown());
    phone().send("DN");
    ASSERT_TRUE(pumpUntil(leftButtonDown)) << "the drag began";
    TerminateProcess(keypilot_.handle.get(), 1);
    ASSERT_NE(waitForEnd(), static_cast<DWORD>(STILL_ACTIVE));
    phone_.reset();
    ASSERT_TRUE(leftButtonDown()) << "the button stays down after a hard end";
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow());
    EXPECT_TRUE(pumpUntil([] { return !leftButtonDown(); })) << "the start let go of the button";
    EXPECT_FALSE(RegistryKey::open(HKEY_CURRENT_USER, kSection, KEY_READ).valueExists(L"leftHeld"))
        << "the mark went with it";
}

}  // namespace

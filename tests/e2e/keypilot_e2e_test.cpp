#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/handle.h"
#include "framework/registry.h"
#include "framework/text.h"
#include "wine_test_support.h"

using framework::KernelHandle;
using framework::RegistryKey;
using testing_support::KeyRecorder;
using testing_support::PhoneLink;
using testing_support::pumpUntil;

namespace {

const wchar_t* kSection = L"Software\\Corvane\\Keypilot";

// The executable's Linux path as Wine sees it (drive Z: is the Unix root).
std::wstring keypilotPath() {
    std::wstring path = framework::fromUtf8(KEYPILOT_EXE);
    for (auto& c : path)
        c = c == L'/' ? L'\\' : c;
    return L"Z:" + path;
}

struct Process {
    KernelHandle handle;
    DWORD id = 0;
    // Waits for the end while serving messages: Keypilot sends messages to the test's
    // windows (key presses, broadcasts) and would wait for an answer.
    DWORD exitCode(DWORD waitMs) const {
        if (!pumpUntil([&] { return WaitForSingleObject(handle.get(), 0) == WAIT_OBJECT_0; },
                       waitMs))
            return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(handle.get(), &code);
        return code;
    }
};

Process startKeypilot() {
    std::wstring line = L"\"" + keypilotPath() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    Process p;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
        p.handle.reset(pi.hProcess);
        KernelHandle thread{pi.hThread};
        p.id = pi.dwProcessId;
    }
    return p;
}

// A top-level window of that process with that class.
HWND windowOf(DWORD pid, const wchar_t* cls, const wchar_t* caption = nullptr) {
    for (HWND w = FindWindowExW(nullptr, nullptr, cls, caption); w;
         w = FindWindowExW(nullptr, w, cls, caption)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid)
            return w;
    }
    return nullptr;
}

POINT cursor() {
    POINT p{};
    GetCursorPos(&p);
    return p;
}

std::wstring directoryOf(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring ownDirectory() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return directoryOf(std::wstring(path, n));
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether the shell still holds Keypilot's icon (a modification of a gone icon fails).
bool trayIconPresent(HWND callbackWindow, UINT id) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = callbackWindow;
    data.uID = id;
    data.uFlags = NIF_TIP;
    lstrcpyW(data.szTip, L"Keypilot");
    return Shell_NotifyIconW(NIM_MODIFY, &data);
}

class KeypilotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::deleteUserKey(L"Software\\Corvane");
        auto ports = testing_support::portPairs();
        ASSERT_FALSE(ports.empty());
        programPort_ = ports[0].first;
        phonePort_ = ports[0].second;
    }
    void TearDown() override {
        for (auto* p : {&keypilot_, &second_})
            stop(*p);
        testing_support::deleteUserKey(L"Software\\Corvane");
    }
    void storeSettings(const wchar_t* mouse) {
        auto section = RegistryKey::create(HKEY_CURRENT_USER, kSection);
        section.writeText(L"com", std::to_wstring(std::stoi(programPort_.substr(3)) - 1));
        if (mouse)
            section.writeText(L"mouse", mouse);
    }
    // Ends Keypilot the way its exit item does: the main window is closed.
    static DWORD stop(Process& p) {
        if (!p.handle)
            return 0;
        if (HWND main = windowOf(p.id, L"KeypilotMainWindow"))
            PostMessageW(main, WM_CLOSE, 0, 0);
        DWORD code = p.exitCode(10000);
        if (code == STILL_ACTIVE)
            TerminateProcess(p.handle.get(), 99);
        p.handle.reset();
        return code;
    }
    bool waitForMainWindow(const Process& p) {
        return pumpUntil([&] { return windowOf(p.id, L"KeypilotMainWindow") != nullptr; }, 20000);
    }
    // Sends "06" until the cursor moves: until Keypilot listens, bytes wait in the link and the
    // first chunk it reads holds more than one code.
    bool waitUntilListening(PhoneLink& phone) {
        for (int attempt = 0; attempt < 40; ++attempt) {
            POINT before = cursor();
            phone.send("06");
            if (pumpUntil([&] { return cursor().x != before.x; }, 500))
                return true;
        }
        return false;
    }

    std::wstring programPort_, phonePort_;
    Process keypilot_, second_;
};

TEST_F(KeypilotTest, ACodeFromThePhoneMovesTheCursorByTheStoredStep) {
    storeSettings(L"17");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(keypilot_.handle);
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(phone.isOpen());
    ASSERT_TRUE(waitUntilListening(phone));
    SetCursorPos(400, 300);
    phone.send("06");
    ASSERT_TRUE(pumpUntil([] { return cursor().x == 417; }));
    EXPECT_EQ(cursor().y, 300);
    phone.send("08");
    ASSERT_TRUE(pumpUntil([] { return cursor().y == 317; }));
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotTest, AStoredStepAboveTheSliderMovesByThirty) {
    storeSettings(L"45");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(waitUntilListening(phone));
    SetCursorPos(400, 300);
    phone.send("04");
    ASSERT_TRUE(pumpUntil([] { return cursor().x == 370; }));
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotTest, ASecondStartEndsAtOnceWithExitCodeZero) {
    storeSettings(nullptr);
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(waitUntilListening(phone)) << "the first instance is fully up";
    second_ = startKeypilot();
    ASSERT_TRUE(second_.handle);
    EXPECT_EQ(second_.exitCode(30000), 0u);
    EXPECT_EQ(keypilot_.exitCode(0), static_cast<DWORD>(STILL_ACTIVE)) << "the first one runs on";
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotTest, AnyUnownedWindowCaptionedKeypilotStopsAStart) {
    HWND other = CreateWindowExW(0, L"STATIC", L"Keypilot", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, nullptr, nullptr);
    keypilot_ = startKeypilot();
    EXPECT_EQ(keypilot_.exitCode(20000), 0u);
    DestroyWindow(other);
    other = CreateWindowExW(0, L"STATIC", L"keypilot", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                            nullptr, nullptr);
    keypilot_ = startKeypilot();
    EXPECT_TRUE(waitForMainWindow(keypilot_)) << "a caption in another letter case does not count";
    EXPECT_EQ(stop(keypilot_), 0u);
    DestroyWindow(other);
}

TEST_F(KeypilotTest, AWrongTypeInTheStoreIsShownAndTheProgramRunsOn) {
    storeSettings(nullptr);
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeInteger(L"mouse", 15);
    keypilot_ = startKeypilot();
    HWND box = nullptr;
    ASSERT_TRUE(
        pumpUntil([&] { return (box = windowOf(keypilot_.id, L"#32770", L"Keypilot")); }, 20000));
    wchar_t text[256] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 256);
    EXPECT_STREQ(text, L"Invalid data type for 'mouse'.");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(box); }));
    EXPECT_TRUE(waitForMainWindow(keypilot_));
    // Start-up stopped before the port was opened: codes do nothing.
    PhoneLink phone(phonePort_);
    SetCursorPos(400, 300);
    phone.send("06");
    testing_support::pumpFor(700);
    EXPECT_EQ(cursor().x, 400);
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotTest, KeysReachTheForegroundWindowOfAnotherProgram) {
    storeSettings(L"10");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(waitUntilListening(phone));
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    for (const char* code : {"01", "09", "11"}) {
        size_t before = KeyRecorder::keys.size();
        phone.send(code);
        ASSERT_TRUE(pumpUntil([&] { return KeyRecorder::keys.size() >= before + 2; })) << code;
    }
    const WPARAM vks[] = {0x1B, 0x22, 0x21};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(KeyRecorder::keys[2 * i].msg, static_cast<UINT>(WM_KEYDOWN));
        EXPECT_EQ(KeyRecorder::keys[2 * i].vk, vks[i]);
        EXPECT_EQ(KeyRecorder::keys[2 * i].lParam, 0);
        EXPECT_EQ(KeyRecorder::keys[2 * i + 1].msg, static_cast<UINT>(WM_KEYUP));
        EXPECT_EQ(KeyRecorder::keys[2 * i + 1].vk, vks[i]);
        EXPECT_EQ(KeyRecorder::keys[2 * i + 1].lParam, 0);
    }
    // "05" clicks where the cursor is (on the recorder), then sends Enter.
    KeyRecorder::keys.clear();
    RECT r;
    GetWindowRect(recorder.handle(), &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    phone.send("05");
    ASSERT_TRUE(pumpUntil([] { return KeyRecorder::keys.size() >= 2; }));
    EXPECT_EQ(KeyRecorder::keys[0].vk, static_cast<WPARAM>(0x0D));
    EXPECT_EQ(KeyRecorder::keys[1].msg, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotTest, LaunchStartsTheStoredProgramAndNoLookAlike) {
    std::wstring marker = ownDirectory() + L"launch_marker.exe";
    ASSERT_TRUE(fileExists(marker));
    CreateDirectoryW(L"C:\\kp e2e", nullptr);
    std::wstring real = L"C:\\kp e2e\\marker.exe";
    std::wstring lookalike = L"C:\\kp.exe";
    ASSERT_TRUE(CopyFileW(marker.c_str(), real.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(marker.c_str(), lookalike.c_str(), FALSE));
    DeleteFileW((real + L".ran").c_str());
    DeleteFileW((lookalike + L".ran").c_str());
    storeSettings(L"10");
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"exe", real);
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(waitUntilListening(phone));
    phone.send("00");
    ASSERT_TRUE(pumpUntil([&] { return fileExists(real + L".ran"); }, 15000));
    EXPECT_FALSE(fileExists(lookalike + L".ran"));
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotTest, ExitChosenInsideACommandEndsTheProgramCleanly) {
    storeSettings(L"10");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    HWND tray = nullptr;
    ASSERT_TRUE(pumpUntil(
        [&] { return (tray = windowOf(keypilot_.id, L"KeypilotTrayIconHandler")) != nullptr; }));
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(waitUntilListening(phone));
    EXPECT_TRUE(trayIconPresent(tray, 1));
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    HWND main = windowOf(keypilot_.id, L"KeypilotMainWindow");
    // While Keypilot waits in the middle of "09", its exit is chosen (its main window closes).
    KeyRecorder::onKeyDown = [&] { PostMessageW(main, WM_CLOSE, 0, 0); };
    phone.send("09");
    EXPECT_EQ(keypilot_.exitCode(15000), 0u);
    keypilot_.handle.reset();
    EXPECT_EQ(KeyRecorder::keys.size(), 2u) << "the command finished before the program ended";
    EXPECT_FALSE(trayIconPresent(tray, 1)) << "the icon left the tray";
    // The port was let go: a new start reads codes again.
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    ASSERT_TRUE(waitUntilListening(phone));
    EXPECT_EQ(stop(keypilot_), 0u);
}

// What an installer does to end Keypilot: close the window it finds by class and caption.
TEST_F(KeypilotTest, ClosingTheApplicationWindowEndsTheProgramAsItsExitDoes) {
    storeSettings(L"10");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    HWND tray = nullptr;
    ASSERT_TRUE(pumpUntil(
        [&] { return (tray = windowOf(keypilot_.id, L"KeypilotTrayIconHandler")) != nullptr; }));
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(waitUntilListening(phone));
    ASSERT_TRUE(trayIconPresent(tray, 1));
    HWND app = windowOf(keypilot_.id, L"KeypilotApplication", L"Keypilot");
    ASSERT_NE(app, nullptr);
    SendMessageW(app, WM_CLOSE, 0, 0);
    EXPECT_EQ(keypilot_.exitCode(15000), 0u);
    keypilot_.handle.reset();
    EXPECT_FALSE(trayIconPresent(tray, 1)) << "the icon left the tray";
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    EXPECT_TRUE(waitUntilListening(phone)) << "the port was let go";
    EXPECT_EQ(stop(keypilot_), 0u);
}

BOOL CALLBACK collectWindow(HWND w, LPARAM found) {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(w);
    return TRUE;
}

// The system sends both messages to every top-level window and may kill the process as soon as
// WM_ENDSESSION has been answered: the icon must be gone by then.
TEST_F(KeypilotTest, TheEndOfTheSessionTakesTheIconAwayBeforeTheProcessCanBeKilled) {
    storeSettings(L"10");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    HWND tray = nullptr;
    ASSERT_TRUE(pumpUntil(
        [&] { return (tray = windowOf(keypilot_.id, L"KeypilotTrayIconHandler")) != nullptr; }));
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(waitUntilListening(phone));
    ASSERT_TRUE(trayIconPresent(tray, 1));
    std::vector<HWND> all, windows;
    EnumWindows(&collectWindow, reinterpret_cast<LPARAM>(&all));
    for (HWND w : all) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == keypilot_.id)
            windows.push_back(w);
    }
    ASSERT_GE(windows.size(), 2u) << "the application window and the main window";
    for (HWND w : windows)
        EXPECT_NE(SendMessageW(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0) << "ending agreed";
    for (HWND w : windows)
        SendMessageW(w, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    // Wine takes a dead window's icon away by itself: look before the process is killed.
    EXPECT_FALSE(trayIconPresent(tray, 1)) << "the icon left the tray inside the handler";
    // Killed, unless it has ended by itself already.
    TerminateProcess(keypilot_.handle.get(), 1);
    EXPECT_NE(keypilot_.exitCode(15000), static_cast<DWORD>(STILL_ACTIVE));
    keypilot_.handle.reset();
}

}  // namespace

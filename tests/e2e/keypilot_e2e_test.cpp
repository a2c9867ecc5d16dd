#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <string>
#include <string_view>
#include <thread>
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

// The program's end of a link, opened by the test itself to see what waits there unread.
class ProgramEnd {
  public:
    explicit ProgramEnd(const std::wstring& port)
        : handle_(CreateFileW((L"\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr)) {
        // Reads return at once with whatever has arrived.
        COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
        SetCommTimeouts(handle_.get(), &immediate);
        PurgeComm(handle_.get(), PURGE_RXCLEAR);
    }
    bool isOpen() const { return bool(handle_); }
    // Waits until these bytes have arrived here.
    bool waitFor(std::string_view bytes) {
        return pumpUntil([&] {
            char buffer[64];
            DWORD read = 0;
            if (ReadFile(handle_.get(), buffer, sizeof buffer, &read, nullptr)) {
                received_.append(buffer, read);
            }
            return received_.find(bytes) != std::string::npos;
        });
    }

  private:
    KernelHandle handle_;
    std::string received_;
};

// Runs a shell command of the host (Wine starts Unix programs itself) and waits for it. Wine
// cannot wait on such a process, so the command leaves a marker file when it is done.
bool runHostCommand(const std::string& command) {
    static int counter = 0;
    std::string marker = framework::toUtf8(testing_support::environment(L"KEYPILOT_TESTBED_DIR")) +
                         "/e2e-host-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(++counter) + ".done";
    std::wstring dosMarker = L"Z:" + framework::fromUtf8(marker);
    for (auto& c : dosMarker)
        c = c == L'/' ? L'\\' : c;
    std::wstring line = framework::fromUtf8("/bin/sh -c \"" + command +
                                            " >/dev/null 2>&1; touch '" + marker + "'\"");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return false;
    KernelHandle process{pi.hProcess}, thread{pi.hThread};
    bool done = pumpUntil([&] { return fileExists(dosMarker); }, 20000);
    DeleteFileW(dosMarker.c_str());
    return done;
}

// Stops the socat behind a testbed pair, like a phone whose Bluetooth link drops; starts it again
// under the same names when asked or at the latest when it goes.
class DroppedLink {
  public:
    explicit DroppedLink(const std::wstring& port) : port_(framework::toUtf8(port)) {}
    ~DroppedLink() {
        if (dropped_)
            restore();
    }
    bool drop() {
        dropped_ = true;
        return run("kill-link");
    }
    bool restore() {
        dropped_ = false;
        return run("restore-link");
    }

  private:
    bool run(const char* what) {
        return runHostCommand(std::string("'") + KEYPILOT_TESTBED_SCRIPT + "' " + what +
                              " \"$KEYPILOT_TESTBED_DIR\" " + port_);
    }
    std::string port_;
    bool dropped_ = false;
};

// A foreground window on a thread of its own that stops answering when it gets a key: its
// thread waits until release() (or at most half a minute), like a program that hangs.
class HangingWindow {
  public:
    HangingWindow() {
        release_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ready_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        thread_ = std::thread([this] { run(); });
        WaitForSingleObject(ready_.get(), 10000);
    }
    ~HangingWindow() {
        release();
        if (hwnd_)
            PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    HANDLE releaseEvent() const { return release_.get(); }
    HWND handle() const { return hwnd_; }
    void release() { SetEvent(release_.get()); }
    bool takeForeground() const {
        return pumpUntil([&] {
            SetForegroundWindow(hwnd_);
            return GetForegroundWindow() == hwnd_;
        });
    }
    // The key messages it has taken, in order: {msg, vk}.
    std::vector<std::pair<UINT, WPARAM>> keys() {
        std::vector<std::pair<UINT, WPARAM>> copy;
        EnterCriticalSection(&lock_);
        copy = keys_;
        LeaveCriticalSection(&lock_);
        return copy;
    }
    HangingWindow(const HangingWindow&) = delete;
    HangingWindow& operator=(const HangingWindow&) = delete;

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<HangingWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && (msg == WM_KEYDOWN || msg == WM_KEYUP)) {
            EnterCriticalSection(&self->lock_);
            self->keys_.emplace_back(msg, wParam);
            LeaveCriticalSection(&self->lock_);
            if (msg == WM_KEYDOWN)
                WaitForSingleObject(self->release_.get(), 30000);
            return 0;
        }
        if (msg == WM_CLOSE) {
            DestroyWindow(hwnd);
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    void run() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KeypilotTestHangingWindow";
        RegisterClassW(&wc);
        hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"hanging", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                520, 320, 200, 150, nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetEvent(ready_.get());
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    KernelHandle release_, ready_;
    HWND hwnd_ = nullptr;
    CRITICAL_SECTION lock_ = [] {
        CRITICAL_SECTION cs;
        InitializeCriticalSection(&cs);
        return cs;
    }();
    std::vector<std::pair<UINT, WPARAM>> keys_;
    std::thread thread_;
};

// A window with a focused child edit control that records the keys the edit control gets.
class EditWindow {
  public:
    EditWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KeypilotTestEditHost";
        RegisterClassW(&wc);
        top_ = CreateWindowExW(0, wc.lpszClassName, L"editor", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               480, 300, 260, 160, nullptr, nullptr, wc.hInstance, nullptr);
        edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 10, 10, 200,
                                80, top_, nullptr, wc.hInstance, nullptr);
        original_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditWindow::editProcedure)));
        keys.clear();
    }
    ~EditWindow() { DestroyWindow(top_); }
    EditWindow(const EditWindow&) = delete;
    EditWindow& operator=(const EditWindow&) = delete;
    HWND edit() const { return edit_; }
    bool takeFocus() const {
        return pumpUntil([&] {
            SetForegroundWindow(top_);
            SetFocus(edit_);
            return GetForegroundWindow() == top_ && GetFocus() == edit_;
        });
    }

    static inline std::vector<std::pair<UINT, WPARAM>> keys;

  private:
    static LRESULT CALLBACK editProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_KEYDOWN || msg == WM_KEYUP)
            keys.emplace_back(msg, wParam);
        return CallWindowProcW(original_, hwnd, msg, wParam, lParam);
    }
    HWND top_ = nullptr;
    HWND edit_ = nullptr;
    static inline WNDPROC original_ = nullptr;
};

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
    // The window that receives the tray icon's callbacks, once Keypilot has made it.
    HWND waitForTrayWindow(const Process& p) {
        HWND tray = nullptr;
        pumpUntil([&] { return (tray = windowOf(p.id, L"KeypilotTrayIconHandler")) != nullptr; });
        return tray;
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

TEST_F(KeypilotTest, AnotherProgramsWindowCaptionedKeypilotDoesNotStopAStart) {
    // Like a file manager showing a folder named Keypilot.
    HWND other = CreateWindowExW(0, L"STATIC", L"Keypilot", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    storeSettings(nullptr);
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    PhoneLink phone(phonePort_);
    EXPECT_TRUE(waitUntilListening(phone)) << "Keypilot runs on and reads codes";
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
    // Start-up stopped before the port was opened: a code stays unread at the program's end
    // of the link, where the test itself then finds it.
    ProgramEnd programEnd(programPort_);
    ASSERT_TRUE(programEnd.isOpen());
    PhoneLink phone(phonePort_);
    SetCursorPos(400, 300);
    phone.send("06");
    EXPECT_TRUE(programEnd.waitFor("06"));
    EXPECT_EQ(cursor().x, 400);
    EXPECT_EQ(stop(keypilot_), 0u);
}

// One executable, with nothing beside it, speaks the user's language: English under an English
// setting; Russian under a Russian one, the framework's messages included.
TEST_F(KeypilotTest, TheExecutableAloneSpeaksEnglishOrRussian) {
    struct Lang {
        std::wstring old = testing_support::environment(L"LANG");
        ~Lang() { SetEnvironmentVariableW(L"LANG", old.empty() ? nullptr : old.c_str()); }
    } restore;
    ASSERT_FALSE(fileExists(directoryOf(keypilotPath()) + L"locale"));
    auto caption = [&] {
        wchar_t text[64] = {};
        GetWindowTextW(windowOf(keypilot_.id, L"KeypilotMainWindow"), text, 64);
        return std::wstring(text);
    };
    SetEnvironmentVariableW(L"LANG", L"en_US.UTF-8");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    EXPECT_EQ(caption(), L"Properties: Keypilot");
    EXPECT_EQ(stop(keypilot_), 0u);

    SetEnvironmentVariableW(L"LANG", L"ru_RU.UTF-8");
    storeSettings(nullptr);
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeInteger(L"mouse", 15);
    keypilot_ = startKeypilot();
    HWND box = nullptr;
    ASSERT_TRUE(
        pumpUntil([&] { return (box = windowOf(keypilot_.id, L"#32770", L"Keypilot")); }, 20000));
    wchar_t text[256] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 256);
    EXPECT_STREQ(text, L"Неверный тип данных «mouse».");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    EXPECT_EQ(caption(), L"Свойства: Keypilot");
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
    // Unquoted, with an argument: the system alone would try C:\kp.exe first.
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"exe", real + L" --from-phone");
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
    HWND tray = waitForTrayWindow(keypilot_);
    ASSERT_NE(tray, nullptr);
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

TEST_F(KeypilotTest, CodesWrittenBackToBackEachRunInOrderAndAFlawedChunkRunsNone) {
    storeSettings(L"5");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(waitUntilListening(phone));
    SetCursorPos(50, 300);
    std::string sixty;
    for (int i = 0; i < 60; ++i)
        sixty += "06";
    ASSERT_TRUE(phone.send(sixty));
    ASSERT_TRUE(pumpUntil([] { return cursor().x == 50 + 60 * 5; }));
    // At the top edge only down before up ends at the edge again: right, down, up in this order.
    SetCursorPos(100, 0);
    ASSERT_TRUE(phone.send("060802"));
    ASSERT_TRUE(phone.send("0606"));
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
        ASSERT_TRUE(phone.send(chunk));
        bool moved = false;
        for (int attempt = 0; attempt < 10 && !moved; ++attempt) {
            phone.send("08");
            moved = pumpUntil([] { return cursor().y > 300; }, 500);
        }
        ASSERT_TRUE(moved) << testing::PrintToString(chunk);
        EXPECT_EQ(cursor().x, 300) << testing::PrintToString(chunk);
    }
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotTest, AForegroundWindowThatStopsAnsweringDoesNotStallTheNextCodes) {
    storeSettings(L"10");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(waitUntilListening(phone));
    HangingWindow hanging;
    ASSERT_TRUE(hanging.takeForeground());
    SetCursorPos(300, 300);
    ASSERT_TRUE(phone.send("09"));
    ASSERT_TRUE(pumpUntil([&] { return !hanging.keys().empty(); })) << "the key down arrived";
    // The window's thread now waits inside the key down; Keypilot goes on all the same.
    ASSERT_TRUE(phone.send("11"));
    ASSERT_TRUE(phone.send("06"));
    EXPECT_TRUE(pumpUntil([] { return cursor().x == 310; }, 10000));
    EXPECT_EQ(WaitForSingleObject(hanging.releaseEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "still hanging while the cursor moved";
    hanging.release();
    // What it had not taken by the time-out is dropped; it never gets anything out of order.
    EXPECT_EQ(hanging.keys().front(), (std::pair<UINT, WPARAM>{WM_KEYDOWN, 0x22}));
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotTest, WithKeysInputTheFocusedControlGetsRealKeyPresses) {
    storeSettings(L"10");
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"keys", L"input");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(waitUntilListening(phone));
    EditWindow editor;
    ASSERT_TRUE(editor.takeFocus());
    RECT r;
    GetWindowRect(editor.edit(), &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    // Esc, PgDn, PgUp, then a click on the edit control and Enter.
    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_KEYDOWN, 0x1B}, {WM_KEYUP, 0x1B}, {WM_KEYDOWN, 0x22}, {WM_KEYUP, 0x22},
        {WM_KEYDOWN, 0x21}, {WM_KEYUP, 0x21}, {WM_KEYDOWN, 0x0D}, {WM_KEYUP, 0x0D}};
    ASSERT_TRUE(phone.send("01091105"));
    EXPECT_TRUE(pumpUntil([] { return EditWindow::keys.size() >= 8; }));
    EXPECT_EQ(EditWindow::keys, expected);
    EXPECT_EQ(stop(keypilot_), 0u);
}

TEST_F(KeypilotTest, ALinkThatDropsAndComesBackReconnectsByItself) {
    storeSettings(L"10");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    {
        PhoneLink phone(phonePort_);
        ASSERT_TRUE(waitUntilListening(phone));
    }
    DroppedLink link(programPort_);
    ASSERT_TRUE(link.drop());
    ASSERT_TRUE(link.restore());
    // The same names lead to a new link: Keypilot finds the old one gone and opens the new one.
    PhoneLink phone(phonePort_);
    ASSERT_TRUE(phone.isOpen());
    EXPECT_TRUE(waitUntilListening(phone));
    EXPECT_EQ(stop(keypilot_), 0u);
}

// What an installer does to end Keypilot: close the window it finds by class and caption.
TEST_F(KeypilotTest, ClosingTheApplicationWindowEndsTheProgramAsItsExitDoes) {
    storeSettings(L"10");
    keypilot_ = startKeypilot();
    ASSERT_TRUE(waitForMainWindow(keypilot_));
    HWND tray = waitForTrayWindow(keypilot_);
    ASSERT_NE(tray, nullptr);
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
    HWND tray = waitForTrayWindow(keypilot_);
    ASSERT_NE(tray, nullptr);
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

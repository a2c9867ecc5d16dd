#include <gtest/gtest.h>

#include <string>

#include "framework/handle.h"
#include "framework/registry.h"
#include "framework/text.h"
#include "wine_test_support.h"

using framework::KernelHandle;
using framework::RegistryKey;
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
    DWORD exitCode(DWORD waitMs) const {
        if (WaitForSingleObject(handle.get(), waitMs) != WAIT_OBJECT_0)
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

}  // namespace

#include <gtest/gtest.h>

#include <vector>

#include "app/command_handler.h"
#include "app/main_window.h"
#include "framework/application.h"
#include "framework/registry.h"
#include "wine_test_support.h"

using framework::RegistryKey;
using testing_support::KeyRecorder;
using testing_support::PhoneLink;
using testing_support::pumpFor;
using testing_support::pumpUntil;

namespace {

const wchar_t* kSection = L"Software\\Corvane\\Keypilot";

class CommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        framework::application().initialize();
        framework::application().setTitle(L"Keypilot");
        testing_support::deleteUserKey(L"Software\\Corvane");
        auto ports = testing_support::portPairs();
        ASSERT_FALSE(ports.empty());
        auto section = RegistryKey::create(HKEY_CURRENT_USER, kSection);
        section.writeText(L"com", std::to_wstring(std::stoi(ports[0].first.substr(3)) - 1));
        section.writeText(L"mouse", L"17");
        window_ = std::make_unique<app::MainWindow>();
        ASSERT_TRUE(window_->formCreate());
        ASSERT_TRUE(window_->comPort().connected());
        phone_ = std::make_unique<PhoneLink>(ports[0].second);
        ASSERT_TRUE(phone_->isOpen());
        SetCursorPos(300, 300);
    }
    void TearDown() override {
        phone_.reset();
        window_.reset();
        testing_support::deleteUserKey(L"Software\\Corvane");
    }
    static POINT cursor() {
        POINT p{};
        GetCursorPos(&p);
        return p;
    }
    // Sends a code and waits until the cursor stands at the expected place.
    bool sendAndWaitFor(std::string_view code, POINT expected) {
        phone_->send(code);
        return pumpUntil([&] {
            POINT p = cursor();
            return p.x == expected.x && p.y == expected.y;
        });
    }

    std::unique_ptr<app::MainWindow> window_;
    std::unique_ptr<PhoneLink> phone_;
};

TEST_F(CommandTest, MovementUsesTheLiveSliderAndOnlyWholeCodesCount) {
    ASSERT_TRUE(sendAndWaitFor("06", {317, 300}));
    ASSERT_TRUE(sendAndWaitFor("08", {317, 317}));
    // Split codes, a whole code with an unknown pair and a code with a line end do nothing; the
    // next whole code shows they have been read and dropped.
    phone_->send("0");
    pumpFor(150);
    phone_->send("6");
    pumpFor(150);
    phone_->send("0612");
    pumpFor(150);
    phone_->send("02\r");
    pumpFor(150);
    ASSERT_TRUE(sendAndWaitFor("04", {300, 317}));
    window_->setCursorStep(5);  // not stored: the handler reads the slider itself
    ASSERT_TRUE(sendAndWaitFor("02", {300, 312}));
}

TEST_F(CommandTest, KeyCommandsReachTheForegroundWindowAsKeyDownThenKeyUp) {
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    for (const char* code : {"01", "09", "11"})
        phone_->send(code), pumpFor(100);
    ASSERT_TRUE(pumpUntil([] { return KeyRecorder::keys.size() >= 6; }));
    const WPARAM vks[] = {0x1B, 0x22, 0x21};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(KeyRecorder::keys[2 * i].msg, static_cast<UINT>(WM_KEYDOWN));
        EXPECT_EQ(KeyRecorder::keys[2 * i].vk, vks[i]);
        EXPECT_EQ(KeyRecorder::keys[2 * i].lParam, 0);
        EXPECT_EQ(KeyRecorder::keys[2 * i + 1].msg, static_cast<UINT>(WM_KEYUP));
        EXPECT_EQ(KeyRecorder::keys[2 * i + 1].vk, vks[i]);
        EXPECT_EQ(KeyRecorder::keys[2 * i + 1].lParam, 0);
    }
    KeyRecorder::keys.clear();
    // The click lands on the recorder itself, so it stays in the foreground for the Enter.
    RECT r;
    GetWindowRect(recorder.handle(), &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    phone_->send("05");
    ASSERT_TRUE(pumpUntil([] { return KeyRecorder::keys.size() >= 2; }));
    EXPECT_EQ(KeyRecorder::keys[0].vk, static_cast<WPARAM>(0x0D));
    EXPECT_EQ(KeyRecorder::keys[1].msg, static_cast<UINT>(WM_KEYUP));
}

TEST_F(CommandTest, OkChosenInsideACommandIsAppliedOnceTheCommandIsOver) {
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    window_->setCursorStep(9);
    KeyRecorder::onKeyDown = [&] {
        window_->onOk();
        // Still inside the command: the port cannot be closed yet.
        EXPECT_TRUE(window_->comPort().connected());
    };
    phone_->send("09");
    ASSERT_TRUE(pumpUntil([&] { return !window_->comPort().connected(); }));
    auto section = RegistryKey::open(HKEY_CURRENT_USER, kSection, KEY_READ);
    EXPECT_EQ(section.readText(L"mouse"), L"9");
    EXPECT_EQ(KeyRecorder::keys.size(), 2u) << "the command finished: key up followed";
    // A second OK reconnects.
    KeyRecorder::onKeyDown = nullptr;
    window_->onOk();
    EXPECT_TRUE(window_->comPort().connected());
}

std::wstring testDirectory() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

TEST_F(CommandTest, LaunchStartsTheProgramFieldsCommandLine) {
    std::wstring marker = testDirectory() + TEXT(KEYPILOT_LAUNCH_MARKER);
    // A program in a folder with a blank, and a look-alike that an unquoted start would run.
    std::wstring root = L"C:\\kp launch";
    CreateDirectoryW(root.c_str(), nullptr);
    std::wstring real = root + L"\\marker.exe";
    std::wstring lookalike = L"C:\\kp.exe";
    ASSERT_TRUE(CopyFileW(marker.c_str(), real.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(marker.c_str(), lookalike.c_str(), FALSE));
    DeleteFileW((real + L".ran").c_str());
    DeleteFileW((lookalike + L".ran").c_str());

    window_->setProgramText(real);
    phone_->send("00");
    ASSERT_TRUE(pumpUntil(
        [&] { return GetFileAttributesW((real + L".ran").c_str()) != INVALID_FILE_ATTRIBUTES; },
        10000));
    EXPECT_EQ(GetFileAttributesW((lookalike + L".ran").c_str()), INVALID_FILE_ATTRIBUTES);

    // A command line with arguments stays a command line.
    DeleteFileW((real + L".ran").c_str());
    window_->setProgramText(L"\"" + real + L"\" --from-phone");
    phone_->send("00");
    ASSERT_TRUE(pumpUntil(
        [&] { return GetFileAttributesW((real + L".ran").c_str()) != INVALID_FILE_ATTRIBUTES; },
        10000));

    // Nothing to start: nothing happens, and the next code works.
    window_->setProgramText(L"");
    phone_->send("00");
    pumpFor(150);
    window_->setProgramText(L"C:\\no\\such\\program.exe");
    phone_->send("00");
    pumpFor(150);
    ASSERT_TRUE(sendAndWaitFor("06", {317, 300}));
    EXPECT_FALSE(app::launchProgram(L""));
    EXPECT_FALSE(app::launchProgram(L"C:\\no\\such\\program.exe"));
}

}  // namespace

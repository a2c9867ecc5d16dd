// Presses of the user's buttons read from the real registry, with real launches: only the buttons
// that load act, a second start of the same program or address within a second does nothing, and
// every action that does nothing is answered with its reason, never after the presses are gone.
// The shell is a stand-in (an address would start a browser), and so are the power calls and,
// where it must fail, the random source: the real ones cannot be made to refuse.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "buttons/button_presses.h"
#include "framework/handle.h"
#include "framework/registry.h"
#include "wine_test_support.h"

namespace {

using testing_support::pumpUntil;

class ButtonPressesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::deleteUserKey(L"Software\\Corvane");
        shell_.execute = [this](const std::wstring& file, const std::wstring&) -> DWORD {
            std::lock_guard guard(lock_);
            opened_.push_back(file);
            return file.find(L"fail") != std::wstring::npos ? ERROR_NO_ASSOCIATION : ERROR_SUCCESS;
        };
    }
    void TearDown() override { testing_support::deleteUserKey(L"Software\\Corvane"); }

    static void store(const std::wstring& name, const std::wstring& value) {
        framework::RegistryKey::create(HKEY_CURRENT_USER, app::ButtonStore::defaultSectionPath())
            .writeText(name, value);
    }
    std::vector<std::wstring> opened() {
        std::lock_guard guard(lock_);
        return opened_;
    }
    // The answers of every press, in the order they came.
    app::ButtonReplies replies() {
        return {[this](std::string line) { lines_.push_back(std::move(line)); },
                [this](std::string line) { lines_.push_back(std::move(line)); }};
    }
    static std::string failed(const char* id, const char* reason) {
        return std::string(R"({"type":"failed","id":")") + id + R"(","reason":")" + reason +
               "\"}\n";
    }

    app::ShellRunner shell_;
    std::mutex lock_;
    std::vector<std::wstring> opened_;
    std::vector<std::string> lines_;
};

// Whatever another program stored, thirty buttons load, the phone is sent those, and an id left
// off does nothing.
TEST_F(ButtonPressesTest, ThirtyOfAThousandStoredLoadAndOnlyTheyAct) {
    for (int id = 1; id <= 1000; ++id) {
        store(app::buttonIdName(id),
              L"address|" + std::to_wstring(id) + L"|https://example.com/" + std::to_wstring(id));
    }
    app::ButtonPresses presses(shell_);
    presses.reload();
    const std::string line = presses.listLine();
    std::size_t listed = 0;
    for (auto at = line.find("\"id\""); at != std::string::npos; at = line.find("\"id\"", at + 1)) {
        ++listed;
    }
    EXPECT_EQ(listed, 30u);
    presses.press(500, 0, replies());
    presses.press(30, 0, replies());
    EXPECT_EQ(presses.unknownPresses(), 1u);
    ASSERT_TRUE(pumpUntil([&] { return !opened().empty(); }));
    EXPECT_EQ(opened(), std::vector<std::wstring>{L"https://example.com/30"});
}

// A double tap starts a program and opens an address once; a press a second after the one that
// started it starts it again. A button that fails after them on the same way tells when they are
// all done.
TEST_F(ButtonPressesTest, ASecondStartWithinASecondDoesNothing) {
    store(L"0001", L"address|Site|https://example.com/");
    store(L"0002", L"program|Shell|C:\\windows\\system32\\cmd.exe|/c exit|");
    store(L"0003", L"program|Missing|C:\\kp missing\\tool.exe||");
    store(L"0004", L"address|Fails|https://fail.example.com/");
    app::ButtonPresses presses(shell_);
    presses.reload();
    int starts = 0;
    auto& seams = presses.launcher().seams;
    seams.createProcess = [&starts, real = seams.createProcess](const std::wstring& application,
                                                                const std::wstring& line,
                                                                const std::wstring& folder) {
        ++starts;
        return real(application, line, folder);
    };
    for (std::uint64_t at : {10000, 10500, 10999, 11000, 11999}) {
        presses.press(1, at, replies());
        presses.press(2, at, replies());
    }
    presses.press(3, 12000, replies());
    presses.press(4, 12000, replies());
    ASSERT_TRUE(pumpUntil([&] { return lines_.size() == 2; }, 10000));
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(opened(), (std::vector<std::wstring>{L"https://example.com/", L"https://example.com/",
                                                   L"https://fail.example.com/"}));
    // Which of the two ways answers first is theirs to say.
    std::sort(lines_.begin(), lines_.end());
    EXPECT_EQ(lines_, (std::vector{failed("0003", "notFound"), failed("0004", "noProgram")}));
}

// A power call the system refuses, no token to be had, a batch file that cmd would not take as
// written: each press is answered so, at once.
TEST_F(ButtonPressesTest, WhatTheSystemRefusesIsAnsweredWithItsReason) {
    store(L"0001", L"power|Lock|lock");
    store(L"0002", L"power|Sleep|sleep");
    store(L"0003", L"program|Batch|C:\\kp batch\\args.bat|100%25|");
    testing_support::writeBytes(L"C:\\kp batch\\args.bat", "@echo %1\r\n");
    bool random = true;
    app::ButtonPresses presses(shell_, app::ButtonStore(), [&]() -> std::optional<std::uint32_t> {
        return random ? std::optional<std::uint32_t>(0xA1B2C3) : std::nullopt;
    });
    presses.reload();
    presses.seams.power = [](app::PowerAction) { return false; };

    presses.press(1, 1000, replies());
    presses.press(2, 1000, replies());
    presses.confirm(2, 0xA1B2C3, 1001, replies());
    random = false;
    presses.press(2, 1002, replies());
    presses.press(3, 1003, replies());
    ASSERT_TRUE(pumpUntil([&] { return lines_.size() == 5; }));
    const std::string confirm =
        std::string(R"({"type":"confirm","id":"0002","token":"A1B2C3","seconds":3})") + "\n";
    EXPECT_EQ(lines_, (std::vector<std::string>{
                          failed("0001", "refused"), confirm, failed("0002", "refused"),
                          failed("0002", "noToken"), failed("0003", "refused")}));
}

// An address still open in the shell when the presses go: its answer never comes.
TEST_F(ButtonPressesTest, NoAnswerComesAfterThePressesAreGone) {
    store(L"0001", L"address|Fails|https://fail.example.com/");
    const framework::KernelHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    shell_.execute = [&](const std::wstring&, const std::wstring&) -> DWORD {
        WaitForSingleObject(release.get(), 10000);
        return ERROR_NO_ASSOCIATION;
    };
    {
        app::ButtonPresses presses(shell_);
        presses.reload();
        presses.press(1, 0, replies());
    }
    SetEvent(release.get());
    bool after = false;
    shell_.run(L"after", {}, [&](DWORD) { after = true; });
    ASSERT_TRUE(pumpUntil([&] { return after; }));
    EXPECT_TRUE(lines_.empty());
}

}  // namespace

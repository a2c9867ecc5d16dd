#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/keypilot.h"
#include "desktop/command_handler.h"
#include "desktop/launch_program.h"
#include "framework/application.h"
#include "framework/handle.h"
#include "framework/registry.h"
#include "keypilot_on_port.h"
#include "keypilot_waits.h"
#include "launch_marker_files.h"
#include "link/link_protocol.h"
#include "wine_test_support.h"

using framework::RegistryKey;
using testing_support::fileText;
using testing_support::KeyRecorder;
using testing_support::pumpUntil;
using testing_support::testDirectory;

namespace {

class CommandTest : public testing_support::KeypilotOnPort {
  protected:
    void storeSettings(const RegistryKey& section) override { section.writeText(L"mouse", L"17"); }
    static POINT cursor() {
        POINT p{};
        GetCursorPos(&p);
        return p;
    }
    // Sends one chunk and waits until the program has handled it.
    bool sendChunk(std::string_view bytes) {
        const int before = chunksHandled_;
        phone_->send(bytes);
        return pumpUntil([&] { return chunksHandled_ > before; });
    }
    // Sends a code and waits until the cursor stands at the expected place.
    bool sendAndWaitFor(std::string_view code, POINT expected) {
        phone_->send(code);
        return pumpUntil([&] {
            POINT p = cursor();
            return p.x == expected.x && p.y == expected.y;
        });
    }
};

TEST_F(CommandTest, MovementUsesTheLiveSliderAndOnlyWholeCodesCount) {
    ASSERT_TRUE(sendAndWaitFor("06", {317, 300}));
    ASSERT_TRUE(sendAndWaitFor("08", {317, 317}));
    // Split codes, a whole code with an unknown pair and a code with a line end are read and do
    // nothing.
    for (std::string_view chunk : {"0", "6", "0612", "02\r"}) {
        ASSERT_TRUE(sendChunk(chunk)) << chunk;
    }
    EXPECT_EQ(cursor().x, 317);
    EXPECT_EQ(cursor().y, 317);
    ASSERT_TRUE(sendAndWaitFor("04", {300, 317}));
    keypilot_->settingsWindow().setCursorStep(
        5);  // not stored: the handler reads the slider itself
    ASSERT_TRUE(sendAndWaitFor("02", {300, 312}));
}

TEST_F(CommandTest, KeyCommandsReachTheForegroundWindowAsKeyDownThenKeyUp) {
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    for (const char* code : {"01", "09", "11"}) {
        ASSERT_TRUE(KeyRecorder::pressFrom(*phone_, code)) << code;
    }
    EXPECT_EQ(KeyRecorder::keys, KeyRecorder::presses({VK_ESCAPE, VK_NEXT, VK_PRIOR}));
    KeyRecorder::keys.clear();
    // The click lands on the recorder itself, so it stays in the foreground for the Enter.
    recorder.pointAt();
    phone_->send("05");
    ASSERT_TRUE(KeyRecorder::waitForKeys(2));
    EXPECT_EQ(KeyRecorder::keys[0].vk, static_cast<WPARAM>(0x0D));
    EXPECT_EQ(KeyRecorder::keys[1].msg, static_cast<UINT>(WM_KEYUP));
}

TEST_F(CommandTest, OkChosenInsideACommandIsAppliedOnceTheCommandIsOver) {
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    keypilot_->settingsWindow().setCursorStep(9);
    KeyRecorder::onKeyDown = [&] {
        keypilot_->onOk();
        // Still inside the command: the port cannot be closed yet.
        EXPECT_TRUE(keypilot_->comPort().connected());
    };
    phone_->send("09");
    ASSERT_TRUE(pumpUntil([&] { return !keypilot_->comPort().connected(); }));
    auto section = RegistryKey::open(HKEY_CURRENT_USER, kSection, KEY_READ);
    EXPECT_EQ(section.readText(L"mouse"), L"9");
    EXPECT_EQ(KeyRecorder::keys.size(), 2u) << "the command finished: key up followed";
    // A second OK reconnects.
    KeyRecorder::onKeyDown = nullptr;
    keypilot_->onOk();
    EXPECT_TRUE(testing_support::waitForOpen(*keypilot_));
}

// Two OKs while a code runs, as when the user presses OK twice while codes flow: the first
// closes the port, the second opens the one then chosen, just as without a command in the way.
TEST_F(CommandTest, TwoOksInsideOneCommandEachTakeEffectInOrderOnceItIsOver) {
    const std::wstring first = keypilot_->comPort().port();
    const std::wstring second = testing_support::testbedPair(1).local;
    const int secondIndex = std::stoi(second.substr(3)) - 1;
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    KeyRecorder::onKeyDown = [&] {
        keypilot_->onOk();
        keypilot_->settingsWindow().setPortIndex(secondIndex);
        keypilot_->onOk();
        auto section = RegistryKey::open(HKEY_CURRENT_USER, kSection, KEY_READ);
        EXPECT_EQ(section.readText(L"com"), std::to_wstring(secondIndex)) << "stored at once";
        EXPECT_EQ(keypilot_->comPort().port(), first) << "nothing switched inside the command";
    };
    phone_->send("09");
    EXPECT_TRUE(pumpUntil([&] {
        return keypilot_->comPort().port() == second && keypilot_->comPort().connected();
    })) << "the second OK's port ends open";
    EXPECT_EQ(KeyRecorder::keys.size(), 2u) << "the command finished: key up followed";
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
    DeleteFileW((lookalike + L".ran").c_str());
    // A batch file that hands its arguments on to the marker.
    std::wstring batch = root + L"\\run me.bat";
    {
        framework::KernelHandle file{
            CreateFileW(batch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)};
        std::string script = "@\"C:\\kp launch\\marker.exe\" %*\r\n";
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), script.data(), static_cast<DWORD>(script.size()),
                              &written, nullptr));
    }

    // The path alone, and a command line with arguments, quoted or not, also through a batch file.
    for (const std::wstring& text : {real, L"\"" + real + L"\" --from-phone",
                                     real + L" --from-phone", batch + L" --from-phone"}) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        DeleteFileW((real + L".ran").c_str());
        keypilot_->settingsWindow().setProgramText(text);
        phone_->send("00");
        std::wstring line;
        ASSERT_TRUE(pumpUntil([&] { return !(line = fileText(real + L".ran")).empty(); }, 10000));
        if (text != real) {
            EXPECT_TRUE(line.ends_with(L" --from-phone"));
        }
        EXPECT_EQ(GetFileAttributesW((lookalike + L".ran").c_str()), INVALID_FILE_ATTRIBUTES);
    }

    // A bare name is looked for in the PATH entries (never in this program's folder by itself);
    // ".exe" is added as the system would.
    testing_support::ScopedEnvironment path(
        L"PATH", (testDirectory() + L";" + testing_support::environment(L"PATH")).c_str());
    std::wstring name = TEXT(KEYPILOT_LAUNCH_MARKER);
    DeleteFileW((marker + L".ran").c_str());
    keypilot_->settingsWindow().setProgramText(name.substr(0, name.size() - 4) + L" --from-phone");
    phone_->send("00");
    std::wstring line;
    ASSERT_TRUE(pumpUntil([&] { return !(line = fileText(marker + L".ran")).empty(); }, 10000));
    EXPECT_TRUE(line.ends_with(L" --from-phone"));

    // Nothing to start: nothing happens, and the next code works.
    keypilot_->settingsWindow().setProgramText(L"");
    ASSERT_TRUE(sendChunk("00"));
    keypilot_->settingsWindow().setProgramText(L"C:\\no\\such\\program.exe");
    ASSERT_TRUE(sendChunk("00"));
    ASSERT_TRUE(sendAndWaitFor("06", {317, 300}));
    EXPECT_FALSE(app::launchProgram(L""));
    EXPECT_FALSE(app::launchProgram(L"C:\\no\\such\\program.exe"));
}

// The touchpad's moves land exactly: several in one chunk add up, and a move that the link splits
// over two writes moves once, whole, when its second half comes.
TEST_F(CommandTest, MovesAreExactInAChunkAndOverASplitWrite) {
    ASSERT_TRUE(sendAndWaitFor("MV+010-005MV+003+002MV-001+000", {312, 297}));
    ASSERT_TRUE(sendChunk("MV+02"));
    EXPECT_EQ(cursor().x, 312);
    EXPECT_EQ(cursor().y, 297);
    ASSERT_TRUE(sendAndWaitFor("0+010", {332, 307}));
    // The twelve codes and frames in one chunk act in order; the codes still step by the slider.
    ASSERT_TRUE(sendAndWaitFor("06MV-005+000", {344, 307}));
}

// Pointer and key frames go through the input queue to the window under the cursor and in the
// foreground: a real key press (repeat count 1 in lParam) even though the key setting says
// messages.
TEST_F(CommandTest, ARightClickAWheelTurnAndAMediaKeyReachTheForegroundWindow) {
    using Key = KeyRecorder::Key;
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    recorder.pointAt();
    phone_->send("CR");
    ASSERT_TRUE(pumpUntil([] { return KeyRecorder::mouse.size() >= 2; }));
    EXPECT_EQ(KeyRecorder::mouse, (std::vector<Key>{{WM_RBUTTONDOWN, 0, 0}, {WM_RBUTTONUP, 0, 0}}));
    KeyRecorder::mouse.clear();
    // Two notches down, then one to the right.
    phone_->send("SC+000-240SC+120+000");
    ASSERT_TRUE(pumpUntil([] { return KeyRecorder::mouse.size() >= 2; }));
    EXPECT_EQ(KeyRecorder::mouse,
              (std::vector<Key>{{WM_MOUSEWHEEL, static_cast<WPARAM>(INT_PTR{-240}), 0},
                                {WM_MOUSEHWHEEL, 120, 0}}));
    ASSERT_EQ(keypilot_->keyDelivery(), app::KeyDelivery::Messages);
    phone_->send("KYPP");
    ASSERT_TRUE(KeyRecorder::waitForKeys(2));
    EXPECT_EQ(KeyRecorder::keys[0].msg, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(KeyRecorder::keys[0].vk, static_cast<WPARAM>(VK_MEDIA_PLAY_PAUSE));
    EXPECT_EQ(KeyRecorder::keys[0].lParam & 0xFFFF, 1) << "from the input queue";
    EXPECT_EQ(KeyRecorder::keys[1].msg, static_cast<UINT>(WM_KEYUP));
}

std::wstring windowText(HWND window) {
    wchar_t buffer[128] = {};
    GetWindowTextW(window, buffer, 128);
    return buffer;
}

// A text is typed whole into the focused edit control, Russian and a character beyond U+FFFF
// included, and only once its frame is complete.
TEST_F(CommandTest, ATypedTextLandsWholeInTheFocusedEditControl) {
    testing_support::EditWindow editor;
    ASSERT_TRUE(editor.takeFocus());
    const std::u16string text = u"Привет, мир! \U0001F600 Ёж";
    const std::wstring expected(text.begin(), text.end());
    const auto frame = phonelink::encodeMessage(phonelink::Message::typing(text));
    ASSERT_TRUE(frame);
    auto typed = [&] { return windowText(editor.edit()); };
    const std::size_t half = frame->size() / 2 + 1;  // an odd place, inside a byte's hex
    ASSERT_TRUE(sendChunk(std::string_view(*frame).substr(0, half)));
    EXPECT_EQ(typed(), L"");
    phone_->send(std::string_view(*frame).substr(half));
    EXPECT_TRUE(pumpUntil([&] { return typed() == expected; })) << frame->size();
}

// The left button held for a drag is released by the phone's "up", after a silence of the phone
// (on a clock the test sets: not a millisecond before 1.5 s, and at it) and when the port closes.
// While it is held, a mark beside the settings says so.
TEST_F(CommandTest, AHeldButtonIsReleasedByUpAtTheEndOfTheSilenceAndByTheClosingPort) {
    using Key = KeyRecorder::Key;
    const std::vector<Key> pressAndRelease{{WM_LBUTTONDOWN, 0, 0}, {WM_LBUTTONUP, 0, 0}};
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    recorder.pointAt();
    auto pressed = [] { return !KeyRecorder::mouse.empty(); };
    auto released = [] { return KeyRecorder::mouse.size() >= 2; };
    auto marked = [] {
        return RegistryKey::open(HKEY_CURRENT_USER, kSection, KEY_READ)
            .valueExists(app::Keypilot::kHeldMark);
    };

    phone_->send("DN");
    ASSERT_TRUE(pumpUntil(pressed));
    EXPECT_TRUE(keypilot_->leftButton().held());
    EXPECT_TRUE(marked());
    phone_->send("UP");
    ASSERT_TRUE(pumpUntil(released));
    EXPECT_EQ(KeyRecorder::mouse, pressAndRelease);
    EXPECT_FALSE(marked());

    std::uint64_t now = 50'000'000;
    keypilot_->setClock([&now] { return now; });
    KeyRecorder::mouse.clear();
    phone_->send("DN");
    ASSERT_TRUE(pumpUntil(pressed));
    // The hold timer's check, now rather than at its next tick.
    auto check = [&] {
        SendMessageW(keypilot_->settingsWindow().handle(), WM_TIMER, app::Keypilot::kHoldTimerId,
                     0);
    };
    now += app::Keypilot::kHoldSilenceMs - 1;
    check();
    EXPECT_TRUE(keypilot_->leftButton().held()) << "let go before the silence was over";
    now += 1;
    check();
    EXPECT_FALSE(keypilot_->leftButton().held()) << "still held when the silence was over";
    ASSERT_TRUE(pumpUntil(released));
    EXPECT_EQ(KeyRecorder::mouse, pressAndRelease);
    EXPECT_FALSE(marked());

    KeyRecorder::mouse.clear();
    phone_->send("DN");
    ASSERT_TRUE(pumpUntil(pressed));
    keypilot_->onOk();  // closes the open port
    ASSERT_FALSE(keypilot_->comPort().connected());
    ASSERT_TRUE(pumpUntil(released));
    EXPECT_EQ(KeyRecorder::mouse, pressAndRelease);
}

// A stray byte that could begin a frame, and a frame's start that never ends, are no phone: the
// tray goes on waiting until a message has been read whole.
TEST_F(CommandTest, OnlyAWholeMessageCountsAsThePhoneHeard) {
    for (std::string_view start : {"T", "K", "MV+9"}) {
        ASSERT_TRUE(sendChunk(start)) << start;
        EXPECT_FALSE(keypilot_->comWay().contact().lastHeard()) << start;
        EXPECT_EQ(keypilot_->linkStatus(), app::LinkStatus::Waiting) << start;
    }
    // A sign of life that comes in time for the kept start spoils it and is dropped with it; the
    // next one is read on its own.
    ASSERT_TRUE(sendChunk("PI"));
    ASSERT_TRUE(sendChunk("PI"));
    EXPECT_EQ(keypilot_->linkStatus(), app::LinkStatus::Heard);
}

// A click while the phone holds the left button ends the drag with its one up and then clicks:
// never a second down without an up between, and no up left over for the phone's "UP" later.
TEST_F(CommandTest, AClickDuringADragEndsTheDragFirst) {
    using Key = KeyRecorder::Key;
    const std::vector<Key> twoPresses{
        {WM_LBUTTONDOWN, 0, 0}, {WM_LBUTTONUP, 0, 0}, {WM_LBUTTONDOWN, 0, 0}, {WM_LBUTTONUP, 0, 0}};
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.takeForeground());
    recorder.pointAt();
    auto fourButtons = [] { return KeyRecorder::mouse.size() >= 4; };
    for (std::string_view click : {"CL", "05"}) {
        SCOPED_TRACE(click);
        KeyRecorder::mouse.clear();
        phone_->send("DN");
        ASSERT_TRUE(pumpUntil([] { return !KeyRecorder::mouse.empty(); }));
        phone_->send(click);
        ASSERT_TRUE(pumpUntil(fourButtons));
        EXPECT_FALSE(keypilot_->leftButton().held());
        // The phone's "UP" and a right click after it: only the right click arrives.
        ASSERT_TRUE(sendChunk("UP"));
        phone_->send("CR");
        ASSERT_TRUE(pumpUntil([] { return KeyRecorder::mouse.size() >= 6; }));
        std::vector<Key> expected = twoPresses;
        expected.push_back({WM_RBUTTONDOWN, 0, 0});
        expected.push_back({WM_RBUTTONUP, 0, 0});
        EXPECT_EQ(KeyRecorder::mouse, expected);
    }
}

// A text's line ends type one Enter each, a tab types Tab, and its other control characters are
// not typed: no backspace deletes, while the characters around them all arrive.
TEST_F(CommandTest, ATextsControlCharactersFollowTheTypingRule) {
    testing_support::EditWindow editor;
    ASSERT_TRUE(editor.takeFocus());
    const std::u16string text(u"ab\bc\r\nd\re\tf\x1B\0g", 14);
    const auto frame = phonelink::encodeMessage(phonelink::Message::typing(text));
    ASSERT_TRUE(frame);
    auto typed = [&] { return windowText(editor.edit()); };
    phone_->send(*frame);
    const std::wstring expected = L"abc\r\nd\r\ne\tfg";
    pumpUntil([&] { return typed() == expected; }, 3000);
    EXPECT_EQ(typed(), expected);
}

}  // namespace

// What goes back over a real port: the testbed's pseudo-terminal pair, Keypilot on one end and the
// test as the phone on the other. Only a sender that said hello ever gets a byte. The user's
// buttons: their list, and each kind of action pressed from the phone reaching Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/keypilot.h"
#include "framework/application.h"
#include "framework/registry.h"
#include "helper_windows.h"
#include "keypilot_on_port.h"
#include "launch_marker_files.h"
#include "link/link_protocol.h"
#include "link/talk.h"
#include "wine_test_support.h"

namespace {

using testing_support::pumpUntil;

class PhoneLinkTest : public testing_support::KeypilotOnPort {
  protected:
    void beforeStart(app::Keypilot& keypilot) override {
        keypilot.setClock([this] { return now_; });
    }
    // Sends bytes as the phone and waits until Keypilot has read them all. A long flood goes in
    // writes of at most 1,000 bytes: Keypilot reads on this thread, and a write larger than the
    // pseudo-terminal's buffer would wait for a read that cannot come meanwhile.
    void send(const std::string& bytes) {
        for (std::size_t at = 0; at < bytes.size(); at += 1000) {
            const std::string piece = bytes.substr(at, 1000);
            const std::int64_t until = bytesHandled_ + static_cast<std::int64_t>(piece.size());
            ASSERT_TRUE(phone_->send(piece));
            ASSERT_TRUE(pumpUntil([&] { return bytesHandled_ >= until; }, 10000));
        }
    }
    // What reaches the phone within waitMs, the main thread answering meanwhile.
    std::string heardWithin(DWORD waitMs) {
        std::string heard;
        const DWORD start = GetTickCount();
        pumpUntil(
            [&] {
                heard += phone_->read();
                return GetTickCount() - start >= waitMs;
            },
            waitMs + 1000);
        return heard;
    }
    bool talking() { return keypilot_->comWay().talking(); }
    // Lines that reach the phone until one ends with `last` (its end, "]}" of a list), the main
    // thread answering meanwhile.
    std::string linesUntil(const std::string& last) {
        std::string lines;
        EXPECT_TRUE(pumpUntil([&] {
            lines += phone_->read();
            return lines.find(last + "\n") != std::string::npos;
        })) << lines;
        return lines;
    }
    // The user's buttons as the window's OK leaves them, then Keypilot told so.
    void storeButtons(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> values) {
        const auto section =
            framework::RegistryKey::create(HKEY_CURRENT_USER, L"Software\\Corvane\\Keypilot");
        for (const auto& [name, value] : values) {
            section.writeText(name, value);
        }
        keypilot_->reloadButtons();
    }
    // A hello, and its answer and the list of buttons read.
    std::string hello() {
        send("HI04");
        return linesUntil("]}");
    }

    std::uint64_t now_ = 100000;
};

// A terminal app or an older page never says hello: after a flood of codes and frames nothing at
// all comes back; the first hello is answered with one JSON line, on this port.
TEST_F(PhoneLinkTest, OnlyAHelloIsAnsweredAndAFloodWithoutOneGetsNothing) {
    std::string flood;
    for (int i = 0; i < 2500; ++i) {
        // Four codes and two frames each time, 10,000 codes in all: the volume steps up and down,
        // which a talking Keypilot would report.
        flood += "07100710PISC+000+000";
    }
    send(flood);
    EXPECT_EQ(heardWithin(3000), "") << "no byte for a sender that never said hello";
    EXPECT_FALSE(talking());

    send("HI03");
    // The answer, the PC's buttons after it.
    std::string answer = linesUntil("]}");
    answer.resize(answer.find('\n') + 1);
    EXPECT_EQ(answer.rfind("{\"type\":\"hello\",\"version\":" +
                               std::to_string(phonelink::kProtocolVersion) + ",",
                           0),
              0u)
        << answer;
    EXPECT_EQ(answer.back(), '\n');
    EXPECT_LE(answer.size(), 4096u);
    EXPECT_TRUE(talking());
}

// The talk lasts while the signs of life come, the hello being one; once the sender counts as
// gone, whoever comes next on the same open port gets nothing until it says hello itself.
TEST_F(PhoneLinkTest, ASenderGoneEndsTheTalkAndTheNextSenderGetsNothingWithoutAHello) {
    send("HI03");
    // The answer, then the PC's buttons.
    linesUntil("]}");
    now_ += phonelink::PhoneTalk::kSilenceMs - 1;
    keypilot_->onStatusTick();
    EXPECT_TRUE(talking());
    now_ += 1;
    keypilot_->onStatusTick();
    EXPECT_FALSE(talking()) << "the hello's sign of life is 5 s old";

    send("PI0608MV+001+000");
    EXPECT_EQ(heardWithin(1000), "") << "signs of life and presses start nothing";
    EXPECT_FALSE(talking());
    send("HI02PI");
    EXPECT_TRUE(pumpUntil([&] { return phone_->read().find('\n') != std::string::npos; }));
    EXPECT_TRUE(talking());

    // The silence is judged as a chunk arrives, before it acts: a press 5 s after the last sign
    // finds the talk over, and counts for nothing.
    now_ += phonelink::PhoneTalk::kSilenceMs;
    send("BT0099");
    EXPECT_FALSE(talking());
    EXPECT_EQ(keypilot_->buttonPresses().unknownPresses(), 0u);
}

// The list follows the hello, and follows every reload while the phone talks: the working
// buttons in their order, a broken one left out. A press counts only from a talking sender, and
// only after its hello in the order the bytes came; an id that names no working button does
// nothing, answers nothing and is counted.
TEST_F(PhoneLinkTest, TheListFollowsTheHelloAndEachReloadAndAnUnknownIdIsCounted) {
    send("BT0099");
    EXPECT_EQ(keypilot_->buttonPresses().unknownPresses(), 0u) << "no hello: no press counts";
    // In the order the bytes came: a press before the hello in the same write does not count.
    send("BT0099HI04BT0099");
    EXPECT_EQ(keypilot_->buttonPresses().unknownPresses(), 1u);

    const std::string lines = linesUntil("]}");
    const auto list = lines.find(R"({"type":"buttons","buttons":[{"id":"0001","name":")");
    ASSERT_NE(list, std::string::npos) << lines;
    EXPECT_NE(lines.find(R"({"id":"0006","name":")", list), std::string::npos) << lines;
    EXPECT_EQ(lines.find(R"("confirm":true)", list), lines.rfind(R"("confirm":true)")) << lines;
    EXPECT_TRUE(lines.ends_with("\"confirm\":true}]}\n")) << "only Sleep asks for a confirmation";

    framework::RegistryKey::create(HKEY_CURRENT_USER, L"Software\\Corvane\\Keypilot")
        .writeInteger(L"0008", 1);
    storeButtons({{L"0007", L"keys|Copy|Ctrl+C"},
                  {L"0009", L"address|Сайт|https://example.com/"},
                  {L"buttons", L"0009,0008,0007"},
                  {L"lastButton", L"0009"}});
    EXPECT_EQ(linesUntil("]}"),
              "{\"type\":\"buttons\",\"buttons\":[{\"id\":\"0009\",\"name\":\"\xD0\xA1\xD0\xB0"
              "\xD0\xB9\xD1\x82\"},{\"id\":\"0007\",\"name\":\"Copy\"}]}\n");

    send("BT0099BT0008");
    EXPECT_EQ(keypilot_->buttonPresses().unknownPresses(), 3u);
    EXPECT_EQ(heardWithin(500), "");
}

// A press whose action fails is answered on its way with the reason, once the launch has been
// tried off the main thread.
TEST_F(PhoneLinkTest, AFailedActionIsAnsweredInTheTalkOfItsPress) {
    storeButtons({{L"0001", L"program|Gone|C:\\kp nowhere\\gone.exe||"},
                  {L"buttons", L"0001"},
                  {L"lastButton", L"0001"}});
    hello();
    send("BT0001");
    EXPECT_EQ(linesUntil(R"("reason":"notFound"})"),
              "{\"type\":\"failed\",\"id\":\"0001\",\"reason\":\"notFound\"}\n");
}

// Each kind of button pressed from the phone reaches Windows: the combination's keys in the
// foreground window with its modifiers around the key, the program with its arguments in its
// working folder, the text typed, the address handed to the shell (a stand-in: a real one would
// start a browser).
TEST_F(PhoneLinkTest, EachKindOfButtonReachesWindows) {
    const std::wstring folder = L"C:\\kp buttons";
    const std::wstring work = folder + L"\\work place";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW(work.c_str(), nullptr);
    const std::wstring marker = folder + L"\\marker tool.exe";
    ASSERT_TRUE(CopyFileW((testing_support::testDirectory() + TEXT(KEYPILOT_LAUNCH_MARKER)).c_str(),
                          marker.c_str(), FALSE));
    DeleteFileW((marker + L".ran").c_str());
    std::mutex lock;
    std::vector<std::wstring> opened;
    keypilot_->shell().execute = [&](const std::wstring& file, const std::wstring& parameters) {
        const std::lock_guard<std::mutex> hold(lock);
        opened.push_back(file + L"|" + parameters);
    };
    const std::wstring program = L"program|Tool|" + marker + L"|--from \"a b\" 100%25|" + work;
    storeButtons({{L"0001", L"keys|Refresh all|Ctrl+Shift+F5"},
                  {L"0002", program.c_str()},
                  {L"0003", L"text|Hello|Ёж 😀"},
                  {L"0004", L"address|Site|https://example.com/a?b=1"},
                  {L"buttons", L"0001,0002,0003,0004"},
                  {L"lastButton", L"0004"}});
    hello();

    {
        testing_support::KeyRecorder recorder;
        ASSERT_TRUE(recorder.takeForeground());
        send("BT0001");
        ASSERT_TRUE(testing_support::KeyRecorder::waitForKeys(6));
        std::vector<std::pair<UINT, WPARAM>> keys;
        keys.reserve(testing_support::KeyRecorder::keys.size());
        for (const auto& key : testing_support::KeyRecorder::keys) {
            keys.emplace_back(key.msg, key.vk);
        }
        const std::vector<std::pair<UINT, WPARAM>> expected{
            {WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, VK_F5},
            {WM_KEYUP, VK_F5},        {WM_KEYUP, VK_SHIFT},   {WM_KEYUP, VK_CONTROL}};
        EXPECT_EQ(keys, expected);
    }

    send("BT0002");
    std::wstring line;
    ASSERT_TRUE(pumpUntil(
        [&] { return !(line = testing_support::fileText(marker + L".ran")).empty(); }, 10000));
    EXPECT_EQ(line, L"\"" + marker + L"\" --from \"a b\" 100%");
    EXPECT_EQ(testing_support::fileText(marker + L".dir"), work);

    {
        testing_support::EditWindow editor;
        ASSERT_TRUE(editor.takeFocus());
        send("BT0003");
        wchar_t typed[64] = {};
        EXPECT_TRUE(pumpUntil([&] {
            GetWindowTextW(editor.edit(), typed, 64);
            return std::wstring(typed) == L"Ёж 😀";
        })) << std::wstring(typed).size();
    }

    send("BT0004");
    EXPECT_TRUE(pumpUntil([&] {
        const std::lock_guard<std::mutex> hold(lock);
        return opened == std::vector<std::wstring>{L"https://example.com/a?b=1|"};
    }));
}

// Lock acts at once; restart and sleep only on the token of their latest press, for that button,
// within 3 s, once, and never across a new hello. A press without a hello does nothing at all.
// The power calls are the test's: the real ones would end the session.
TEST_F(PhoneLinkTest, PowerActsOnlyOnItsTokenWithinThreeSecondsOnce) {
    std::vector<app::PowerAction> calls;
    keypilot_->buttonPresses().seams.power = [&](app::PowerAction action) {
        calls.push_back(action);
        return true;
    };
    storeButtons({{L"0001", L"power|Lock|lock"},
                  {L"0002", L"power|Restart|restart"},
                  {L"0003", L"power|Sleep|sleep"},
                  {L"buttons", L"0001,0002,0003"},
                  {L"lastButton", L"0003"}});
    send("BT0001BT0002");
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(heardWithin(500), "");

    hello();
    send("BT0001");
    EXPECT_EQ(calls, std::vector{app::PowerAction::Lock});
    calls.clear();
    // The token of a press, read from its confirmation line.
    auto press = [&](const std::string& id) {
        send("BT" + id);
        const std::string line = linesUntil(R"(,"seconds":3})");
        const std::string start = R"({"type":"confirm","id":")" + id + R"(","token":")";
        EXPECT_EQ(line.rfind(start, 0), 0u) << line;
        return line.substr(start.size(), 6);
    };
    const std::string first = press("0002");
    const std::string wrong =
        std::string(first.begin(), first.end() - 1) + (first.back() == '0' ? '1' : '0');
    send("CF0002" + wrong + "CF0003" + first);
    now_ += phonelink::ButtonConfirmations::kConfirmMs + 1;
    send("PICF0002" + first);
    EXPECT_TRUE(calls.empty()) << "a wrong token, another button, too late";

    const std::string second = press("0002");
    now_ += phonelink::ButtonConfirmations::kConfirmMs;
    send("PICF0002" + second);
    EXPECT_EQ(calls, std::vector{app::PowerAction::Restart});
    send("CF0002" + second);
    EXPECT_EQ(calls.size(), 1u) << "a token acts once";

    const std::string third = press("0003");
    hello();
    send("CF0003" + third);
    EXPECT_EQ(calls.size(), 1u) << "a new hello: the token went with the old talk";
    EXPECT_EQ(keypilot_->buttonPresses().unknownPresses(), 0u);
}

}  // namespace

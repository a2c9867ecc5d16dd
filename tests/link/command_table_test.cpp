#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/command_table.h"

using phonelink::Command;
using phonelink::parseCommand;

namespace {

TEST(CommandTableTest, EachCodeIsOneCommandAndKeysMatchTheirCodes) {
    const std::pair<const char*, Command> codes[] = {
        {"00", Command::Launch},      {"01", Command::Escape},     {"02", Command::CursorUp},
        {"03", Command::StartMenu},   {"04", Command::CursorLeft}, {"05", Command::ClickEnter},
        {"06", Command::CursorRight}, {"07", Command::VolumeUp},   {"08", Command::CursorDown},
        {"09", Command::PageDown},    {"10", Command::VolumeDown}, {"11", Command::PageUp}};
    for (const auto& [code, command] : codes) {
        ASSERT_EQ(parseCommand(code), command) << code;
        EXPECT_EQ(phonelink::commandCode(command), code);
    }
    EXPECT_EQ(phonelink::keyOf(Command::Escape), 0x1Bu);
    EXPECT_EQ(phonelink::keyOf(Command::PageDown), 0x22u);
    EXPECT_EQ(phonelink::keyOf(Command::PageUp), 0x21u);
    EXPECT_EQ(phonelink::keyOf(Command::ClickEnter), 0x0Du);
}

TEST(CommandTableTest, AnythingButExactlyOneCodeIsDropped) {
    for (const char* chunk :
         {"", "0", "2", "0606", "02\r", "02\n", " 02", "02 ", "12", "99", "1", "000"}) {
        EXPECT_FALSE(parseCommand(chunk).has_value()) << '"' << chunk << '"';
    }
    EXPECT_FALSE(parseCommand(std::string_view("02\0", 3)).has_value());
}

TEST(CommandTableTest, AChunkOfWholeCodesRunsEachInOrderAndAnyFlawRunsNone) {
    using V = std::vector<Command>;
    EXPECT_EQ(phonelink::parseChunk("060802"),
              (V{Command::CursorRight, Command::CursorDown, Command::CursorUp}));
    EXPECT_EQ(phonelink::parseChunk("05"), V{Command::ClickEnter});
    std::string sixty;
    for (int i = 0; i < 60; ++i) {
        sixty += "06";
    }
    EXPECT_EQ(phonelink::parseChunk(sixty), V(60, Command::CursorRight));
    // "0" then "60" would pair as "06": an odd length runs nothing; so does a line end, a NUL
    // or an unknown pair at either end or in the middle.
    using namespace std::string_view_literals;
    for (std::string_view chunk :
         {""sv, "0"sv, "060"sv, "0606\r\n"sv, "\r\n0606"sv, "0612"sv, "1206"sv, "06 08"sv,
          "06\n08"sv, "99"sv, "06\0\x30\x38"sv, "06\0\0"sv}) {
        EXPECT_TRUE(phonelink::parseChunk(chunk).empty()) << '"' << chunk << '"';
    }
}

}  // namespace

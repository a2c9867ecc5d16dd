#include "phone_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/link_protocol.h"

namespace {

phone::ParseResult parse(std::vector<std::string> args) {
    return phone::parseArguments(args);
}

TEST(PhoneScript, CodesAndNamesMeanTheSameBytes) {
    ASSERT_EQ(phonelink::commandTable().size(), 12u);
    for (const auto& c : phonelink::commandTable()) {
        EXPECT_EQ(phone::codeFor(c.code), c.code);
        EXPECT_EQ(phone::codeFor(c.name), c.code);
    }
    EXPECT_EQ(phone::codeFor("RIGHT"), "06");
    EXPECT_EQ(phone::codeFor("Click"), "05");
    EXPECT_EQ(phone::codeFor("pageup"), "11");
    EXPECT_EQ(phone::codeFor("vol-"), "10");
    for (std::string word : {"", "6", "12", "006", "06 ", "sideways"}) {
        EXPECT_FALSE(phone::codeFor(word)) << word;
    }
}

TEST(PhoneScript, RawTextEscapes) {
    std::string error;
    EXPECT_EQ(phone::decodeEscapes("02\\r", error), std::string("02\r"));
    EXPECT_EQ(phone::decodeEscapes("\\x41\\0\\\\\\n\\t", error), std::string("A\0\\\n\t", 5));
    EXPECT_EQ(phone::decodeEscapes("\\xfF", error), std::string("\xff"));
    for (std::string bad : {"02\\", "\\q", "\\x4", "\\xg0"}) {
        error.clear();
        EXPECT_FALSE(phone::decodeEscapes(bad, error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }
}

TEST(PhoneScript, PayloadsAreShownReadably) {
    EXPECT_EQ(phone::describePayload("06"), "06 (right)");
    EXPECT_EQ(phone::describePayload("02\r"), "\"02\\r\" (3 bytes)");
    EXPECT_EQ(phone::describePayload(std::string("\0\x7f\"", 3)), "\"\\x00\\x7F\\\"\" (3 bytes)");
}

TEST(PhoneScript, PortNames) {
    for (std::string good : {"COM1", "com6", "COM30", "COM256", "\\\\.\\COM10", "\\\\.\\CNCA0"}) {
        EXPECT_TRUE(phone::isPortName(good)) << good;
    }
    for (std::string bad :
         {"", "COM", "COM0", "COM06", "COM257", "COM1x", "06", "\\\\.\\", "LPT1"}) {
        EXPECT_FALSE(phone::isPortName(bad)) << bad;
    }
    EXPECT_EQ(phone::devicePath("COM12"), "\\\\.\\COM12");
    EXPECT_EQ(phone::devicePath("\\\\.\\COM12"), "\\\\.\\COM12");
}

TEST(PhoneScript, ArgumentsBecomeOneWriteEach) {
    auto r =
        parse({"COM6", "06", "right", "--pause", "250", "CLICK", "--raw", "02\\r", "--raw=0606"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.invocation.port, "COM6");
    EXPECT_EQ(r.invocation.pauseMs, 250);
    EXPECT_FALSE(r.invocation.interactive);
    EXPECT_EQ(r.invocation.payloads, (std::vector<std::string>{"06", "06", "05", "02\r", "0606"}));

    r = parse({"COM6", "--pause=0", "up"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.invocation.pauseMs, 0);

    r = parse({"COM6", "--interactive"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_TRUE(r.invocation.interactive);
    EXPECT_TRUE(r.invocation.payloads.empty());
    EXPECT_EQ(r.invocation.pauseMs, phone::defaultPauseMs);

    EXPECT_TRUE(parse({"--help"}).invocation.help);
    EXPECT_TRUE(parse({"COM6", "nonsense", "-h"}).invocation.help);
}

TEST(PhoneScript, BadArgumentsAreNamedInTheError) {
    struct Case {
        std::vector<std::string> args;
        std::string mentioned;
    };
    for (const auto& c : std::vector<Case>{
             {{"COM6", "06", "sideways", "05"}, "unknown code \"sideways\""},
             {{"COM6", "6"}, "\"6\""},
             {{}, "no port"},
             {{"06", "06"}, "not a port name"},
             {{"COM6"}, "nothing to send"},
             {{"COM6", "06", "--pause"}, "--pause"},
             {{"COM6", "06", "--pause", "-5"}, "-5"},
             {{"COM6", "06", "--pause", "600001"}, "600001"},
             {{"COM6", "06", "--pause", "fast"}, "fast"},
             {{"COM6", "--raw"}, "--raw"},
             {{"COM6", "--raw", ""}, "at least one byte"},
             {{"COM6", "--raw", "0\\q"}, "\\q"},
             {{"COM6", "--loud", "06"}, "--loud"},
         }) {
        auto r = phone::parseArguments(c.args);
        EXPECT_FALSE(r.ok()) << c.mentioned;
        EXPECT_NE(r.error.find(c.mentioned), std::string::npos) << r.error;
    }
}

TEST(PhoneScript, FramesTakeTheirParametersAndSayWhatIsWrong) {
    auto r = parse({"COM6",    "move",    "10",      "-5",     "rightclick", "scroll", "-3",
                    "hscroll", "+2",      "type",    "Привет", "playpause",  "key",    "F5",
                    "PING",    "press",   "release", "06",     "hello",      "hello",  "2",
                    "volume",  "42",      "volume",  "0",      "Hello",      "06",     "button",
                    "6",       "confirm", "6",       "a1b2c3"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.invocation.payloads,
              (std::vector<std::string>{"MV+010-005", "CR", "SC+000-360", "SC+240+000",
                                        "TX0012D09FD180D0B8D0B2D0B5D182", "KYPP", "KYF5", "PI",
                                        "DN", "UP", "06", "HI04", "HI02", "VL0042", "VL0000",
                                        "HI04", "06", "BT0006", "CF0006A1B2C3"}));
    EXPECT_EQ(phone::describePayload("CF0006A1B2C3"), "CF0006A1B2C3 (confirm 6 A1B2C3)");
    EXPECT_EQ(phone::describePayload("VL0042"), "VL0042 (volume 42)");
    EXPECT_EQ(phone::describePayload("MV+010-005"), "MV+010-005 (move 10 -5)");
    EXPECT_EQ(phone::describePayload("SC+000-360"), "SC+000-360 (scroll -3)");
    EXPECT_EQ(phone::describePayload("KYPP"), "KYPP (playpause)");
    struct Case {
        std::vector<std::string> args;
        std::string mentioned;
    };
    for (const auto& c : std::vector<Case>{
             {{"COM6", "move", "10"}, "move needs DY"},
             {{"COM6", "move", "1000", "0"}, "\"1000\""},
             {{"COM6", "move", "ten", "0"}, "\"ten\""},
             {{"COM6", "scroll", "9"}, "-8 to 8"},
             {{"COM6", "type", ""}, "1 to 1000 bytes"},
             {{"COM6", "type", std::string(1001, 'x')}, "1 to 1000 bytes"},
             {{"COM6", "type", "\xC3("}, "UTF-8"},
             {{"COM6", "key", "space"}, "unknown key \"space\""},
             {{"COM6", "volume"}, "volume needs a level in per cent"},
             {{"COM6", "volume", "101"}, "\"101\""},
             {{"COM6", "volume", "-1"}, "from 0 to 100"},
             {{"COM6", "button", "0"}, "from 1 to 9999"},
             {{"COM6", "confirm", "6", "A1B2C"}, "six hex digits"},
         }) {
        auto bad = phone::parseArguments(c.args);
        EXPECT_FALSE(bad.ok()) << c.mentioned;
        EXPECT_NE(bad.error.find(c.mentioned), std::string::npos) << bad.error;
    }
}

TEST(PhoneScript, EveryWordOfTheTableIsKnownAndMeansOneThing) {
    std::vector<std::string> words;
    for (const auto& c : phonelink::commandTable()) {
        words.emplace_back(c.name);
    }
    for (const auto& f : phonelink::frameTable()) {
        words.emplace_back(f.name);
    }
    for (const auto& k : phonelink::keyTable()) {
        words.emplace_back(k.name);
    }
    std::string usage = phone::usageText();
    for (size_t i = 0; i < words.size(); ++i) {
        EXPECT_NE(usage.find("  " + words[i]), std::string::npos) << words[i];
        for (size_t j = i + 1; j < words.size(); ++j) {
            EXPECT_NE(words[i], words[j]);
        }
    }
    EXPECT_EQ(parse({"--table"}).invocation.table, true);
}

}  // namespace

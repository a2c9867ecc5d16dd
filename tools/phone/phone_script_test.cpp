#include "phone_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

phone::ParseResult parse(std::vector<std::string> args) {
    return phone::parseArguments(args);
}

TEST(PhoneScript, CodesAndNamesMeanTheSameBytes) {
    ASSERT_EQ(phone::commandCodes().size(), 12u);
    for (const auto& c : phone::commandCodes()) {
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
             {{"COM6", "06", "sideways", "05"}, "sideways"},
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

TEST(PhoneScript, UsageListsEveryCode) {
    std::string usage = phone::usageText();
    for (const auto& c : phone::commandCodes()) {
        EXPECT_NE(usage.find(std::string(c.code) + "  " + std::string(c.name)), std::string::npos)
            << c.code;
    }
}

}  // namespace

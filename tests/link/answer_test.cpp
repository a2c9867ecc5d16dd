// The lines that go back to the phone: exact JSON for the page's reader, names in any script
// escaped, and no line beyond its bound however long the PC's name.
#include <gtest/gtest.h>

#include <string>

#include "link/answer.h"
#include "link/link_protocol.h"

namespace {

using phonelink::encodeHelloAnswer;
using phonelink::encodeVolumeState;
using phonelink::kMaxAnswerBytes;
using phonelink::TextLanguage;
using phonelink::VolumeState;

TEST(AnswerTest, HelloAndVolumeLines) {
    EXPECT_EQ(encodeHelloAnswer(u"DESKTOP-7Q2", TextLanguage::English, VolumeState{42, false}),
              "{\"type\":\"hello\",\"version\":3,\"name\":\"DESKTOP-7Q2\",\"language\":\"en\","
              "\"volume\":42,\"muted\":false}\n");
    EXPECT_EQ(encodeHelloAnswer(u"PC", TextLanguage::Russian, std::nullopt),
              "{\"type\":\"hello\",\"version\":3,\"name\":\"PC\",\"language\":\"ru\","
              "\"volume\":null,\"muted\":null}\n");
    EXPECT_EQ(encodeVolumeState(VolumeState{100, true}),
              "{\"type\":\"volume\",\"volume\":100,\"muted\":true}\n");
    EXPECT_EQ(encodeVolumeState(std::nullopt),
              "{\"type\":\"volume\",\"volume\":null,\"muted\":null}\n");
    // A level outside the scale is held to it.
    EXPECT_EQ(encodeVolumeState(VolumeState{101, false}),
              encodeVolumeState(VolumeState{100, false}));
}

TEST(AnswerTest, TheNameIsEscapedAndALoneSurrogateReplaced) {
    const std::string line =
        encodeHelloAnswer(u"\"Офис\"\\\t\U0001F600\xD800!", TextLanguage::English, std::nullopt);
    EXPECT_NE(line.find("\"name\":\"\\\"Офис\\\"\\\\\\u0009\U0001F600\uFFFD!\""), std::string::npos)
        << line;
}

// However long the name and however its characters escape, the line keeps its bound and its end,
// and the name is cut between characters, so that it stays UTF-8.
TEST(AnswerTest, ALongNameIsCutAtACharacterSoTheLineFits) {
    for (const std::u16string& unit : {std::u16string(u"Я"), std::u16string(u"\U0001F600"),
                                       std::u16string(u"\""), std::u16string(u"\x01")}) {
        std::u16string name;
        for (int i = 0; i < 3000; ++i) {
            name += unit;
        }
        const std::string line = encodeHelloAnswer(name, TextLanguage::English, VolumeState{});
        EXPECT_LE(line.size(), kMaxAnswerBytes);
        EXPECT_GT(line.size(), kMaxAnswerBytes - 6) << "cut more than a character";
        EXPECT_TRUE(line.ends_with(",\"language\":\"en\",\"volume\":0,\"muted\":false}\n"));
        EXPECT_TRUE(phonelink::utf16FromUtf8(line)) << "not UTF-8";
        EXPECT_EQ(line.find('\n'), line.size() - 1);
    }
}

}  // namespace

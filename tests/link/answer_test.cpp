// The lines that go back to the phone: exact JSON for the page's reader, names in any script
// escaped, and no line beyond its bound however long the PC's name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/answer.h"
#include "link/button_press.h"
#include "link/link_protocol.h"

namespace {

using phonelink::ButtonListing;
using phonelink::encodeHelloAnswer;
using phonelink::encodeVolumeState;
using phonelink::kMaxAnswerBytes;
using phonelink::TextLanguage;
using phonelink::VolumeState;

TEST(AnswerTest, HelloAndVolumeLines) {
    EXPECT_EQ(encodeHelloAnswer(u"DESKTOP-7Q2", TextLanguage::English, VolumeState{42, false}),
              "{\"type\":\"hello\",\"version\":4,\"name\":\"DESKTOP-7Q2\",\"language\":\"en\","
              "\"volume\":42,\"muted\":false}\n");
    EXPECT_EQ(encodeHelloAnswer(u"PC", TextLanguage::Russian, std::nullopt),
              "{\"type\":\"hello\",\"version\":4,\"name\":\"PC\",\"language\":\"ru\","
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

// The list of the PC's buttons and the answer to a press that needs a confirmation, as the page
// reads them: ids as four digits, "confirm" only where it is needed.
TEST(AnswerTest, ButtonListAndConfirmationLines) {
    const ButtonListing buttons[] = {{1, u"Lock", false}, {6, u"Сон \"1\"", true}};
    EXPECT_EQ(phonelink::encodeButtonList(buttons),
              "{\"type\":\"buttons\",\"buttons\":[{\"id\":\"0001\",\"name\":\"Lock\"},"
              "{\"id\":\"0006\",\"name\":\"Сон \\\"1\\\"\",\"confirm\":true}]}\n");
    EXPECT_EQ(phonelink::encodeButtonList({}), "{\"type\":\"buttons\",\"buttons\":[]}\n");
    EXPECT_EQ(phonelink::encodeConfirmRequest(6, 0xA1B2C3, 3),
              "{\"type\":\"confirm\",\"id\":\"0006\",\"token\":\"A1B2C3\",\"seconds\":3}\n");
    EXPECT_NE(phonelink::encodeConfirmRequest(9999, 0x00000F, 3).find("\"token\":\"00000F\""),
              std::string::npos);
}

// A press that did nothing, with each reason as the page words it.
TEST(AnswerTest, FailureLines) {
    using phonelink::FailureReason;
    EXPECT_EQ(phonelink::encodeButtonFailure(6, FailureReason::NotFound),
              "{\"type\":\"failed\",\"id\":\"0006\",\"reason\":\"notFound\"}\n");
    std::string reasons;
    for (auto reason : {FailureReason::NotFound, FailureReason::Denied, FailureReason::NoProgram,
                        FailureReason::Busy, FailureReason::Refused, FailureReason::NoToken}) {
        reasons += std::string(phonelink::failureReasonText(reason)) + " ";
    }
    EXPECT_EQ(reasons, "notFound denied noProgram busy refused noToken ");
    EXPECT_EQ(phonelink::encodeButtonFailure(9999, FailureReason::NoToken),
              "{\"type\":\"failed\",\"id\":\"9999\",\"reason\":\"noToken\"}\n");
}

// The most buttons with the longest names, each character four bytes of UTF-8 or escaped to
// two, fit one line; more than fit are left out from the first that does not, and the line stays
// whole JSON.
TEST(AnswerTest, TheLongestListFitsAndMoreIsLeftOutWhole) {
    auto listed = [](const std::string& line) {
        std::size_t count = 0;
        for (std::size_t at = line.find("\"id\""); at != std::string::npos;
             at = line.find("\"id\"", at + 1)) {
            ++count;
        }
        return count;
    };
    for (const std::u16string& unit : {std::u16string(u"\U0001F600"), std::u16string(u"\"")}) {
        std::u16string name;
        for (int i = 0; i < 24; ++i) {
            name += unit;
        }
        std::vector<ButtonListing> buttons;
        for (int id = 9999; buttons.size() < phonelink::kMaxButtons; --id) {
            buttons.push_back({id, name, true});
        }
        const std::string line = phonelink::encodeButtonList(buttons);
        EXPECT_LE(line.size(), kMaxAnswerBytes);
        EXPECT_EQ(listed(line), phonelink::kMaxButtons);

        buttons.insert(buttons.end(), buttons.begin(), buttons.end());
        const std::string longer = phonelink::encodeButtonList(buttons);
        EXPECT_LE(longer.size(), kMaxAnswerBytes);
        EXPECT_GE(listed(longer), phonelink::kMaxButtons);
        EXPECT_LT(listed(longer), buttons.size());
        EXPECT_TRUE(longer.ends_with("\"confirm\":true}]}\n")) << longer.substr(longer.size() - 40);
        EXPECT_TRUE(phonelink::utf16FromUtf8(longer)) << "not UTF-8";
    }
}

}  // namespace

#include "i18n/text_codec.h"

#include <gtest/gtest.h>

namespace i18n {
namespace {

std::optional<std::string> encode(std::u16string_view text) {
    return encodeUtf8(text);
}
std::optional<std::u16string> decode(std::string_view bytes) {
    return decodeUtf8<char16_t>(bytes);
}

TEST(Utf8Codec, RoundTripsTheBasicPlaneAsBefore) {
    const std::u16string text =
        u"Abc \u00E4\u00F6\u00FC \u0416\u0438\u0437\u043D\u044C \u20AC \uFFFD";
    std::string bytes = encode(text).value();
    EXPECT_EQ(bytes,
              "Abc \xC3\xA4\xC3\xB6\xC3\xBC \xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C "
              "\xE2\x82\xAC \xEF\xBF\xBD");
    EXPECT_EQ(decode(bytes), text);
    EXPECT_EQ(decode(""), u"");
    EXPECT_EQ(encode(std::u16string_view(u"\0x", 2)), std::string("\0x", 2));
}

TEST(Utf8Codec, CharactersOutsideTheBasicPlaneUseFourBytes) {
    const std::u16string smile = u"\U0001F600";  // a surrogate pair in UTF-16
    ASSERT_EQ(smile.size(), 2u);
    EXPECT_EQ(encode(smile), "\xF0\x9F\x98\x80");
    EXPECT_EQ(decode("\xF0\x9F\x98\x80"), smile);
    EXPECT_EQ(decode("a\xF4\x8F\xBF\xBFz"), u"a\U0010FFFFz");
    EXPECT_EQ(encode(u"a\U0010FFFFz"), "a\xF4\x8F\xBF\xBFz");
}

// One rule both ways: a surrogate is no character. A lone one has no UTF-8 form, and its
// three-byte form, alone or as half of a pair, is not UTF-8; the characters on either side of
// the surrogates' range are.
TEST(Utf8Codec, SurrogatesAreNeitherWrittenAloneNorReadInTheirThreeByteForm) {
    for (std::u16string_view lone :
         {std::u16string_view(u"x\xD83Dy"), std::u16string_view(u"\xDE00"),
          std::u16string_view(u"x\xD83D"), std::u16string_view(u"\xDE00\xD83D")}) {
        EXPECT_FALSE(encode(lone)) << lone.size();
    }
    for (std::string_view bad :
         {std::string_view("x\xED\xA0\xBDy"), std::string_view("\xED\xA0\x80"),
          std::string_view("\xED\xBF\xBF"), std::string_view("\xED\xA0\xBD\xED\xB8\x80")}) {
        EXPECT_FALSE(decode(bad)) << ::testing::PrintToString(std::string(bad));
    }
    EXPECT_EQ(decode("\xED\x9F\xBF"), u"\uD7FF");
    EXPECT_EQ(decode("\xEE\x80\x80"), u"\uE000");
    EXPECT_EQ(encode(u"\uD7FF\uE000"), "\xED\x9F\xBF\xEE\x80\x80");
}

TEST(Utf8Codec, RejectsBytesThatAreNotUtf8) {
    for (std::string_view bad : {
             std::string_view("\xC3"),              // cut short
             std::string_view("ab\xE2\x82"),        // cut short
             std::string_view("\xF0\x9F\x98"),      // cut short
             std::string_view("\xC3\x28"),          // continuation byte missing
             std::string_view("\xE2\x28\xAC"),      // continuation byte missing
             std::string_view("\x80"),              // stray continuation byte
             std::string_view("\xC0\x80"),          // overlong
             std::string_view("\xE0\x80\x80"),      // overlong
             std::string_view("\xF0\x8F\xBF\xBF"),  // overlong
             std::string_view("\xF4\x90\x80\x80"),  // above U+10FFFF
             std::string_view("\xF8\x88\x80\x80\x80"),
             std::string_view("\xFF"),
             std::string_view("latin-1 \xE4rger"),
         }) {
        EXPECT_FALSE(decode(bad)) << ::testing::PrintToString(std::string(bad));
    }
}

TEST(LineEnds, KeysHoldLfAndTextsLeaveWithCrLf) {
    std::string key = "one\r\ntwo\rthree\n";
    stripCarriageReturns(key);
    EXPECT_EQ(key, "one\ntwothree\n");
    EXPECT_EQ(expandLineFeeds("\none\ntwo\r\nthree\n\n"), "\r\none\r\ntwo\r\nthree\r\n\r\n");
    EXPECT_EQ(expandLineFeeds("no line end"), "no line end");
    EXPECT_EQ(expandLineFeeds(""), "");
    EXPECT_EQ(expandLineFeeds("\r\r\n"), "\r\r\n");
}

}  // namespace
}  // namespace i18n

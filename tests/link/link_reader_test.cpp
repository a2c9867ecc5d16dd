// The link's reader: the twelve digit codes as they always were, and the frames of versions 2
// to 4, whole, split by the link, too late, spoilt, and at their bounds.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "link/link_protocol.h"

namespace phonelink {

// Failures show the message as it goes on the wire.
void PrintTo(const Message& message, std::ostream* out) {
    auto wire = encodeMessage(message);
    *out << (wire ? *wire : "(kind " + std::to_string(static_cast<int>(message.kind)) + ")");
}

}  // namespace phonelink

namespace {

using phonelink::Command;
using phonelink::LinkKey;
using phonelink::LinkReader;
using phonelink::Message;
using phonelink::MessageKind;
using Messages = std::vector<Message>;
using namespace std::string_view_literals;

// What a fresh reader does with one chunk.
LinkReader::Result readAlone(std::string_view chunk) {
    LinkReader reader;
    return reader.feed(chunk, 1000);
}

// Expects the chunk to do nothing, not even count as the phone heard.
void expectNothing(LinkReader& reader, std::string_view chunk, std::uint64_t at) {
    auto result = reader.feed(chunk, at);
    EXPECT_TRUE(result.messages.empty()) << '"' << chunk << '"';
    EXPECT_FALSE(result.heard) << '"' << chunk << '"';
    EXPECT_FALSE(reader.holdsFrame()) << '"' << chunk << '"';
}

std::string hex(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        out += kHex[static_cast<unsigned char>(c) >> 4];
        out += kHex[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

// "TX" with the length and the hex of the bytes.
std::string textFrame(std::string_view utf8) {
    std::string length = std::to_string(utf8.size());
    return "TX" + std::string(4 - length.size(), '0') + length + hex(utf8);
}

TEST(LinkReaderTest, DigitChunksAreReadAsTheyAlwaysWere) {
    EXPECT_EQ(readAlone("060802").messages, (Messages{Message::ofCommand(Command::CursorRight),
                                                      Message::ofCommand(Command::CursorDown),
                                                      Message::ofCommand(Command::CursorUp)}));
    EXPECT_TRUE(readAlone("11").heard);
    LinkReader reader;
    for (std::string_view chunk : {"0"sv, "060"sv, "0606\r\n"sv, "\r\n0606"sv, "0612"sv, "1206"sv,
                                   "06 08"sv, "99"sv, "06\0\x30\x38"sv}) {
        expectNothing(reader, chunk, 1000);
    }
    // A digit is never kept for the next chunk, however soon it comes.
    expectNothing(reader, "0", 1000);
    EXPECT_EQ(reader.feed("6", 1001).messages, Messages{});
    expectNothing(reader, "060", 1000);
    EXPECT_EQ(reader.feed("8", 1001).messages, Messages{});
}

TEST(LinkReaderTest, EachFrameReadsWholeAndWritesBackTheSame) {
    const Messages all{
        Message::ofKind(MessageKind::Ping),
        Message::move(10, -5),
        Message::move(-999, 999),
        Message::scroll(0, -360),
        Message::ofKind(MessageKind::LeftClick),
        Message::ofKind(MessageKind::RightClick),
        Message::ofKind(MessageKind::LeftDown),
        Message::ofKind(MessageKind::LeftUp),
        Message::ofKind(MessageKind::Mute),
        Message::typing(u"a"),
        Message::ofCommand(Command::Launch),
        Message::hello(0),
        Message::hello(99),
        Message::setVolume(0),
        Message::setVolume(100),
        Message::pressButton(1),
        Message::pressButton(9999),
        Message::confirmButton(6, 0),
        Message::confirmButton(9999, 0xFFFFFF),
    };
    Messages expected = all;
    for (const auto& key : phonelink::keyTable()) {
        expected.push_back(Message::ofKey(key.key));
    }
    for (const auto& message : expected) {
        auto wire = phonelink::encodeMessage(message);
        ASSERT_TRUE(wire);
        auto result = readAlone(*wire);
        EXPECT_EQ(result.messages, Messages{message}) << *wire;
        EXPECT_TRUE(result.heard) << *wire;
    }
    EXPECT_EQ(phonelink::encodeMessage(Message::move(10, -5)), "MV+010-005");
    EXPECT_EQ(phonelink::encodeMessage(Message::ofKey(LinkKey::PlayPause)), "KYPP");
    EXPECT_EQ(phonelink::encodeMessage(Message::hello(3)), "HI03");
    EXPECT_EQ(phonelink::encodeMessage(Message::setVolume(42)), "VL0042");
    EXPECT_EQ(phonelink::encodeMessage(Message::pressButton(6)), "BT0006");
    EXPECT_EQ(phonelink::encodeMessage(Message::confirmButton(6, 0xA1B2C3)), "CF0006A1B2C3");
    // Codes and frames mixed in one chunk act in order.
    EXPECT_EQ(
        readAlone("06CLKYEN05").messages,
        (Messages{Message::ofCommand(Command::CursorRight), Message::ofKind(MessageKind::LeftClick),
                  Message::ofKey(LinkKey::Enter), Message::ofCommand(Command::ClickEnter)}));
}

TEST(LinkReaderTest, MovesThatFollowEachOtherAreSummed) {
    EXPECT_EQ(readAlone("MV+001+002MV+003-004MV-010+000").messages,
              Messages{Message::move(-6, -2)});
    EXPECT_EQ(
        readAlone("MV+001+000PIMV+001+000").messages,
        (Messages{Message::move(1, 0), Message::ofKind(MessageKind::Ping), Message::move(1, 0)}));
}

TEST(LinkReaderTest, TextInAnyLanguageBecomesUtf16) {
    // "Привет" and U+1F600, which Windows types as a surrogate pair.
    std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xF0\x9F\x98\x80";
    auto result = readAlone(textFrame(utf8));
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0].text, u"Привет \U0001F600");
    EXPECT_EQ(result.messages[0].text.size(), 9u);
    EXPECT_EQ(phonelink::encodeMessage(result.messages[0]), textFrame(utf8));
    // Not UTF-8: a lone continuation, an overlong slash, a surrogate, a character cut short, a
    // value beyond U+10FFFF; lower-case hex is not the format either.
    for (const std::string& bad :
         {textFrame("\x80"), textFrame("\xC0\xAF"), textFrame("\xED\xA0\x80"), textFrame("\xD0"),
          textFrame("\xF4\x90\x80\x80"), std::string("TX00016a")}) {
        LinkReader reader;
        expectNothing(reader, bad, 1000);
    }
    EXPECT_FALSE(phonelink::encodeMessage(Message::typing(u"\xD800")));
}

TEST(LinkReaderTest, FramesAreBoundedInSizeAndValue) {
    std::string longest(phonelink::kMaxTextBytes, 'x');
    auto result = readAlone(textFrame(longest));
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0].text.size(), phonelink::kMaxTextBytes);
    EXPECT_EQ(textFrame(longest).size(), phonelink::kLongestFrameChars);
    EXPECT_FALSE(phonelink::encodeMessage(Message::typing(std::u16string(1001, u'x'))));
    EXPECT_FALSE(phonelink::encodeMessage(Message::typing(u"")));
    EXPECT_FALSE(phonelink::encodeMessage(Message::move(1000, 0)));
    EXPECT_FALSE(phonelink::encodeMessage(Message::setVolume(101)));
    EXPECT_FALSE(phonelink::encodeMessage(Message::setVolume(-1)));
    EXPECT_FALSE(phonelink::encodeMessage(Message::hello(100)));
    EXPECT_FALSE(phonelink::encodeMessage(Message::pressButton(0)));
    EXPECT_FALSE(phonelink::encodeMessage(Message::pressButton(10000)));
    EXPECT_FALSE(phonelink::encodeMessage(Message::confirmButton(0, 1)));
    EXPECT_FALSE(phonelink::encodeMessage(Message::confirmButton(1, 0x1000000)));
    LinkReader reader;
    // Length 0 and 1001 and a level above 100 are refused as soon as their digits show it; so is
    // a fourth digit of offset, a third of version or a fifth of level, whatever follows; button
    // 0000 is no button, and a token is six upper-case hex digits.
    for (std::string_view bad :
         {"TX0000"sv,       "TX000041"sv,     "TX1001"sv, "TX2"sv,          "MV+1000+000"sv,
          "MV+999+1000"sv,  "VL0101"sv,       "VL02"sv,   "VL1"sv,          "VL00420"sv,
          "VL042PI"sv,      "VL+042"sv,       "HI033"sv,  "HI3PI"sv,        "HIAB"sv,
          "BT0000"sv,       "BT00061"sv,      "BT+006"sv, "CF0000A1B2C3"sv, "CF0006a1b2c3"sv,
          "CF0006A1B2CG"sv, "CF0006A1B2C30"sv}) {
        expectNothing(reader, bad, 1000);
    }
}

TEST(LinkReaderTest, AChunkWithAnyFlawDoesNothingAtAll) {
    LinkReader reader;
    for (std::string_view chunk :
         {"06MV+001+001ZZ"sv, "PI06Q"sv, "MV+001+00105\r\n"sv, "CL "sv, "mv+001+001"sv, "KYZZ"sv,
          "KYPP0"sv, "06MV*001+001"sv, "UPX"sv, "\x80PI"sv, "CL\0"sv}) {
        expectNothing(reader, chunk, 1000);
    }
}

TEST(LinkReaderTest, AFrameSplitAnywhereIsJoinedWhenTheRestComesInTime) {
    const std::string text = textFrame("\xD0\x9F\xF0\x9F\x98\x80");
    // Cut anywhere after the digit code, at odd offsets and inside units too.
    for (const std::string& wire : {std::string("06MV+010-005"), text, std::string("KYNX"),
                                    std::string("HI03VL0100"), std::string("BT0006CF0006A1B2C3")}) {
        auto whole = readAlone(wire).messages;
        for (std::size_t cut = wire.starts_with("06") ? 2 : 1; cut < wire.size(); ++cut) {
            LinkReader reader;
            auto first = reader.feed(wire.substr(0, cut), 1000);
            auto second = reader.feed(wire.substr(cut), 1000 + phonelink::kKeptFrameLifetimeMs);
            Messages joined = first.messages;
            joined.insert(joined.end(), second.messages.begin(), second.messages.end());
            EXPECT_EQ(joined, whole) << wire << " cut at " << cut;
            // Heard once something is whole: the digit code at once, the frame with its end.
            EXPECT_EQ(first.heard, !first.messages.empty()) << wire << " cut at " << cut;
            EXPECT_TRUE(second.heard) << wire << " cut at " << cut;
            EXPECT_FALSE(reader.holdsFrame());
        }
    }
    // In three parts, each in time for the one before.
    LinkReader reader;
    EXPECT_TRUE(reader.feed(text.substr(0, 5), 0).messages.empty());
    EXPECT_TRUE(reader.feed(text.substr(5, 7), 150).messages.empty());
    EXPECT_EQ(reader.feed(text.substr(12), 300).messages.size(), 1u);
}

TEST(LinkReaderTest, AKeptFrameIsDroppedWhenLateSpoiltOrThePortChanges) {
    LinkReader reader;
    // Late: the rest is read on its own, and a valid chunk after the pause still acts.
    reader.feed("MV+01", 1000);
    EXPECT_TRUE(reader.holdsFrame());
    expectNothing(reader, "0-005", 1000 + phonelink::kKeptFrameLifetimeMs + 1);
    reader.feed("M", 2000);
    EXPECT_EQ(reader.feed("06", 2500).messages, Messages{Message::ofCommand(Command::CursorRight)});

    // Spoilt: nothing of the joined text acts, the codes after the flaw included, and the
    // frame is gone for the chunk after.
    reader.feed("MV+010", 3000);
    expectNothing(reader, "0605", 3010);
    expectNothing(reader, "-005", 3020);
    reader.feed("CLMV+0", 3100);
    expectNothing(reader, "10-005Z", 3110);

    // The port closed or changed.
    reader.feed("MV+010", 4000);
    reader.reset();
    EXPECT_FALSE(reader.holdsFrame());
    expectNothing(reader, "-005", 4001);

    // Only a letter that can begin a frame is kept.
    expectNothing(reader, "Z", 5000);
    expectNothing(reader, "06Q", 5000);
}

// A stray byte or the start of a frame that never ends is kept but is no sign of the phone:
// only a message read whole counts as heard.
TEST(LinkReaderTest, OnlyACompleteMessageCountsAsThePhoneHeard) {
    for (std::string_view start : {"T"sv, "K"sv, "MV+9"sv, "TX0003E2"sv}) {
        LinkReader reader;
        auto result = reader.feed(start, 1000);
        EXPECT_FALSE(result.heard) << start;
        EXPECT_TRUE(result.messages.empty()) << start;
        EXPECT_TRUE(reader.holdsFrame()) << start;
    }
    LinkReader reader;
    EXPECT_TRUE(reader.feed("PIMV+0", 1000).heard) << "the sign of life before it is whole";
    EXPECT_TRUE(reader.feed("01+002", 1010).heard);
}

}  // namespace

namespace {

// A text's line ends type one Enter each whatever the system that wrote them, a tab stays, and
// the other control characters are left out while the text around them is typed.
TEST(TypedTextTest, LineEndsTabsAndOtherControlCharacters) {
    EXPECT_EQ(phonelink::typedText(u"a\r\nb\rc\nd"), u"a\rb\rc\rd");
    EXPECT_EQ(phonelink::typedText(u"\n\r\r\n\n"), u"\r\r\r\r") << "LF CR is two line ends";
    EXPECT_EQ(phonelink::typedText(u"a\tb"), u"a\tb");
    const std::u16string controls(
        u"a\b\x1B\x7F\x85\x9F"
        u"b\0c",
        9);
    EXPECT_EQ(phonelink::typedText(controls), u"abc");
    EXPECT_EQ(phonelink::typedText(u"\u00A0Ё \U0001F600~"), u"\u00A0Ё \U0001F600~");
}

}  // namespace

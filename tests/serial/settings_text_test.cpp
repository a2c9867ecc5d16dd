#include <gtest/gtest.h>

#include "serial/settings_text.h"

using namespace serial;

namespace {

TEST(SettingsText, EveryMemberRoundTripsThroughItsText) {
    const wchar_t* baud[] = {L"Custom", L"110",    L"300",    L"600",   L"1200",  L"2400",
                             L"4800",   L"9600",   L"14400",  L"19200", L"38400", L"56000",
                             L"57600",  L"115200", L"128000", L"256000"};
    for (int i = 0; i < 16; ++i) {
        auto value = static_cast<BaudRate>(i);
        EXPECT_EQ(baudRateText(value), baud[i]);
        EXPECT_EQ(parseBaudRate(baudRateText(value)), value);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(parseStopBits(stopBitsText(static_cast<StopBits>(i))), static_cast<StopBits>(i));
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(parseDataBits(dataBitsText(static_cast<DataBits>(i))), static_cast<DataBits>(i));
    }
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(parseParity(parityText(static_cast<ParityBits>(i))), static_cast<ParityBits>(i));
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(parseFlowControl(flowControlText(static_cast<FlowControl>(i))),
                  static_cast<FlowControl>(i));
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(parseDTRControl(dtrControlText(static_cast<DTRFlowControl>(i))),
                  static_cast<DTRFlowControl>(i));
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(parseRTSControl(rtsControlText(static_cast<RTSFlowControl>(i))),
                  static_cast<RTSFlowControl>(i));
    }
    EXPECT_EQ(stopBitsText(StopBits::sbOne5StopBits), L"1.5");
    EXPECT_EQ(dataBitsText(DataBits::dbFive), L"5");
    EXPECT_EQ(parityText(ParityBits::prSpace), L"Space");
    EXPECT_EQ(flowControlText(FlowControl::fcNone), L"None");
    EXPECT_EQ(dtrControlText(DTRFlowControl::dtrHandshake), L"Handshake");
    EXPECT_EQ(rtsControlText(RTSFlowControl::rtsToggle), L"Toggle");
}

TEST(SettingsText, ParsingIgnoresAsciiCaseOnly) {
    EXPECT_EQ(parseBaudRate(L"custom"), BaudRate::brCustom);
    EXPECT_EQ(parseBaudRate(L"CUSTOM"), BaudRate::brCustom);
    EXPECT_EQ(parseParity(L"eVeN"), ParityBits::prEven);
    EXPECT_EQ(parseFlowControl(L"hardware"), FlowControl::fcHardware);
    EXPECT_EQ(parseRTSControl(L"TOGGLE"), RTSFlowControl::rtsToggle);
    EXPECT_EQ(parseDTRControl(L"enable"), DTRFlowControl::dtrEnable);
    // Letters outside ASCII are compared as they are: a dotless or accented look-alike is no match.
    EXPECT_EQ(parseParity(L"Òdd"), ParityBits::prNone);
    EXPECT_EQ(parseRTSControl(L"ENABLE\u0131"), RTSFlowControl::rtsDisable);
}

TEST(SettingsText, UnknownTextsGiveEachTypesFallback) {
    EXPECT_EQ(parseBaudRate(L""), BaudRate::br9600);
    EXPECT_EQ(parseBaudRate(L"9601"), BaudRate::br9600);
    EXPECT_EQ(parseBaudRate(L" 19200"), BaudRate::br9600);
    EXPECT_EQ(parseStopBits(L"1,5"), StopBits::sbOneStopBit);
    EXPECT_EQ(parseStopBits(L""), StopBits::sbOneStopBit);
    EXPECT_EQ(parseDataBits(L"9"), DataBits::dbEight);
    EXPECT_EQ(parseParity(L"Nothing"), ParityBits::prNone);
    EXPECT_EQ(parseFlowControl(L"RTS/CTS"), FlowControl::fcCustom);
    EXPECT_EQ(parseFlowControl(L""), FlowControl::fcCustom);
    EXPECT_EQ(parseDTRControl(L"On"), DTRFlowControl::dtrDisable);
    EXPECT_EQ(parseRTSControl(L""), RTSFlowControl::rtsDisable);
    // A NUL inside the text is part of it, not its end.
    EXPECT_EQ(parseBaudRate(std::wstring_view(L"110\0"
                                              L"0",
                                              5)),
              BaudRate::br9600);
}

TEST(SettingsText, OutOfRangeMembersHaveNoText) {
    EXPECT_EQ(baudRateText(static_cast<BaudRate>(16)), L"");
    EXPECT_EQ(parityText(static_cast<ParityBits>(200)), L"");
    EXPECT_EQ(rtsControlText(static_cast<RTSFlowControl>(4)), L"");
}

TEST(SettingsText, YesIsTheOnlyTrueText) {
    EXPECT_EQ(yesNoText(true), L"Yes");
    EXPECT_EQ(yesNoText(false), L"No");
    EXPECT_TRUE(parseYesNo(L"Yes"));
    EXPECT_TRUE(parseYesNo(L"yEs"));
    EXPECT_FALSE(parseYesNo(L"No"));
    EXPECT_FALSE(parseYesNo(L""));
    EXPECT_FALSE(parseYesNo(L"True"));
    EXPECT_FALSE(parseYesNo(L"1"));
    EXPECT_FALSE(parseYesNo(L"Yes "));
}

TEST(SettingsText, CharacterCodesOutsidePrintableAsciiAreWrittenAsHashAndNumber) {
    EXPECT_EQ(charCodeText(9), L"#9");
    EXPECT_EQ(charCodeText(0), L"#0");
    EXPECT_EQ(charCodeText(32), L"#32");
    EXPECT_EQ(charCodeText(33), L"!");
    EXPECT_EQ(charCodeText('A'), L"A");
    EXPECT_EQ(charCodeText(127), L"\x7f");
    EXPECT_EQ(charCodeText(128), L"#128");
    EXPECT_EQ(charCodeText(255), L"#255");
    EXPECT_EQ(charCodeText('#'), L"#");
    for (int code = 0; code < 256; ++code) {
        EXPECT_EQ(parseCharCode(charCodeText(static_cast<uint8_t>(code))), code) << code;
    }
}

TEST(SettingsText, CharacterCodeParsing) {
    EXPECT_EQ(parseCharCode(L""), 0);
    EXPECT_EQ(parseCharCode(L"#"), '#');
    EXPECT_EQ(parseCharCode(L"#A"), 0);
    EXPECT_EQ(parseCharCode(L"#300"), 44);
    EXPECT_EQ(parseCharCode(L"AB"), 'A');
    EXPECT_EQ(parseCharCode(L"#009"), 9);
    EXPECT_EQ(parseCharCode(L"#-1"), 255);
    EXPECT_EQ(parseCharCode(L"#+17"), 17);
    EXPECT_EQ(parseCharCode(L"#-"), 0);
    EXPECT_EQ(parseCharCode(L"# 9"), 0);
    EXPECT_EQ(parseCharCode(L"#9x"), 0);
    EXPECT_EQ(parseCharCode(L"#2147483647"), 255);
    EXPECT_EQ(parseCharCode(L"#-2147483648"), 0);
    // Beyond 32 bits the number is not valid, rather than wrapping around.
    EXPECT_EQ(parseCharCode(L"#2147483648"), 0);
    EXPECT_EQ(parseCharCode(L"#99999999999999999999"), 0);
    EXPECT_EQ(parseCharCode(L"\u00e9"), 0xE9);
    EXPECT_EQ(parseCharCode(L"\u0416"), 0);
}

}  // namespace

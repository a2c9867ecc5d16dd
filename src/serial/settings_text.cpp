#include "serial/settings_text.h"

#include <array>
#include <cstddef>
#include <limits>
#include <type_traits>

namespace serial {
namespace {

constexpr std::array<std::wstring_view, 16> kBaudRateTexts = {
    L"Custom", L"110",   L"300",   L"600",   L"1200",  L"2400",   L"4800",   L"9600",
    L"14400",  L"19200", L"38400", L"56000", L"57600", L"115200", L"128000", L"256000"};
constexpr std::array<std::wstring_view, 3> kStopBitsTexts = {L"1", L"1.5", L"2"};
constexpr std::array<std::wstring_view, 4> kDataBitsTexts = {L"5", L"6", L"7", L"8"};
constexpr std::array<std::wstring_view, 5> kParityTexts = {L"None", L"Odd", L"Even", L"Mark",
                                                           L"Space"};
constexpr std::array<std::wstring_view, 4> kFlowControlTexts = {L"Hardware", L"Software", L"None",
                                                                L"Custom"};
constexpr std::array<std::wstring_view, 3> kDTRControlTexts = {L"Disable", L"Enable", L"Handshake"};
constexpr std::array<std::wstring_view, 4> kRTSControlTexts = {L"Disable", L"Enable", L"Handshake",
                                                               L"Toggle"};

// Only ASCII letters change, so the comparison is the same whatever the locale.
wchar_t upperAscii(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c;
}

bool equalIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

template <class Enum, size_t N>
std::wstring textOf(const std::array<std::wstring_view, N>& texts, Enum value) {
    auto index = static_cast<size_t>(value);
    return index < N ? std::wstring(texts[index]) : std::wstring();
}

template <class Enum, size_t N>
Enum parseText(const std::array<std::wstring_view, N>& texts, std::wstring_view text,
               Enum fallback) {
    for (size_t i = 0; i < N; ++i) {
        if (equalIgnoringAsciiCase(texts[i], text)) {
            return static_cast<Enum>(i);
        }
    }
    return fallback;
}

// An optional sign and decimal digits, nothing else, within the 32-bit signed range.
bool parseInt32(std::wstring_view text, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i++] == L'-';
    }
    if (i == text.size()) {
        return false;
    }
    int64_t magnitude = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') {
            return false;
        }
        magnitude = magnitude * 10 + (text[i] - L'0');
        if (magnitude > kLimit) {
            return false;
        }
    }
    if (!negative && magnitude == kLimit) {
        return false;
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

}  // namespace

std::wstring baudRateText(BaudRate value) {
    return textOf(kBaudRateTexts, value);
}
BaudRate parseBaudRate(std::wstring_view text) {
    return parseText(kBaudRateTexts, text, BaudRate::br9600);
}

std::wstring stopBitsText(StopBits value) {
    return textOf(kStopBitsTexts, value);
}
StopBits parseStopBits(std::wstring_view text) {
    return parseText(kStopBitsTexts, text, StopBits::sbOneStopBit);
}

std::wstring dataBitsText(DataBits value) {
    return textOf(kDataBitsTexts, value);
}
DataBits parseDataBits(std::wstring_view text) {
    return parseText(kDataBitsTexts, text, DataBits::dbEight);
}

std::wstring parityText(ParityBits value) {
    return textOf(kParityTexts, value);
}
ParityBits parseParity(std::wstring_view text) {
    return parseText(kParityTexts, text, ParityBits::prNone);
}

std::wstring flowControlText(FlowControl value) {
    return textOf(kFlowControlTexts, value);
}
FlowControl parseFlowControl(std::wstring_view text) {
    return parseText(kFlowControlTexts, text, FlowControl::fcCustom);
}

std::wstring dtrControlText(DTRFlowControl value) {
    return textOf(kDTRControlTexts, value);
}
DTRFlowControl parseDTRControl(std::wstring_view text) {
    return parseText(kDTRControlTexts, text, DTRFlowControl::dtrDisable);
}

std::wstring rtsControlText(RTSFlowControl value) {
    return textOf(kRTSControlTexts, value);
}
RTSFlowControl parseRTSControl(std::wstring_view text) {
    return parseText(kRTSControlTexts, text, RTSFlowControl::rtsDisable);
}

std::wstring yesNoText(bool value) {
    return value ? L"Yes" : L"No";
}
bool parseYesNo(std::wstring_view text) {
    return equalIgnoringAsciiCase(text, L"YES");
}

std::wstring charCodeText(std::uint8_t code) {
    if (code >= 33 && code <= 127) {
        return std::wstring(1, static_cast<wchar_t>(code));
    }
    return L"#" + std::to_wstring(code);
}

std::uint8_t parseCharCode(std::wstring_view text) {
    if (text.empty()) {
        return 0;
    }
    if (text[0] == L'#' && text.size() > 1) {
        int32_t value = 0;
        if (!parseInt32(text.substr(1), value)) {
            return 0;
        }
        return static_cast<std::uint8_t>(static_cast<uint32_t>(value) & 0xFFu);
    }
    auto first = static_cast<std::make_unsigned_t<wchar_t>>(text[0]);
    return first <= 0xFF ? static_cast<std::uint8_t>(first) : 0;
}

}  // namespace serial

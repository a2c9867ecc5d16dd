// Feeds arbitrary texts to every settings parser and checks what must hold for any input: the
// result is a member of its type, and a member's own text parses back to that member.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "serial/settings_text.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

template <class Enum>
void checkMember(Enum value, int count, std::wstring (*text)(Enum),
                 Enum (*parse)(std::wstring_view)) {
    check(static_cast<int>(value) < count);
    check(parse(text(value)) == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two bytes per character, as UTF-16 code units; odd bytes and lone surrogates included.
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    if (size % 2 != 0) {
        text.push_back(static_cast<wchar_t>(data[size - 1]));
    }
    using namespace serial;
    checkMember(parseBaudRate(text), 16, baudRateText, parseBaudRate);
    checkMember(parseStopBits(text), 3, stopBitsText, parseStopBits);
    checkMember(parseDataBits(text), 4, dataBitsText, parseDataBits);
    checkMember(parseParity(text), 5, parityText, parseParity);
    checkMember(parseFlowControl(text), 4, flowControlText, parseFlowControl);
    checkMember(parseDTRControl(text), 3, dtrControlText, parseDTRControl);
    checkMember(parseRTSControl(text), 4, rtsControlText, parseRTSControl);
    bool yes = parseYesNo(text);
    check(parseYesNo(yesNoText(yes)) == yes);
    uint8_t code = parseCharCode(text);
    check(parseCharCode(charCodeText(code)) == code);
    return 0;
}

// Texts of the port settings as they are stored in the registry or an INI file, and the parsers
// that read them back. Parsing ignores the case of ASCII letters and never fails: a text that
// matches nothing gives a fixed member of the type. Portable: no Windows headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "serial/serial_types.h"

namespace serial {

// A value outside its enumeration gives an empty text.
std::wstring baudRateText(BaudRate value);
// Unknown text: br9600.
BaudRate parseBaudRate(std::wstring_view text);

std::wstring stopBitsText(StopBits value);
// Unknown text: sbOneStopBit.
StopBits parseStopBits(std::wstring_view text);

std::wstring dataBitsText(DataBits value);
// Unknown text: dbEight.
DataBits parseDataBits(std::wstring_view text);

std::wstring parityText(ParityBits value);
// Unknown text: prNone.
ParityBits parseParity(std::wstring_view text);

std::wstring flowControlText(FlowControl value);
// Unknown text: fcCustom, which leaves the flow-control fields as they are.
FlowControl parseFlowControl(std::wstring_view text);

std::wstring dtrControlText(DTRFlowControl value);
// Unknown text: dtrDisable.
DTRFlowControl parseDTRControl(std::wstring_view text);

std::wstring rtsControlText(RTSFlowControl value);
// Unknown text: rtsDisable.
RTSFlowControl parseRTSControl(std::wstring_view text);

// "Yes" or "No".
std::wstring yesNoText(bool value);
// True only for "yes" in any letter case.
bool parseYesNo(std::wstring_view text);

// Codes 33 to 127 as the character itself, every other code as "#" and its decimal number.
std::wstring charCodeText(std::uint8_t code);
// "" gives 0; "#n" gives the low eight bits of the 32-bit signed decimal n, or 0 when n is not
// such a number; any other text (a lone "#" included) gives its first character, or 0 when that
// character lies beyond code 255 and so has no 8-bit code.
std::uint8_t parseCharCode(std::wstring_view text);

}  // namespace serial

// The tray tip's texts that depend on the connection.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace app {

// The most the tray tip holds.
constexpr std::size_t kHintCapacity = 127;

// "Keypilot - COM5: " and the reason the wanted port is not open (an open's failure, a lost link),
// on one line: line breaks and tabs become single blanks, and a text too long for the tip is cut
// at a character (never inside a surrogate pair) and ends with an ellipsis.
std::wstring portProblemHint(std::wstring_view port, std::wstring_view reason);

}  // namespace app

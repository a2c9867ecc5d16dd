// How the stored settings texts turn into the values the program uses.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace app {

// How Esc, PgDn, PgUp and the Enter of "05" reach the desktop.
enum class KeyDelivery {
    // WM_KEYDOWN and WM_KEYUP sent to the foreground top-level window itself.
    Messages,
    // Real key presses through the system's input queue, so they reach the focused control.
    Input,
};

constexpr int kMinCursorStep = 3;
constexpr int kMaxCursorStep = 30;
constexpr int kDefaultCursorStep = 10;
constexpr int kDefaultPortIndex = 0;
inline constexpr std::wstring_view kDefaultProgram = L"calc.exe";

// A decimal integer of any size, optionally signed and surrounded by blanks, held to int's range;
// nothing for any other text.
std::optional<int> parseInteger(std::wstring_view text);

// The cursor step a stored "mouse" text loads as: the default for a text that is no integer,
// held to the slider's bounds otherwise.
int cursorStepFrom(const std::optional<std::wstring>& stored);

// The port-list index a stored "com" text loads as: -1 (no choice) for an integer outside 0..29,
// the default for a text that is no integer.
int portIndexFrom(const std::optional<std::wstring>& stored);

// How keys are delivered for a stored "keys" text: real key presses for exactly "input", key
// messages for any other text or none.
KeyDelivery keyDeliveryFrom(const std::optional<std::wstring>& stored);

// "COM" followed by index + 1; no choice (-1) gives "COM0".
std::wstring portNameFor(int index);

// A command line that runs exactly this file: quoted when it holds a blank.
std::wstring quotedIfBlank(const std::wstring& path);

}  // namespace app

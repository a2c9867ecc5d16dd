#include "settings/settings_values.h"

#include <algorithm>
#include <cstdint>

#include "ports/port_catalogue.h"

namespace app {

std::optional<int> parseInteger(std::wstring_view text) {
    auto isBlank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == L'-' || text.front() == L'+')) {
        negative = text.front() == L'-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // Past this the number is outside int's range either way; the digits are still checked.
    constexpr int64_t kBeyondInt = int64_t{INT32_MAX} + 2;
    int64_t magnitude = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return std::nullopt;
        }
        magnitude = std::min(magnitude * 10 + (c - L'0'), kBeyondInt);
    }
    const int64_t value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int cursorStepFrom(const std::optional<std::wstring>& stored) {
    int step = kDefaultCursorStep;
    if (stored) {
        step = parseInteger(*stored).value_or(kDefaultCursorStep);
    }
    return std::clamp(step, kMinCursorStep, kMaxCursorStep);
}

int portIndexFrom(const std::optional<std::wstring>& stored) {
    int index = kDefaultPortIndex;
    if (stored) {
        index = parseInteger(*stored).value_or(kDefaultPortIndex);
    }
    return (index >= 0 && index < ports::kPortCount) ? index : -1;
}

KeyDelivery keyDeliveryFrom(const std::optional<std::wstring>& stored) {
    return stored == L"input" ? KeyDelivery::Input : KeyDelivery::Messages;
}

std::wstring portNameFor(int index) {
    return L"COM" + std::to_wstring(index < 0 ? 0 : index + 1);
}

std::wstring quotedIfBlank(const std::wstring& path) {
    if (path.find(L' ') == std::wstring::npos || (path.size() >= 2 && path.front() == L'"')) {
        return path;
    }
    return L"\"" + path + L"\"";
}

}  // namespace app

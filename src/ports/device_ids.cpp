#include "ports/device_ids.h"

#include <algorithm>

namespace ports {
namespace {

// The serial port service's class ID, as Bluetooth hardware IDs write it.
constexpr std::wstring_view kSerialPortService = L"{00001101-0000-1000-8000-00805f9b34fb}";
constexpr std::wstring_view kBluetoothEnumerator = L"BTHENUM\\";
constexpr std::size_t kAddressDigits = 12;

wchar_t asciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool sameLetters(wchar_t a, wchar_t b) {
    return asciiLower(a) == asciiLower(b);
}

bool startsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), sameLetters);
}

bool contains(std::wstring_view text, std::wstring_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), sameLetters) !=
           text.end();
}

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

int hexValue(wchar_t c) {
    if (isDigit(c)) {
        return c - L'0';
    }
    c = asciiLower(c);
    return (c >= L'a' && c <= L'f') ? c - L'a' + 10 : -1;
}

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::wstring_view trimmedRight(std::wstring_view text) {
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::optional<int> comPortNumber(std::wstring_view name) {
    if (!startsWith(name, L"COM")) {
        return std::nullopt;
    }
    std::wstring_view digits = name.substr(3);
    // COM1 to COM256 are all Windows makes; anything longer is no port name.
    if (digits.empty() || digits.size() > 3 || digits.front() == L'0' ||
        !std::all_of(digits.begin(), digits.end(), isDigit)) {
        return std::nullopt;
    }
    int number = 0;
    for (wchar_t c : digits) {
        number = number * 10 + (c - L'0');
    }
    return number;
}

bool isBluetoothSerialPort(const std::vector<std::wstring>& hardwareIds) {
    return std::any_of(hardwareIds.begin(), hardwareIds.end(), [](const std::wstring& id) {
        return startsWith(id, kBluetoothEnumerator) && contains(id, kSerialPortService);
    });
}

std::optional<std::uint64_t> bluetoothAddress(std::wstring_view instanceId) {
    std::size_t lastPart = instanceId.find_last_of(L'\\');
    if (lastPart != std::wstring_view::npos) {
        instanceId.remove_prefix(lastPart + 1);
    }
    std::optional<std::uint64_t> address;
    std::size_t i = 0;
    while (i < instanceId.size()) {
        if (hexValue(instanceId[i]) < 0) {
            ++i;
            continue;
        }
        std::size_t end = i;
        std::uint64_t value = 0;
        while (end < instanceId.size() && hexValue(instanceId[end]) >= 0) {
            if (end - i < kAddressDigits) {
                value = value * 16 + static_cast<std::uint64_t>(hexValue(instanceId[end]));
            }
            ++end;
        }
        if (end - i == kAddressDigits) {
            address = value;
        }
        i = end;
    }
    return address;
}

std::wstring withoutPortSuffix(std::wstring_view friendlyName) {
    std::wstring_view name = trimmedRight(friendlyName);
    if (name.empty() || name.back() != L')') {
        return std::wstring(name);
    }
    std::size_t open = name.find_last_of(L'(');
    if (open == std::wstring_view::npos ||
        !comPortNumber(name.substr(open + 1, name.size() - open - 2))) {
        return std::wstring(name);
    }
    return std::wstring(trimmedRight(name.substr(0, open)));
}

}  // namespace ports

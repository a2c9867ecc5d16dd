#include "ways/bluetooth/bluetooth_phones.h"

#include "settings/hex_digit.h"

namespace app {
namespace {

constexpr std::size_t kDigits = 12;

}  // namespace

std::set<std::uint64_t> phonesFrom(std::wstring_view text) {
    std::set<std::uint64_t> phones;
    while (!text.empty()) {
        const std::size_t end = text.find(L';');
        const std::wstring_view entry = text.substr(0, end);
        text = end == std::wstring_view::npos ? std::wstring_view() : text.substr(end + 1);
        if (entry.size() != kDigits) {
            continue;
        }
        std::uint64_t address = 0;
        bool valid = true;
        for (wchar_t c : entry) {
            const int value = hexDigit(c);
            valid = valid && value >= 0;
            address = (address << 4) | static_cast<std::uint64_t>(value < 0 ? 0 : value);
        }
        if (valid) {
            phones.insert(address);
        }
    }
    return phones;
}

std::wstring phonesText(const std::set<std::uint64_t>& phones) {
    static constexpr const wchar_t* kHex = L"0123456789ABCDEF";
    std::wstring text;
    for (std::uint64_t address : phones) {
        if (!text.empty()) {
            text += L';';
        }
        for (int shift = static_cast<int>(kDigits - 1) * 4; shift >= 0; shift -= 4) {
            text += kHex[(address >> shift) & 0xF];
        }
    }
    return text;
}

}  // namespace app

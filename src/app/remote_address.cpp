#include "app/remote_address.h"

#include <algorithm>
#include <cwctype>

namespace app {
namespace {

bool takenAsAddress(std::wstring_view text) {
    constexpr std::wstring_view scheme = L"https://";
    if (text.size() > kMaxRemoteAddressLength || text.size() <= scheme.size()) {
        return false;
    }
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        if (std::towlower(static_cast<std::wint_t>(text[i])) !=
            static_cast<std::wint_t>(scheme[i])) {
            return false;
        }
    }
    const wchar_t host = text[scheme.size()];
    if (host == L'/' || host == L'?' || host == L'#') {
        return false;
    }
    return std::none_of(text.begin(), text.end(),
                        [](wchar_t c) { return c <= L' ' || c == 0x7F || c == 0x3000; });
}

}  // namespace

RemoteAddress remoteAddressFrom(const std::optional<std::wstring>& stored) {
    if (stored && !stored->empty()) {
        if (takenAsAddress(*stored)) {
            return {*stored, false};
        }
        return {std::wstring(kDefaultRemoteAddress), true};
    }
    return {std::wstring(kDefaultRemoteAddress), false};
}

std::wstring addressWithVersion(std::wstring_view address, int version) {
    const std::size_t fragment = std::min(address.find(L'#'), address.size());
    const std::wstring_view beforeFragment = address.substr(0, fragment);
    std::wstring out(beforeFragment);
    if (beforeFragment.find(L'?') == std::wstring_view::npos) {
        out += L'?';
    } else if (!out.ends_with(L'?') && !out.ends_with(L'&')) {
        out += L'&';
    }
    out += L"v=" + std::to_wstring(version);
    out += address.substr(fragment);
    return out;
}

}  // namespace app

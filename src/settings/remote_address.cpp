#include "settings/remote_address.h"

#include <algorithm>
#include <cwctype>

#include "i18n/ui_text.h"

namespace app {
namespace {

constexpr const wchar_t* kNotHttps =
    uiText(L"Значение remote в реестре пропущено: нужен адрес вида https://сервер/путь.");
constexpr const wchar_t* kTooLong =
    uiText(L"Значение remote в реестре пропущено: адрес длиннее 200 знаков.");
constexpr const wchar_t* kBlank =
    uiText(L"Значение remote в реестре пропущено: в адресе есть пробел или управляющий символ.");

// What is wrong with the text as the page's address; null when nothing is.
const wchar_t* flawOf(std::wstring_view text) {
    constexpr std::wstring_view scheme = L"https://";
    if (std::any_of(text.begin(), text.end(),
                    [](wchar_t c) { return c <= L' ' || c == 0x7F || c == 0x3000; })) {
        return kBlank;
    }
    if (text.size() > kMaxRemoteAddressLength) {
        return kTooLong;
    }
    if (text.size() <= scheme.size()) {
        return kNotHttps;
    }
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        if (std::towlower(static_cast<std::wint_t>(text[i])) !=
            static_cast<std::wint_t>(scheme[i])) {
            return kNotHttps;
        }
    }
    const wchar_t host = text[scheme.size()];
    if (host == L'/' || host == L'?' || host == L'#') {
        return kNotHttps;
    }
    return nullptr;
}

}  // namespace

RemoteAddress remoteAddressFrom(const std::optional<std::wstring>& stored) {
    if (stored && !stored->empty()) {
        if (const wchar_t* flaw = flawOf(*stored)) {
            return {std::wstring(kDefaultRemoteAddress), true, flaw};
        }
        return {*stored, false};
    }
    return {std::wstring(kDefaultRemoteAddress), false};
}

std::wstring addressWithVersion(std::wstring_view address, int version) {
    const std::size_t fragment = std::min(address.find(L'#'), address.size());
    const std::wstring_view beforeFragment = address.substr(0, fragment);
    const std::size_t query = std::min(beforeFragment.find(L'?'), beforeFragment.size());
    std::wstring out(beforeFragment.substr(0, query));
    out += L'?';
    std::wstring_view rest = beforeFragment.substr(std::min(query + 1, beforeFragment.size()));
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find(L'&'), rest.size());
        const std::wstring_view parameter = rest.substr(0, end);
        if (!parameter.empty() && parameter != L"v" && !parameter.starts_with(L"v=")) {
            out += parameter;
            out += L'&';
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    out += L"v=" + std::to_wstring(version);
    out += address.substr(fragment);
    return out;
}

}  // namespace app

#include "framework/text.h"

namespace framework {
namespace {

std::wstring toWide(UINT codePage, std::string_view text) {
    if (text.empty()) {
        return {};
    }
    int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string toNarrow(UINT codePage, std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring fromUtf8(std::string_view text) {
    return toWide(CP_UTF8, text);
}
std::string toUtf8(std::wstring_view text) {
    return toNarrow(CP_UTF8, text);
}

std::wstring formatText(std::wstring_view fmt, std::initializer_list<std::wstring_view> args) {
    std::wstring out;
    out.reserve(fmt.size() + 32);
    auto next = args.begin();
    for (size_t i = 0; i < fmt.size(); ++i) {
        wchar_t c = fmt[i];
        if (c == L'%' && i + 1 < fmt.size()) {
            wchar_t k = fmt[i + 1];
            if (k == L'%') {
                out += L'%';
                ++i;
                continue;
            }
            if ((k == L's' || k == L'd') && next != args.end()) {
                out += *next++;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::wstring systemMessage(DWORD code) {
    wchar_t buffer[2000];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buffer, 2000, nullptr);
    std::wstring text(buffer, n);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    return text;
}

}  // namespace framework

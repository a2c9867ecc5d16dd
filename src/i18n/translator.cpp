#include "i18n/translator.h"

#include <windows.h>

#include "framework/exception.h"
#include "framework/text.h"
#include "i18n/language_codes.h"
#include "i18n/text_codec.h"

namespace i18n {
namespace {

// A two-letter name is reported as 3 characters written, its terminating NUL included.
std::wstring twoLetterLocaleName(LCTYPE what) {
    wchar_t buffer[5] = {};
    int written = GetLocaleInfoW(LOCALE_USER_DEFAULT, what, buffer, 5);
    return written == 3 ? std::wstring(buffer, 2) : std::wstring();
}

std::wstring environmentVariable(const wchar_t* name) {
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

bool sameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::wstring queryOsLanguage() {
    std::wstring language = twoLetterLocaleName(LOCALE_SISO639LANGNAME);
    if (!language.empty()) {
        std::wstring code =
            languageFromIsoNames(language, twoLetterLocaleName(LOCALE_SISO3166CTRYNAME));
        if (!code.empty()) {
            return code;
        }
    }
    return languageForLocaleId(GetThreadLocale());
}

Translator::Translator(const std::wstring& executablePath, const EmbeddedCatalogues* embedded)
    : currentDomain_(L"default"), embedded_(embedded) {
    auto slash = executablePath.find_last_of(L"\\/:");
    localeRoot_ = slash == std::wstring::npos ? L"" : executablePath.substr(0, slash + 1);
    if (localeRoot_.empty() || (localeRoot_.back() != L'\\' && localeRoot_.back() != L'/')) {
        localeRoot_ += L'\\';
    }
    localeRoot_ += L"locale";
    selectLanguage(L"");
    bindDomainDirectory(L"default", localeRoot_);
    setCurrentDomain(L"default");
}

Translator::~Translator() = default;

void Translator::selectLanguage(const std::wstring& code) {
    std::wstring chosen = code;
    if (chosen.empty()) {
        chosen = environmentVariable(L"LANG");
        if (chosen.empty()) {
            chosen = queryOsLanguage();
        }
        chosen = languageFromLangVariable(chosen);
    }
    language_ = chosen;
    std::lock_guard guard(domainsMutex_);
    for (auto& [name, domain] : domains_) {
        domain->assignLanguage(language_);
    }
}

void Translator::bindDomainDirectory(const std::wstring& domain, const std::wstring& directory) {
    std::wstring withDelimiter = directory;
    if (withDelimiter.empty() || withDelimiter.back() != L'\\') {
        withDelimiter += L'\\';
    }
    domainFor(domain).assignDirectory(withDelimiter);
}

Domain& Translator::domainFor(const std::wstring& domain) {
    std::lock_guard guard(domainsMutex_);
    for (auto& [name, existing] : domains_) {
        if (sameName(name, domain)) {
            return *existing;
        }
    }
    auto created = std::make_unique<Domain>(embedded_);
    created->setName(domain);
    created->assignDirectory(localeRoot_);
    created->assignLanguage(language_);
    domains_.emplace_back(domain, std::move(created));
    return *domains_.back().second;
}

std::wstring Translator::translate(const std::wstring& text) {
    return translateInDomain(currentDomain_, text);
}

std::wstring Translator::translateInDomain(const std::wstring& domain, const std::wstring& text) {
    auto key = encodeUtf8(std::wstring_view(text));
    if (!key) {
        // A lone surrogate: no catalogue can hold the text, so it has no translation.
        return text;
    }
    stripCarriageReturns(*key);
    std::string found = domainFor(domain).lookup(*key);
    auto result = decodeUtf8<wchar_t>(expandLineFeeds(found));
    if (!text.empty() && (!result || result->empty())) {
        throw framework::Exception(framework::formatText(
            L"Error: Could not translate %s. Probably because the mo file doesn't contain utf-8 "
            L"encoded translations.",
            {text}));
    }
    return result ? std::move(*result) : std::wstring();
}

}  // namespace i18n

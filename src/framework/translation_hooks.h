// The translation layer plugs in here, so components can have their own texts translated without
// depending on it. Until a translator is installed every text comes back unchanged.
#pragma once

#include <string>

namespace framework {

struct TranslationHooks {
    // Translates a fixed text (UTF-16 in, UTF-16 out).
    std::wstring (*translateText)(const std::wstring& text) = nullptr;
    // Adds a domain in which resource strings are looked up after the ones already listed.
    void (*addResourceStringDomain)(const std::wstring& domain) = nullptr;
};

// Installs the hooks (an empty struct removes them).
void setTranslationHooks(const TranslationHooks& hooks);

std::wstring translateText(const std::wstring& text);
void addResourceStringDomain(const std::wstring& domain);

}  // namespace framework

// The translation instance: chooses the language and keeps one Domain per translation domain.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "i18n/domain.h"

namespace i18n {

class EmbeddedCatalogues;

// The language the system's settings give: "de_DE" from the user locale's ISO names, else the
// fixed table by the thread's locale identifier, else "C".
std::wstring queryOsLanguage();

class Translator {
  public:
    // Catalogues are looked for under the executable's directory + "locale"; embedded (may be
    // nullptr) is consulted first.
    Translator(const std::wstring& executablePath, const EmbeddedCatalogues* embedded);
    ~Translator();
    Translator(const Translator&) = delete;
    Translator& operator=(const Translator&) = delete;

    // An empty code chooses from LANG, then the system's settings. Closes every domain's
    // catalogue.
    void selectLanguage(const std::wstring& code);
    const std::wstring& language() const { return language_; }
    const std::wstring& localeRoot() const { return localeRoot_; }

    void bindDomainDirectory(const std::wstring& domain, const std::wstring& directory);
    void setCurrentDomain(const std::wstring& domain) { currentDomain_ = domain; }
    const std::wstring& currentDomain() const { return currentDomain_; }

    // The translation of text in the current domain / in domain. Line ends: looked up with LF,
    // returned with CR LF. Raises framework::Exception when the translation is empty or not
    // UTF-8 for a non-empty text, and the catalogue errors of Domain::lookup.
    std::wstring translate(const std::wstring& text);
    std::wstring translateInDomain(const std::wstring& domain, const std::wstring& text);

    // The domain's object, created on first use (names compare without regard to letter case).
    Domain& domainFor(const std::wstring& domain);

  private:
    std::wstring language_;
    std::wstring currentDomain_;
    std::wstring localeRoot_;
    const EmbeddedCatalogues* embedded_;
    // Two threads may translate in a new domain at the same moment.
    std::mutex domainsMutex_;
    std::vector<std::pair<std::wstring, std::unique_ptr<Domain>>> domains_;
};

}  // namespace i18n

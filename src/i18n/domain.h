// One translation domain: finds, maps, checks and searches the catalogue for its name and
// language. The catalogue is opened at the first lookup and stays mapped until the directory or
// the language changes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <shared_mutex>
#include <string>
#include <string_view>

#include "framework/handle.h"
#include "i18n/catalogue_reader.h"

namespace i18n {

class EmbeddedCatalogues;

class Domain {
  public:
    // embedded: the index consulted before the disk; nullptr when nothing is embedded.
    explicit Domain(const EmbeddedCatalogues* embedded = nullptr);
    ~Domain();
    Domain(const Domain&) = delete;
    Domain& operator=(const Domain&) = delete;

    void setName(std::wstring name) { name_ = std::move(name); }
    const std::wstring& name() const { return name_; }
    // Sets the catalogue root ("\" appended when missing) and closes the open catalogue.
    void assignDirectory(const std::wstring& directory);
    const std::wstring& directory() const { return directory_; }
    // Closes the open catalogue and sets the language.
    void assignLanguage(const std::wstring& code);
    const std::wstring& language() const { return language_; }

    // The translation of key (UTF-8), or key itself. The catalogue is the first readable one of
    // the languages catalogueLanguages gives; one that cannot be opened, is no catalogue, is cut
    // short or holds text that is not UTF-8 counts as missing. Raises nothing.
    std::string lookup(std::string_view key);

    void closeCatalogue();

    bool isOpen() const { return isOpen_; }
    bool mayOpen() const { return mayOpen_; }
    const CatalogueReader& catalogue() const { return reader_; }

  private:
    void openCatalogue();
    void closeCatalogueLocked();
    // Maps the catalogue at path (embedded or on disk) when it is whole and readable.
    bool tryOpen(const std::wstring& path);
    bool catalogueExists(const std::wstring& path) const;

    std::wstring directory_;
    std::wstring name_;
    std::shared_mutex lock_;
    std::atomic<bool> isOpen_{false};
    std::atomic<bool> mayOpen_{true};
    const EmbeddedCatalogues* embedded_;
    framework::KernelHandle file_;
    framework::KernelHandle mapping_;
    framework::MappedView view_;
    std::int64_t catalogueOffset_ = 0;
    CatalogueReader reader_;
    std::wstring language_;
};

}  // namespace i18n

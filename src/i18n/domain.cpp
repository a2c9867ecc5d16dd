#include "i18n/domain.h"

#include <mutex>

#include "framework/text.h"
#include "i18n/embedded_catalogues.h"
#include "i18n/language_codes.h"

namespace i18n {

Domain::Domain(const EmbeddedCatalogues* embedded) : embedded_(embedded) {}

Domain::~Domain() {
    closeCatalogue();
}

void Domain::assignDirectory(const std::wstring& directory) {
    std::unique_lock guard(lock_);
    directory_ = directory;
    if (directory_.empty() || (directory_.back() != L'\\' && directory_.back() != L'/')) {
        directory_ += L'\\';
    }
    closeCatalogueLocked();
}

void Domain::assignLanguage(const std::wstring& code) {
    // Under the lock, so an opening in another thread never sees half a change.
    std::unique_lock guard(lock_);
    closeCatalogueLocked();
    language_ = code;
}

bool Domain::catalogueExists(const std::wstring& path) const {
    if (embedded_ && embedded_->contains(path)) {
        return true;
    }
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void Domain::openCatalogue() {
    std::unique_lock guard(lock_);
    if (isOpen_ || !mayOpen_) {
        return;
    }
    // A catalogue that cannot be read is passed over like a missing one: a damaged file must
    // never keep the program from starting, and the next language in line still gets its say.
    for (const auto& language : catalogueLanguages(language_)) {
        std::wstring path = cataloguePath(directory_, language, name_);
        if (catalogueExists(path) && tryOpen(path)) {
            return;
        }
    }
    // No error: this domain translates nothing until its directory or language changes.
    mayOpen_ = false;
}

bool Domain::tryOpen(const std::wstring& path) {
    CatalogueLocation where = embedded_ ? embedded_->locate(path) : CatalogueLocation{path, 0, 0};
    const std::wstring& filePath = where.filePath;
    framework::KernelHandle file(CreateFileW(filePath.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                             nullptr));
    if (!file) {
        return false;
    }
    LARGE_INTEGER fileSize{};
    if (!GetFileSizeEx(file.get(), &fileSize) || fileSize.QuadPart <= where.offset) {
        return false;
    }
    framework::KernelHandle mapping(
        CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) {
        return false;
    }
    framework::MappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) {
        return false;
    }
    // Catalogue offsets count from the catalogue's first byte; only the rest of the mapped file
    // after it may ever be read.
    auto start = static_cast<std::uint64_t>(where.offset);
    auto total = static_cast<std::uint64_t>(fileSize.QuadPart);
    const auto* base = static_cast<const unsigned char*>(view.get());
    CatalogueReader reader;
    if (!reader.open(base + start, static_cast<std::size_t>(total - start)) || !reader.intact()) {
        return false;
    }
    file_ = std::move(file);
    mapping_ = std::move(mapping);
    view_ = std::move(view);
    catalogueOffset_ = where.offset;
    reader_ = reader;
    // Published only now: lookups in other threads read the catalogue without the lock.
    isOpen_ = true;
    return true;
}

std::string Domain::lookup(std::string_view key) {
    if (!isOpen_ && mayOpen_) {
        openCatalogue();
    }
    if (!isOpen_) {
        return std::string(key);
    }
    auto found = reader_.find(key);
    return found ? std::string(*found) : std::string(key);
}

void Domain::closeCatalogue() {
    std::unique_lock guard(lock_);
    closeCatalogueLocked();
}

void Domain::closeCatalogueLocked() {
    if (isOpen_) {
        isOpen_ = false;
        reader_ = CatalogueReader();
        view_.reset();
        mapping_.reset();
        file_.reset();
    }
    mayOpen_ = true;
}

}  // namespace i18n

#include "i18n/embedded_catalogues.h"

#include "framework/handle.h"
#include "framework/text.h"
#include "i18n/embedded_index.h"

namespace i18n {
namespace {

// The tool that embeds catalogues finds this by its GUID text and writes the chain's file offset
// into the eight bytes after it. volatile keeps the compiler from folding the all-zero slot into
// the code that reads it; used keeps the linker from dropping it.
__attribute__((used)) volatile const unsigned char embeddedIndexMarker[kMarkerSize] =
    "DC7FF10F-31BA-4FCB-B499-D7839E7AA3B7\0\0\0\0\0\0\0";

}  // namespace

std::uint64_t embeddedIndexSlot() {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | embeddedIndexMarker[kMarkerGuidLength + i];
    }
    return value;
}

bool EmbeddedCatalogues::NoCaseLess::operator()(const std::wstring& a,
                                                const std::wstring& b) const {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
}

EmbeddedCatalogues::EmbeddedCatalogues(std::wstring executablePath)
    : executablePath_(std::move(executablePath)) {}

void EmbeddedCatalogues::scanExecutable() {
    scanExecutable(embeddedIndexSlot());
}

void EmbeddedCatalogues::scanExecutable(std::uint64_t firstEntry) {
    if (firstEntry == 0) {
        return;
    }
    auto slash = executablePath_.find_last_of(L"\\/:");
    baseDirectory_ = slash == std::wstring::npos ? L"" : executablePath_.substr(0, slash + 1);

    framework::KernelHandle file(CreateFileW(executablePath_.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    ReadAt readAt = [&file](std::uint64_t position, void* buffer, std::size_t count) {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(position);
        if (!SetFilePointerEx(file.get(), to, nullptr, FILE_BEGIN)) {
            return false;
        }
        DWORD read = 0;
        return ReadFile(file.get(), buffer, static_cast<DWORD>(count), &read, nullptr) &&
               read == count;
    };
    walkEmbeddedIndex(firstEntry, readAt, [this](const EmbeddedEntry& entry) {
        return entries_
            .emplace(framework::fromUtf8(entry.name), EmbeddedFileInfo{entry.offset, entry.size})
            .second;
    });
}

const EmbeddedFileInfo* EmbeddedCatalogues::find(const std::wstring& path,
                                                 bool needBaseDirectory) const {
    std::wstring rest = path;
    if (path.starts_with(baseDirectory_)) {
        rest.erase(0, baseDirectory_.size());
    } else if (needBaseDirectory) {
        return nullptr;
    }
    auto it = entries_.find(rest);
    return it == entries_.end() ? nullptr : &it->second;
}

bool EmbeddedCatalogues::contains(const std::wstring& path) const {
    return find(path, false) != nullptr;
}

CatalogueLocation EmbeddedCatalogues::locate(const std::wstring& path) const {
    if (const EmbeddedFileInfo* info = find(path, true)) {
        return {executablePath_, info->offset, info->size};
    }
    return {path, 0, 0};
}

}  // namespace i18n

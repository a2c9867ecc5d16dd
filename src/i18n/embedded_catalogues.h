// The index of catalogues appended to the executable file, filled once at start-up from the
// chain that the executable's marker points at.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

namespace i18n {

struct EmbeddedFileInfo {
    std::int64_t offset = 0;
    std::int64_t size = 0;
};

// Where a catalogue's bytes are: the file to open and the catalogue's place in it.
struct CatalogueLocation {
    std::wstring filePath;
    std::int64_t offset = 0;
    std::int64_t size = 0;
};

// The value of the marker's slot in this executable: 0 until a tool has embedded catalogues.
std::uint64_t embeddedIndexSlot();

class EmbeddedCatalogues {
  public:
    explicit EmbeddedCatalogues(std::wstring executablePath);
    EmbeddedCatalogues(const EmbeddedCatalogues&) = delete;
    EmbeddedCatalogues& operator=(const EmbeddedCatalogues&) = delete;

    // Fills the index from the chain the marker's slot points at. Never fails: a damaged chain
    // keeps the entries read before the damage.
    void scanExecutable();
    // The same from an explicit first entry (0 = nothing embedded, the file is not opened).
    void scanExecutable(std::uint64_t firstEntry);

    // Whether path (absolute under the executable's directory, or relative) names an embedded
    // catalogue; names compare without regard to letter case, the directory exactly.
    bool contains(const std::wstring& path) const;
    // The executable and the catalogue's place in it, or (path, 0, 0) when it is not embedded.
    CatalogueLocation locate(const std::wstring& path) const;

    const std::wstring& executablePath() const { return executablePath_; }
    const std::wstring& baseDirectory() const { return baseDirectory_; }
    std::size_t count() const { return entries_.size(); }

  private:
    struct NoCaseLess {
        bool operator()(const std::wstring& a, const std::wstring& b) const;
    };
    const EmbeddedFileInfo* find(const std::wstring& path, bool needBaseDirectory) const;

    std::wstring executablePath_;
    std::wstring baseDirectory_;
    std::map<std::wstring, EmbeddedFileInfo, NoCaseLess> entries_;
};

}  // namespace i18n

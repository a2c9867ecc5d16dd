// A section-and-key settings file read and written through the system's profile functions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace framework {

class IniFile {
  public:
    // A path without a folder means a file in the Windows folder (the profile functions' rule),
    // so callers normally pass a full path.
    explicit IniFile(std::wstring fileName) : fileName_(std::move(fileName)) {}

    const std::wstring& fileName() const { return fileName_; }

    // The key's text, or defaultValue (unchanged, blanks included) when the key is missing.
    std::wstring readString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& defaultValue) const;
    // Raises "Unable to write to <file>" when the system refuses the write.
    void writeString(const std::wstring& section, const std::wstring& key,
                     const std::wstring& value);
    // A signed decimal within 32 bits; defaultValue when the key is missing or its text is not
    // such a number.
    int32_t readInteger(const std::wstring& section, const std::wstring& key,
                        int32_t defaultValue) const;
    void writeInteger(const std::wstring& section, const std::wstring& key, int32_t value);

    bool sectionExists(const std::wstring& section) const;
    // Key names compare without regard to letter case, as the profile functions do.
    bool valueExists(const std::wstring& section, const std::wstring& key) const;
    // The section's key names in file order; empty for a missing section.
    std::vector<std::wstring> readSection(const std::wstring& section) const;
    void deleteKey(const std::wstring& section, const std::wstring& key);
    void eraseSection(const std::wstring& section);

  private:
    void write(const wchar_t* section, const wchar_t* key, const wchar_t* value);

    std::wstring fileName_;
};

}  // namespace framework

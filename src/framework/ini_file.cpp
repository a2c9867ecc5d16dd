#include "framework/ini_file.h"

#include <charconv>
#include <limits>

#include "framework/exception.h"
#include "framework/growing_buffer.h"
#include "framework/resource_strings.h"
#include "framework/text.h"

namespace framework {
namespace {

// GetPrivateProfileStringW truncates silently; it reports a full buffer as size - 1 for a value
// and size - 2 for a NUL-separated list, so the text fits only with two characters to spare.
std::wstring readProfile(const wchar_t* section, const wchar_t* key, const std::wstring& file) {
    return readGrowingBuffer(
        [&](wchar_t* buffer, DWORD size) {
            return GetPrivateProfileStringW(section, key, L"", buffer, size, file.c_str());
        },
        256, 2);
}

std::vector<std::wstring> splitNulList(const std::wstring& list) {
    std::vector<std::wstring> items;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(L'\0', start);
        if (end == std::wstring::npos) {
            end = list.size();
        }
        if (end > start) {
            items.emplace_back(list, start, end - start);
        }
        start = end + 1;
    }
    return items;
}

bool sameKey(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::wstring IniFile::readString(const std::wstring& section, const std::wstring& key,
                                 const std::wstring& defaultValue) const {
    // The system trims blanks from a default it hands back, so a missing key is detected here
    // and the caller's default returned as given.
    if (!valueExists(section, key)) {
        return defaultValue;
    }
    return readProfile(section.c_str(), key.c_str(), fileName_);
}

void IniFile::writeString(const std::wstring& section, const std::wstring& key,
                          const std::wstring& value) {
    write(section.c_str(), key.c_str(), value.c_str());
}

int32_t IniFile::readInteger(const std::wstring& section, const std::wstring& key,
                             int32_t defaultValue) const {
    std::string text = toUtf8(readString(section, key, L""));
    const char* first = text.data();
    const char* last = first + text.size();
    // from_chars takes a minus but not a plus sign.
    if (first != last && *first == '+') {
        ++first;
        if (first == last || *first == '-') {
            return defaultValue;
        }
    }
    int32_t value = 0;
    auto [end, error] = std::from_chars(first, last, value, 10);
    if (error != std::errc() || end != last || first == last) {
        return defaultValue;
    }
    return value;
}

void IniFile::writeInteger(const std::wstring& section, const std::wstring& key, int32_t value) {
    writeString(section, key, std::to_wstring(value));
}

bool IniFile::sectionExists(const std::wstring& section) const {
    for (const auto& name : splitNulList(readProfile(nullptr, nullptr, fileName_))) {
        if (sameKey(name, section)) {
            return true;
        }
    }
    return false;
}

bool IniFile::valueExists(const std::wstring& section, const std::wstring& key) const {
    for (const auto& name : readSection(section)) {
        if (sameKey(name, key)) {
            return true;
        }
    }
    return false;
}

std::vector<std::wstring> IniFile::readSection(const std::wstring& section) const {
    return splitNulList(readProfile(section.c_str(), nullptr, fileName_));
}

void IniFile::deleteKey(const std::wstring& section, const std::wstring& key) {
    write(section.c_str(), key.c_str(), nullptr);
}

void IniFile::eraseSection(const std::wstring& section) {
    write(section.c_str(), nullptr, nullptr);
}

void IniFile::write(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    if (!WritePrivateProfileStringW(section, key, value, fileName_.c_str())) {
        throw Exception(formatText(loadResourceString(IDS_INI_WRITE_FAILED), {fileName_}));
    }
}

}  // namespace framework

// An open registry key with typed reads and writes that raise the framework's registry errors.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "framework/handle.h"

namespace framework {

class RegistryKey {
  public:
    RegistryKey() = default;
    // Takes ownership of an open key.
    explicit RegistryKey(HKEY key) : key_(key) {}

    // Opens an existing key; an empty object when it cannot be opened.
    static RegistryKey open(HKEY root, const std::wstring& path, REGSAM access = KEY_ALL_ACCESS);
    // Opens the key, creating it when missing; raises "Failed to create key %s" on failure.
    static RegistryKey create(HKEY root, const std::wstring& path, REGSAM access = KEY_ALL_ACCESS);

    bool isOpen() const { return key_.valid(); }
    HKEY handle() const { return key_.get(); }
    void close() { key_.reset(); }

    RegistryKey openSubKey(const std::wstring& name, REGSAM access = KEY_ALL_ACCESS) const;
    RegistryKey createSubKey(const std::wstring& name, REGSAM access = KEY_ALL_ACCESS) const;

    bool valueExists(const std::wstring& name) const;
    // REG_SZ or REG_EXPAND_SZ; nothing when the value is missing. Any other type raises
    // "Invalid data type for '%s'".
    std::optional<std::wstring> readText(const std::wstring& name) const;
    // Writes REG_SZ; raises "Failed to set data for '%s'".
    void writeText(const std::wstring& name, const std::wstring& value) const;
    // REG_DWORD; a missing value raises "Failed to get data for '%s'", another type
    // "Invalid data type for '%s'".
    int32_t readInteger(const std::wstring& name) const;
    // Writes REG_DWORD; raises "Failed to set data for '%s'".
    void writeInteger(const std::wstring& name, int32_t value) const;
    bool deleteValue(const std::wstring& name) const;

  private:
    RegKey key_;
};

}  // namespace framework

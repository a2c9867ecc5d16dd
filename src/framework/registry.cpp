#include "framework/registry.h"

#include <vector>

#include "framework/exception.h"
#include "framework/resource_strings.h"
#include "framework/text.h"

namespace framework {
namespace {

[[noreturn]] void raise(UINT id, const std::wstring& name) {
    throw Exception(formatText(loadResourceString(id), {name}));
}

}  // namespace

RegistryKey RegistryKey::open(HKEY root, const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) {
        return {};
    }
    return RegistryKey(key);
}

RegistryKey RegistryKey::create(HKEY root, const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        raise(IDS_REG_CREATE_KEY_FAILED, path);
    }
    return RegistryKey(key);
}

RegistryKey RegistryKey::openSubKey(const std::wstring& name, REGSAM access) const {
    return open(handle(), name, access);
}

RegistryKey RegistryKey::createSubKey(const std::wstring& name, REGSAM access) const {
    return create(handle(), name, access);
}

bool RegistryKey::valueExists(const std::wstring& name) const {
    return RegQueryValueExW(handle(), name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

std::optional<std::wstring> RegistryKey::readText(const std::wstring& name) const {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(handle(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        raise(IDS_REG_INVALID_DATA_TYPE, name);
    }
    // The value may grow between the two calls; ask again until it fits.
    for (;;) {
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        LONG rc = RegQueryValueExW(handle(), name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &bytes);
        if (rc == ERROR_MORE_DATA) {
            size = bytes;
            continue;
        }
        if (rc != ERROR_SUCCESS) {
            raise(IDS_REG_GET_DATA_FAILED, name);
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            raise(IDS_REG_INVALID_DATA_TYPE, name);
        }
        std::wstring text(buffer.data(), bytes / sizeof(wchar_t));
        // Stored texts normally carry their terminating NUL; some writers leave it out.
        auto end = text.find(L'\0');
        if (end != std::wstring::npos) {
            text.resize(end);
        }
        return text;
    }
}

void RegistryKey::writeText(const std::wstring& name, const std::wstring& value) const {
    auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(handle(), name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()), bytes) != ERROR_SUCCESS) {
        raise(IDS_REG_SET_DATA_FAILED, name);
    }
}

int32_t RegistryKey::readInteger(const std::wstring& name) const {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG rc = RegQueryValueExW(handle(), name.c_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(&value), &size);
    if (rc == ERROR_MORE_DATA) {
        raise(IDS_REG_INVALID_DATA_TYPE, name);
    }
    if (rc != ERROR_SUCCESS) {
        raise(IDS_REG_GET_DATA_FAILED, name);
    }
    if (type != REG_DWORD || size != sizeof value) {
        raise(IDS_REG_INVALID_DATA_TYPE, name);
    }
    return static_cast<int32_t>(value);
}

void RegistryKey::writeInteger(const std::wstring& name, int32_t value) const {
    auto data = static_cast<DWORD>(value);
    if (RegSetValueExW(handle(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                       sizeof data) != ERROR_SUCCESS) {
        raise(IDS_REG_SET_DATA_FAILED, name);
    }
}

bool RegistryKey::deleteValue(const std::wstring& name) const {
    return RegDeleteValueW(handle(), name.c_str()) == ERROR_SUCCESS;
}

}  // namespace framework

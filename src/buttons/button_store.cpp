#include "buttons/button_store.h"

#include <windows.h>

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "framework/registry.h"
#include "i18n/ui_text.h"

namespace app {
namespace {

// Value names are at most 16383 characters; the buttons' are far shorter, and a longer name is
// not one of theirs.
constexpr DWORD kLongestValueName = 16383;

bool isText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

}  // namespace

std::wstring ButtonStore::defaultSectionPath() {
    return std::wstring(SettingsStore::kRootPath) + L"\\" + SettingsStore::kSection;
}

ButtonStore::ButtonStore(std::wstring sectionPath) : sectionPath_(std::move(sectionPath)) {}

StoredButtonValues ButtonStore::readValues() const {
    StoredButtonValues values;
    const auto section = framework::RegistryKey::open(HKEY_CURRENT_USER, sectionPath_, KEY_READ);
    if (!section.isOpen()) {
        return values;
    }
    // The names first, without their data: another program may have stored any number of
    // buttons, of any length, and only those that load are read.
    std::map<std::wstring, DWORD, std::less<>> types;
    std::vector<wchar_t> name(kLongestValueName + 1);
    for (DWORD index = 0;; ++index) {
        auto length = static_cast<DWORD>(name.size());
        DWORD type = 0;
        const LONG rc = RegEnumValueW(section.handle(), index, name.data(), &length, nullptr, &type,
                                      nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (rc != ERROR_SUCCESS) {
            continue;
        }
        std::wstring valueName(name.data(), length);
        if (isButtonValueName(valueName)) {
            types.emplace(std::move(valueName), type);
        }
    }
    const auto read = [&](const std::wstring& valueName, DWORD type) {
        // Another type is kept as broken, not read as text: it is shown so and left as it is.
        values[valueName] = std::nullopt;
        try {
            if (isText(type)) {
                values[valueName] = section.readText(valueName);
            }
        } catch (const std::exception&) {
            // Dropped: a value whose type changed since it was listed reads as broken.
        }
    };
    std::set<int> stored;
    for (const auto& [valueName, type] : types) {
        if (const auto id = buttonIdFrom(valueName)) {
            stored.insert(*id);
            values[valueName] = std::nullopt;
        } else {
            read(valueName, type);
        }
    }
    const auto order = values.find(button_values::kOrder);
    for (int id : loadedButtonIds(order != values.end() ? order->second : std::nullopt, stored)) {
        const std::wstring idName = buttonIdName(id);
        if (const auto type = types.find(idName); type != types.end()) {
            read(idName, type->second);
        }
    }
    return values;
}

ButtonList ButtonStore::read() const {
    return buttonsFrom(readValues(), [](const wchar_t* text) { return tr(text); });
}

void ButtonStore::write(const ButtonList& before, const ButtonList& now) const {
    const auto changes = buttonChanges(before, now);
    if (changes.empty()) {
        return;
    }
    const auto section = framework::RegistryKey::create(HKEY_CURRENT_USER, sectionPath_);
    for (const auto& [name, value] : changes) {
        if (value) {
            section.writeText(name, *value);
        } else {
            section.deleteValue(name);
        }
    }
}

}  // namespace app

#include "settings/settings_store.h"

namespace app {

void SettingsStore::open() {
    if (!root_.isOpen()) {
        root_ = framework::RegistryKey::create(HKEY_CURRENT_USER, kRootPath);
    }
}

std::optional<std::wstring> SettingsStore::read(const std::wstring& name) const {
    if (!root_.isOpen()) {
        return std::nullopt;
    }
    auto section = root_.openSubKey(kSection, KEY_READ);
    if (!section.isOpen()) {
        return std::nullopt;
    }
    return section.readText(name);
}

void SettingsStore::write(const std::wstring& name, const std::wstring& value) {
    open();
    root_.createSubKey(kSection).writeText(name, value);
}

}  // namespace app

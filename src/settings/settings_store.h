// The per-user settings: HKEY_CURRENT_USER\Software\Corvane, section Keypilot, values "mouse",
// "exe", "com", "keys" and "remote", all stored as REG_SZ text.
#pragma once

#include <optional>
#include <string>

#include "framework/registry.h"
#include "settings/setting_names.h"

namespace app {

class SettingsStore {
  public:
    static constexpr const wchar_t* kRootPath = setting_names::kRootPath;
    static constexpr const wchar_t* kSection = setting_names::kSection;

    // Opens the store, creating Software\Corvane when missing, and keeps it open.
    void open();
    bool isOpen() const { return root_.isOpen(); }

    // The value's text; nothing when the section or value is missing. A value of another type
    // raises "Invalid data type for '%s'".
    std::optional<std::wstring> read(const std::wstring& name) const;
    // Creates the section when missing and stores the text at once. Opens the store first if
    // start-up never got that far.
    void write(const std::wstring& name, const std::wstring& value);

  private:
    framework::RegistryKey root_;
};

}  // namespace app

// The per-user settings: HKEY_CURRENT_USER\Software\Corvane, section Keypilot, values "mouse",
// "exe", "com", "keys" and "remote", all stored as REG_SZ text.
#pragma once

#include <optional>
#include <string>

#include "framework/registry.h"

namespace app {

// The stored values' names.
namespace setting_names {
inline constexpr const wchar_t* kCursorStep = L"mouse";
inline constexpr const wchar_t* kProgram = L"exe";
inline constexpr const wchar_t* kPortIndex = L"com";
inline constexpr const wchar_t* kKeyDelivery = L"keys";
inline constexpr const wchar_t* kRemoteAddress = L"remote";
}  // namespace setting_names

class SettingsStore {
  public:
    static constexpr const wchar_t* kRootPath = L"Software\\Corvane";
    static constexpr const wchar_t* kSection = L"Keypilot";

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

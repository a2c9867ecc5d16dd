// The user's buttons in the registry, beside the other settings (the format is phone_buttons.h's):
// read as the window and the phone have them, and the window's changes written back. A value of
// the wrong type reads as a broken button and is left alone unless the user changes that button.
#pragma once

#include <string>

#include "buttons/phone_buttons.h"
#include "settings/settings_store.h"

namespace app {

class ButtonStore {
  public:
    // HKEY_CURRENT_USER\Software\Corvane\Keypilot, the settings' own section.
    static std::wstring defaultSectionPath();

    // sectionPath: under HKEY_CURRENT_USER; tests give a key of their own.
    explicit ButtonStore(std::wstring sectionPath = defaultSectionPath());

    // The section's button values (ids, order, last id); a missing section has none.
    StoredButtonValues readValues() const;
    // The buttons as stored, or the starting set in the user's language when none are.
    ButtonList read() const;
    // Makes the stored buttons those of `now`, which was read as `before`: only the values that
    // differ are written or deleted (buttonChanges), the section created when missing. Raises the
    // registry's errors; what was written before a failure stays.
    void write(const ButtonList& before, const ButtonList& now) const;

  private:
    std::wstring sectionPath_;
};

}  // namespace app

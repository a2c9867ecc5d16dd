// Starting at logon: the value "Keypilot" under HKCU\...\CurrentVersion\Run.
#pragma once

#include <string>

namespace app {

class Autostart {
  public:
    static constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const wchar_t* kValueName = L"Keypilot";

    // Reads the value: on when its text contains "Keypilot" (case counts). A missing value or Run
    // key reads as off; a value of another type raises.
    void read();
    // Whether Keypilot starts at logon, as last read or switched.
    bool enabled() const { return enabled_; }
    // Switches: writes the empty text when on (the value stays), the quoted path of this
    // executable when off. A failed write raises "Failed to set data for 'Keypilot'" and leaves
    // the state as it was.
    void toggle();

    // The command line written for this executable: its full path in double quotes, so that a
    // path with blanks cannot start another program that sits earlier on that path.
    static std::wstring commandLine();

  private:
    bool enabled_ = false;
};

}  // namespace app

#include "buttons/button_actions.h"

#include <windows.h>

#include <powrprof.h>

#include <string>
#include <vector>

#include "desktop/key_input.h"
#include "desktop/launch_program.h"
#include "framework/handle.h"

namespace app {
namespace {

struct ModifierKey {
    bool KeyCombination::*flag;
    WORD virtualKey;
    bool extended;
};
// The left-hand keys, as a keyboard sends them; the Windows key is an extended one.
constexpr ModifierKey kModifierKeys[] = {
    {&KeyCombination::ctrl, VK_CONTROL, false},
    {&KeyCombination::alt, VK_MENU, false},
    {&KeyCombination::shift, VK_SHIFT, false},
    {&KeyCombination::win, VK_LWIN, true},
};

// The shutdown privilege, which ExitWindowsEx needs for a restart or a shut down and
// SetSuspendState for sleep; a process holds it disabled until it asks.
bool enableShutdownPrivilege() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) {
        return false;
    }
    const framework::KernelHandle token{raw};
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        return false;
    }
    // It succeeds without the privilege too, and says so only through the last error.
    return AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS;
}

// A planned shut down for the system's log, as a user's own choice is.
constexpr DWORD kPlannedReason =
    SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER | SHTDN_REASON_FLAG_PLANNED;

}  // namespace

bool pressCombination(const KeyCombination& keys) {
    const ComboKey* key = comboKeyOf(keys.key);
    if (!key) {
        return false;
    }
    std::vector<HeldKey> held;
    for (const auto& modifier : kModifierKeys) {
        if (keys.*modifier.flag) {
            held.push_back({modifier.virtualKey, modifier.extended});
        }
    }
    return pressCombination(held, key->virtualKey, key->extended);
}

bool switchPower(PowerAction action) {
    switch (action) {
        case PowerAction::Lock:
            return LockWorkStation() != FALSE;
        case PowerAction::Sleep:
            return enableShutdownPrivilege() && SetSuspendState(FALSE, FALSE, FALSE) != FALSE;
        case PowerAction::SignOut:
            return ExitWindowsEx(EWX_LOGOFF, kPlannedReason) != FALSE;
        case PowerAction::Restart:
            return enableShutdownPrivilege() && ExitWindowsEx(EWX_REBOOT, kPlannedReason) != FALSE;
        case PowerAction::ShutDown:
            return enableShutdownPrivilege() &&
                   ExitWindowsEx(EWX_SHUTDOWN | EWX_POWEROFF, kPlannedReason) != FALSE;
    }
    return false;
}

bool runButtonAction(const ButtonAction& action, const ButtonSeams& seams) {
    switch (action.kind) {
        case ButtonKind::Keys:
            return pressCombination(action.keys);
        case ButtonKind::Program:
            return launchProgram(action.program, action.arguments, action.folder);
        case ButtonKind::Text:
            return typeText(std::u16string_view(
                reinterpret_cast<const char16_t*>(action.text.data()), action.text.size()));
        case ButtonKind::Address:
            if (!seams.shell) {
                return false;
            }
            try {
                seams.shell->run(action.text);
            } catch (const std::exception&) {
                // Dropped: no thread could start, and the user sees nothing open and may press
                // again.
                return false;
            }
            return true;
        case ButtonKind::Power:
            return seams.power && seams.power(action.power);
    }
    return false;
}

}  // namespace app

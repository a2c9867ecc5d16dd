#include "buttons/button_actions.h"

#include <windows.h>

#include <powrprof.h>

#include <string>
#include <vector>

#include "desktop/key_input.h"
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

// ERROR_ELEVATION_REQUIRED, which MinGW's headers lack: CreateProcessW's answer for a program
// whose manifest asks for administrator rights.
constexpr DWORD kElevationRequired = 740;

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

phonelink::FailureReason failureReasonOf(DWORD error) {
    using phonelink::FailureReason;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
            return FailureReason::NotFound;
        case ERROR_ACCESS_DENIED:
        case kElevationRequired:
        case ERROR_PRIVILEGE_NOT_HELD:
        case ERROR_CANCELLED:
            return FailureReason::Denied;
        case ERROR_NO_ASSOCIATION:
            return FailureReason::NoProgram;
        case CallQueue::kNotRun:
            return FailureReason::Busy;
        default:
            return FailureReason::Refused;
    }
}

void runButtonAction(const ButtonAction& action, const ButtonSeams& seams,
                     const ActionFailed& failed) {
    using phonelink::FailureReason;
    const auto fail = [&](FailureReason reason) {
        if (failed) {
            failed(reason);
        }
    };
    // A program and an address answer later, on the main thread, once the system has.
    const auto answered = [failed](DWORD error) {
        if (error != ERROR_SUCCESS && failed) {
            failed(failureReasonOf(error));
        }
    };
    switch (action.kind) {
        case ButtonKind::Keys:
            if (!pressCombination(action.keys)) {
                fail(FailureReason::Refused);
            }
            return;
        case ButtonKind::Program:
            if (!seams.launcher) {
                fail(FailureReason::Refused);
                return;
            }
            seams.launcher->launch(action.program, action.arguments, action.folder, answered);
            return;
        case ButtonKind::Text:
            if (!typeText(std::u16string_view(reinterpret_cast<const char16_t*>(action.text.data()),
                                              action.text.size()))) {
                fail(FailureReason::Refused);
            }
            return;
        case ButtonKind::Address:
            if (!seams.shell) {
                fail(FailureReason::Refused);
                return;
            }
            seams.shell->run(action.text, {}, answered);
            return;
        case ButtonKind::Power:
            if (!seams.power || !seams.power(action.power)) {
                fail(FailureReason::Refused);
            }
            return;
    }
}

}  // namespace app

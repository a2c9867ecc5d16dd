// What the user's buttons do on the PC: a key combination, a program with its arguments and
// working folder, a text typed, an address opened, and the power actions through the system's own
// calls. Main thread; nothing here raises: an action the system does not take is reported with
// its reason.
#pragma once

#include <windows.h>

#include <functional>

#include "buttons/phone_buttons.h"
#include "desktop/launch_program.h"
#include "desktop/shell_runner.h"
#include "link/answer.h"

namespace app {

// The modifiers down (Ctrl, Alt, Shift, Win), the key pressed, the modifiers up in the reverse
// order, all in one SendInput so that no other input lands among them. Returns whether the
// system inserted every event.
bool pressCombination(const KeyCombination& keys);

// Lock: LockWorkStation. Sleep: SetSuspendState; sign out, restart and shut down:
// ExitWindowsEx, the shutdown privilege taken first where the call needs it. Returns whether the
// system took the request.
bool switchPower(PowerAction action);

// Where an action reaches the system. Tests replace power (a real one would end the test) and the
// shell's execute (an address would start a browser).
struct ButtonSeams {
    std::function<bool(PowerAction)> power = switchPower;
    ShellRunner* shell = nullptr;
    ProgramLauncher* launcher = nullptr;
};

// What the phone is told of a system error: a file, a path or a share that is not there is
// NotFound; a refused access, a needed elevation or a cancelled elevation prompt is Denied; no
// program for an address is NoProgram; a call that never ran (CallQueue::kNotRun) is Busy;
// anything else is Refused.
phonelink::FailureReason failureReasonOf(DWORD error);

// Called with the reason an action did nothing.
using ActionFailed = std::function<void(phonelink::FailureReason)>;

// Runs the action; a power action that needs a confirmation has had it by now. When the system
// does not take it, failed (may be empty) gets the reason: at once for a key combination, a text
// and a power action; on the main thread once the system has answered for a program (started off
// this thread by seams.launcher) and an address (opened by seams.shell).
void runButtonAction(const ButtonAction& action, const ButtonSeams& seams,
                     const ActionFailed& failed);

}  // namespace app

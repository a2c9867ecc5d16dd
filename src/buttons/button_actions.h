// What the user's buttons do on the PC: a key combination, a program with its arguments and
// working folder, a text typed, an address opened, and the power actions through the system's own
// calls. Main thread; nothing here raises.
#pragma once

#include <functional>

#include "buttons/phone_buttons.h"
#include "desktop/shell_runner.h"

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
};

// Runs the action; a power action that needs a confirmation has had it by now. Returns whether
// the system took it (an address: whether the shell's thread started).
bool runButtonAction(const ButtonAction& action, const ButtonSeams& seams);

}  // namespace app

// The PC's name as phones list it: the "Connect a phone" window tells the user to pick it, and
// the answer to a phone's hello shows it on the page, so that both say the same.
#pragma once

#include <string>

namespace app {

// The name Windows gives Bluetooth devices, in its own letters' case; "?" when it cannot be read.
std::wstring pcName();

}  // namespace app

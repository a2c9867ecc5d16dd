// The tips of the icons in the taskbar's notification area, read from outside as a user sees
// them: the shell (Wine's desktop explorer) keeps each icon's tip in a tooltip control of its
// taskbar window.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// Every notification-area tip the shell holds now (empty when there is no taskbar).
std::vector<std::wstring> trayTips();

}  // namespace testing_support

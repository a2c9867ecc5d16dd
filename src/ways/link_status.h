// What a way in shows of its phone, in the tray and the settings window.
#pragma once

#include "i18n/ui_text.h"

namespace app {

// The way closed, open with no phone heard lately, a phone there. Ordered: of two ways, the
// greater is the better to show.
enum class LinkStatus { Closed, Waiting, Heard };

// What the tip says after "Keypilot - COM5: " while a way is open and no phone is heard.
inline constexpr const wchar_t* kWaitingForPhone = uiText(L"ожидание телефона");

}  // namespace app

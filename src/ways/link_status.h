// What a way in shows of its phone, in the tray and the settings window.
#pragma once

namespace app {

// The way closed, open with no phone heard lately, a phone there. Ordered: of two ways, the
// greater is the better to show.
enum class LinkStatus { Closed, Waiting, Heard };

}  // namespace app

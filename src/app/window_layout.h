// Where the settings window's controls sit, in client pixels at 96 DPI, and their scaling.
#pragma once

#include <windows.h>

namespace app {

// Control identifiers; OK and Cancel use the dialog identifiers so Enter and Esc reach them.
enum ControlId : int {
    kOkButton = IDOK,
    kCancelButton = IDCANCEL,
    kProgramEdit = 1001,
    kBrowseButton,
    kSpeedSlider,
    kPortList,
    kPortGroup,
    kSpeedGroup,
    kProgramGroup,
    kTitleLabel,
    kDescriptionLabel,
    kStatusPicture,
    kSpeedScaleLabel,
    kHelpLabel,
};

struct ControlRect {
    int id;
    RECT bounds;  // left, top, right, bottom in client pixels at 96 DPI
};

constexpr SIZE kClientSize96{410, 331};
constexpr int kBannerHeight = 93;
constexpr RECT kLogoRect96{11, 1, 11 + 97, 1 + 90};

// Every control's rectangle at 96 DPI (positions inside group boxes already made absolute).
const ControlRect* controlRects(int& count);
RECT controlRect96(int id);

int scaleForDpi(int value, UINT dpi);
RECT scaleForDpi(const RECT& r, UINT dpi);

}  // namespace app

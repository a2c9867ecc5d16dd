// Reading a QR code off the screen as a phone's camera would: a picture of a window as it is on
// the screen, decoded on the testbed's host by zbarimg (Debian's zbar-tools).
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// The texts of the QR codes in the window's picture on the screen, one a line without the
// last line's end; empty when none decodes (or the window is not on the screen).
std::string decodeQrCodesOnScreen(HWND window);

}  // namespace testing_support

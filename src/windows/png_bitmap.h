// Pictures kept PNG-compressed in the program's resources (RCDATA), read into bitmaps for GDI.
#pragma once

#include <windows.h>

#include <cstddef>
#include <span>

#include "framework/handle.h"

namespace app {

// The PNG's first frame as a 32-bit top-down DIB section without alpha (the pictures it is for
// are opaque); empty when the bytes are not a PNG that WIC reads.
framework::GdiObject decodePng(std::span<const std::byte> png);

// The RCDATA resource `id` of `module`, a PNG, as decodePng gives it; empty when it is missing.
framework::GdiObject loadPngResource(HINSTANCE module, UINT id);

}  // namespace app

// Keys and text from the phone, as real key input through the system's input queue, whatever
// the key delivery setting says.
#pragma once

#include <string_view>

#include "link/link_protocol.h"

namespace app {

// One press (down, then up) of the virtual key vk; extended: a key of the navigation block or
// another key that carries the extended flag, which some programs need to tell it apart.
void pressKey(unsigned vk, bool extended);

// One press (down, then up) of a key from the link's key table.
void pressLinkKey(phonelink::LinkKey key);

// Types the text exactly as it stands into the window with the keyboard focus: each UTF-16 unit
// as a Unicode key press (a character beyond U+FFFF as its two surrogates), all in one call so
// that no other input lands inside it.
void typeText(std::u16string_view text);

}  // namespace app

// Keys and text from the phone, as real key input through the system's input queue, whatever
// the key delivery setting says.
//
// Errors: nothing here raises. Each call hands all its events to one SendInput, so that no other
// input lands among them, and reports whether the system inserted every one. When it inserts
// fewer (another thread blocks input, or the desktop changes under the call), those after the
// last inserted one are dropped, not tried again: a retry would come later than the input around
// it. Callers drop the answer, as the command handler does: a press that did not go in has no
// effect. A window of a higher integrity level refuses the input without either answer telling.
#pragma once

#include <span>
#include <string_view>

#include "link/link_protocol.h"

namespace app {

// One press (down, then up) of the virtual key vk; extended: a key of the navigation block or
// another key that carries the extended flag, which some programs need to tell it apart.
bool pressKey(unsigned vk, bool extended);

// A key held down around another one: a modifier of a combination.
struct HeldKey {
    unsigned vk;
    bool extended;
};
// One press of vk with the held keys around it: each goes down in its order before it and comes
// up in the reverse order after it ("Ctrl+Shift+Esc").
bool pressCombination(std::span<const HeldKey> held, unsigned vk, bool extended);

// One press (down, then up) of a key from the link's key table.
bool pressLinkKey(phonelink::LinkKey key);

// Types a text frame's text into the window with the keyboard focus, by the link's typing rule
// (phonelink::typedText): each line end as one press of Enter, a tab as Tab, other control
// characters not at all, and every other UTF-16 unit as a Unicode key press (a character beyond
// U+FFFF as its two surrogates).
bool typeText(std::u16string_view text);

}  // namespace app

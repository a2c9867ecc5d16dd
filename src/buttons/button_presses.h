// The user's buttons as the link sees them: the list the phone is sent, and the presses and
// confirmations that come back. A press counts only from a sender that talks (the caller asks
// link/talk.h); an id that names no working button does nothing and is counted; a power action
// other than Lock acts only on a confirmation that carries the token of its press, within
// phonelink::ButtonConfirmations::kConfirmMs, once. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "buttons/button_actions.h"
#include "buttons/button_store.h"
#include "buttons/phone_buttons.h"
#include "link/button_press.h"

namespace app {

// 24 bits or more from the system's random source (BCryptGenRandom).
std::uint32_t systemRandom();

class ButtonPresses {
  public:
    explicit ButtonPresses(ShellRunner& shell, ButtonStore store = ButtonStore(),
                           std::function<std::uint32_t()> random = systemRandom);

    // Reads the stored buttons again; a token issued before is worthless from now on.
    void reload();
    const ButtonList& buttons() const { return buttons_; }
    const ButtonStore& store() const { return store_; }

    // {"type":"buttons",...} of the working buttons in their order.
    std::string listLine() const;

    // A press from a sender that talks, at now (the link's steady clock). A button that needs a
    // confirmation gives its answer line to `answer`; any other acts at once.
    void press(int id, std::uint64_t now, const std::function<void(std::string)>& answer);
    // A confirmation from a sender that talks: acts when it carries the token of the latest press.
    void confirm(int id, std::uint32_t token, std::uint64_t now);
    // The sender is gone or a new one said hello: no token is good any more.
    void forget() { confirmations_.forget(); }

    // Presses of ids that name no working button, since the start.
    std::size_t unknownPresses() const { return unknownPresses_; }

    // Where the actions reach the system; tests replace the power calls.
    ButtonSeams seams;

  private:
    const ButtonDefinition* working(int id) const;

    ButtonStore store_;
    ButtonList buttons_;
    phonelink::ButtonConfirmations confirmations_;
    std::size_t unknownPresses_ = 0;
};

}  // namespace app

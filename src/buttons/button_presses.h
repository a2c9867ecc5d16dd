// The user's buttons as the link sees them: the list the phone is sent, and the presses and
// confirmations that come back. A press counts only from a sender that talks (the caller asks
// link/talk.h); an id that names no working button does nothing and is counted; a power action
// other than Lock acts only on a confirmation that carries the token of its press, within
// phonelink::ButtonConfirmations::kConfirmMs, once; a second press of a program or an address
// within kRepeatMs of the one that started it does nothing. An action that does nothing is
// answered with its reason. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "buttons/button_actions.h"
#include "buttons/button_store.h"
#include "buttons/phone_buttons.h"
#include "desktop/launch_program.h"
#include "link/button_press.h"

namespace app {

// 24 bits or more from the system's random source (BCryptGenRandom); nothing when it fails.
std::optional<std::uint32_t> systemRandom();

// How a press or a confirmation is answered; an empty way drops its lines.
struct ButtonReplies {
    // {"type":"confirm",...}: the token of a press that needs a confirmation, at once.
    std::function<void(std::string)> confirm;
    // {"type":"failed",...}: the action did nothing. At once, or for a program or an address once
    // the system has answered; always on the main thread, and never after the ButtonPresses is
    // gone.
    std::function<void(std::string)> failed;
};

class ButtonPresses {
  public:
    // A double tap, or a press the link repeated, starts a program or opens an address once.
    static constexpr std::uint64_t kRepeatMs = 1000;

    explicit ButtonPresses(ShellRunner& shell, ButtonStore store = ButtonStore(),
                           phonelink::ButtonConfirmations::Random random = systemRandom);
    ButtonPresses(const ButtonPresses&) = delete;
    ButtonPresses& operator=(const ButtonPresses&) = delete;

    // Reads the stored buttons again; a token issued before is worthless from now on.
    void reload();
    const ButtonList& buttons() const { return buttons_; }
    const ButtonStore& store() const { return store_; }

    // {"type":"buttons",...} of the working buttons in their order.
    std::string listLine() const;

    // A press from a sender that talks, at now (the link's steady clock). A button that needs a
    // confirmation gets its token through replies.confirm (or, with no token to be had, a
    // failure); any other acts at once.
    void press(int id, std::uint64_t now, const ButtonReplies& replies);
    // A confirmation from a sender that talks: acts when it carries the token of the latest press.
    void confirm(int id, std::uint32_t token, std::uint64_t now, const ButtonReplies& replies);
    // The sender is gone or a new one said hello: no token is good any more.
    void forget() { confirmations_.forget(); }

    // Presses of ids that name no working button, since the start.
    std::size_t unknownPresses() const { return unknownPresses_; }

    // Where the program buttons, and code 00 through the command handler, start programs.
    ProgramLauncher& launcher() { return launcher_; }

    // Where the actions reach the system; tests replace the power calls.
    ButtonSeams seams;

  private:
    const ButtonDefinition* working(int id) const;
    void act(int id, const ButtonAction& action, std::uint64_t now, const ButtonReplies& replies);

    ButtonStore store_;
    ButtonList buttons_;
    phonelink::ButtonConfirmations confirmations_;
    std::size_t unknownPresses_ = 0;
    ProgramLauncher launcher_;
    // When each program or address button last started its action.
    std::map<int, std::uint64_t> launchedAt_;
    // Held by the answers that come later: gone with this object, so that none comes after it.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

}  // namespace app

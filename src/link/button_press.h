// The rules of the PC's own buttons on the link: how many there are, and the confirmation that a
// power action needs. A press of such a button acts on nothing by itself: Keypilot answers it
// with a one-time token, and only a confirmation that carries the token, for the same button,
// within kConfirmMs, acts, and only once. So no single frame from any sender, and no frame
// replayed later, can sleep, sign out, restart or shut down the PC. Portable: the rules are
// tested without Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "link/owning_thread.h"

namespace phonelink {

// The most buttons a user has; the list of them always fits one answer line.
inline constexpr std::size_t kMaxButtons = 30;

class ButtonConfirmations {
  public:
    // How long a token stays good, and the seconds the confirmation line tells the phone.
    static constexpr std::uint64_t kConfirmMs = 3000;
    static constexpr int kConfirmSeconds = 3;

    // The source of the tokens: 24 bits or more of unpredictable value for each (the system's
    // random source in Keypilot), of which the low 24 bits are used; nothing when it failed.
    using Random = std::function<std::optional<std::uint32_t>()>;

    explicit ButtonConfirmations(Random random);

    // A press of a button that needs a confirmation, at now (milliseconds of a steady clock): its
    // token, or nothing when the random source failed (a token that could be guessed is worse than
    // none). One token is good at a time: a new press makes the one before worthless.
    std::optional<std::uint32_t> issue(int button, std::uint64_t now);
    // Whether this confirmation acts: the token of the latest press, for its button, within
    // kConfirmMs. A token acts once, and any confirmation that does not act makes it worthless
    // too: one guess per press.
    bool confirm(int button, std::uint32_t token, std::uint64_t now);
    // The sender is gone or the port closed: no token is good any more.
    void forget();

  private:
    struct Issued {
        int button;
        std::uint32_t token;
        std::uint64_t at;
    };
    Random random_;
    std::optional<Issued> issued_;
    OwningThread owner_;
};

}  // namespace phonelink

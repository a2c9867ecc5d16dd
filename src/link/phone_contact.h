// When the phone was last heard on the link: the one place that knows it. The tray, the settings
// window and the phone-setup window read it from here; Keypilot's receive path writes it.
// Times are milliseconds of one steady clock (Keypilot passes GetTickCount64()).
#pragma once

#include <cassert>
#include <cstdint>
#include <optional>

#include "link/owning_thread.h"

namespace phonelink {

class PhoneContact {
  public:
    // A page that speaks version 2 says it is there every 2 s: after this much silence (two
    // signs missed, with room for a slow link) it has gone.
    static constexpr std::uint64_t kPingingSilenceMs = 5000;
    // A sender that never says it is there (a terminal app, a page of version 1) speaks only when
    // its user presses something; it counts as there for this long after its last valid chunk,
    // so that occasional presses keep the state steady.
    static constexpr std::uint64_t kQuietSilenceMs = 120000;

    // A valid chunk came at nowMs; pinged: it held the phone's sign of life.
    void heard(std::uint64_t nowMs, bool pinged);
    // The port closed or changed: whatever is heard next is a new phone.
    void forget();

    // When the phone was last heard since the port opened; nothing when it has not been.
    std::optional<std::uint64_t> lastHeard() const {
        assert(owner_.isCurrent());
        return lastHeard_;
    }
    // Whether it was heard at sinceMs or later.
    bool heardSince(std::uint64_t sinceMs) const {
        const auto last = lastHeard();
        return last && *last >= sinceMs;
    }
    // Whether the phone counts as there at nowMs: heard, and silent for less than its window
    // (kPingingSilenceMs once it has sent a sign of life, kQuietSilenceMs until then).
    bool present(std::uint64_t nowMs) const;

  private:
    std::optional<std::uint64_t> lastHeard_;
    bool pinging_ = false;
    OwningThread owner_;
};

}  // namespace phonelink

#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace phonelink {
// One way the phone's bytes reach Keypilot and its answers go back: a COM port today.
// Everything above it (the reader, the talk rules, the program) knows only this.
class Carrier {
  public:
    virtual ~Carrier() = default;
    // Starts writing these bytes; returns at once and never blocks the caller's thread. At most
    // one write is under way: a send while one is under way replaces any bytes not yet started
    // (callers send whole messages; the newest state wins). The outcome comes to onSent.
    virtual void send(std::string bytes) = 0;
    // Runs on the owner's (UI) thread when a write has ended: true when all its bytes went,
    // false when it was given up (not done within kWriteTimeoutMs) or failed.
    std::function<void(bool ok)> onSent;
};
inline constexpr std::uint64_t kWriteTimeoutMs = 2000;
}  // namespace phonelink

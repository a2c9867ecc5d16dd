// The way out of the link, beside the chunks that come in: the bytes Keypilot sends the phone.
// Portable, so the rules of who gets answers are tested without a port.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace phonelink {

// How a send ended.
enum class SendOutcome {
    // All its bytes went.
    Written,
    // The link refused them, there was no link to write to, or a newer send took their place
    // before they started.
    Failed,
    // The far end did not take them within kWriteTimeoutMs.
    GivenUp,
    // The link closed (Keypilot closed it, or the far end went) before they had all gone.
    Closed,
};

// One way the phone's bytes reach Keypilot and its answers go back: a COM port, Keypilot's own
// Bluetooth service. Everything above it (the reader, the talk rules, the program) knows only
// this.
//
// Every send gets exactly one outcome, whatever ends it, and never from inside send: a caller
// that waits for it is never left waiting, and a talk that ends with its link starts again with
// the next hello. A write that was given up or failed may have left part of a line at the far end:
// the carrier starts its next write on that link with a line end, so that the part is a line of
// its own, which the phone drops as garbage, and the line after it comes whole.
class Carrier {
  public:
    virtual ~Carrier() = default;
    // Starts writing these bytes; returns at once and never blocks the caller's thread. At most
    // one write is under way: bytes sent while one is under way wait for it, and a newer send
    // takes the place of bytes still waiting (that earlier send fails). The outcome comes to
    // onSent.
    virtual void send(std::string bytes) = 0;
    // Runs on the owner's (UI) thread, once for each send.
    std::function<void(SendOutcome outcome)> onSent;
};

// A write the far end has not taken within this long is given up: a Bluetooth link can accept a
// write and never finish it once the phone has gone.
inline constexpr std::uint64_t kWriteTimeoutMs = 2000;

}  // namespace phonelink

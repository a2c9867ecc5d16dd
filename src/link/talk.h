// Whether Keypilot talks to the phone, and what it has to say. It talks only to a sender that said
// hello on this connection, and only while that sender counts as there (PhoneContact), so that a
// terminal app or an older page, which never says hello, never gets a byte it did not ask for.
// A write that is given up, the port's close, or the sender falling silent ends the talk; only a
// new hello starts it again.
//
// What waits to be sent is the latest state only: one line of each kind, a newer one replacing one
// not yet sent, and the kinds in this order: the hello answer, the list of the PC's buttons, the
// answer to a button's press that needs a confirmation, the volume state. With at most one write
// under way, a phone that reads slowly or not at all holds back a few lines, never a queue.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "link/carrier.h"
#include "link/owning_thread.h"
#include "link/phone_contact.h"

namespace phonelink {

class PhoneTalk {
  public:
    // contact: the caller's clock of the phone, fed with every valid chunk (a hello counts as a
    // sign of life); carrier: where the lines go, whose onSent the caller hands to sent(). Both
    // outlive this. now: the steady clock contact is judged by, in milliseconds.
    PhoneTalk(const PhoneContact& contact, Carrier& carrier, std::function<std::uint64_t()> now);

    // A hello came (and was heard): talking starts afresh, and answer is sent before anything
    // else still waiting.
    void hello(std::string answer);
    // The lines below replace one of their kind not yet sent; each is dropped when not talking.
    // The list of the PC's buttons (after a hello's answer, and whenever the list changes).
    void buttons(std::string line);
    // The answer to a press that needs a confirmation.
    void confirmation(std::string line);
    // A new volume state for the phone.
    void volumeState(std::string line);
    // Talking stops when the sender no longer counts as there. Anything to be sent asks this
    // first; the owner also asks now and then, so that a silent phone's talk ends on time.
    void check();
    // The port closed (or the owner gives up): talking stops and nothing waits.
    void stop();
    // The carrier's outcome of the write under way. A write given up ends the talk it was
    // started for; a later hello's talk goes on.
    void sent(bool ok);

    bool talking() const { return talking_; }
    bool writing() const { return writing_; }

  private:
    // The kinds of line that wait, in the order they go.
    enum Kind : std::size_t { kAnswer, kButtons, kConfirmation, kVolume, kKinds };
    void queue(Kind kind, std::string line);
    void sendNext();

    const PhoneContact& contact_;
    Carrier& carrier_;
    std::function<std::uint64_t()> now_;
    bool talking_ = false;
    // Each hello starts a talk of its own; a write belongs to the talk it was started in.
    std::uint64_t talk_ = 0;
    std::uint64_t writeTalk_ = 0;
    bool writing_ = false;
    std::array<std::optional<std::string>, kKinds> waiting_;
    OwningThread owner_;
};

}  // namespace phonelink

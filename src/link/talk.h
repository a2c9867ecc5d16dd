// Whether Keypilot talks to the phone, and what it has to say. It talks only to a sender that said
// hello on this connection, and only while hellos or signs of life (PI) keep coming less than
// kSilenceMs apart: a code or another frame neither starts a talk nor keeps one going, so a
// terminal app or an older page, which never says hello, never gets a byte it did not ask for.
// The silence is judged when a chunk arrives, before it acts, and on the owner's tick. A write
// that is given up or fails, the link's close, or the silence end the talk; only a new hello
// starts it again.
//
// What waits to be sent is the latest state only: one line of each kind, a newer one replacing one
// not yet sent, and the kinds in this order: the hello answer, the list of the PC's buttons, the
// answer to a button's press that needs a confirmation, a button's failure, the volume state. The
// hello answer, the list and the volume state are built when they go, from the owner's current
// values, so a thousand hellos cost one answer. With at most one write under way, a phone that
// reads slowly or not at all holds back a few lines, never a queue.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "link/carrier.h"
#include "link/owning_thread.h"

namespace phonelink {

class PhoneTalk {
  public:
    // Hellos and signs of life this far apart end the talk: two of the page's signs missed, with
    // room for a slow link.
    static constexpr std::uint64_t kSilenceMs = 5000;

    // The lines built when they go, from the owner's values as they are then.
    struct Lines {
        std::function<std::string()> helloAnswer;
        std::function<std::string()> buttons;
        std::function<std::string()> volumeState;
    };

    // carrier: where the lines go; the owner hands its outcomes to sent(). It outlives this.
    PhoneTalk(Carrier& carrier, Lines lines);

    // A hello at nowMs (the owner's steady clock, in milliseconds): talking starts afresh, and its
    // answer, then the list of buttons, go before anything else still waiting.
    void hello(std::uint64_t nowMs);
    // A sign of life at nowMs keeps the talk going.
    void sign(std::uint64_t nowMs);
    // Ends a talk whose last hello or sign came kSilenceMs or more before nowMs. A clock that went
    // back is no silence.
    void check(std::uint64_t nowMs);
    // The lines below wait for their turn while talking, and are dropped otherwise.
    // The list of the PC's buttons changed.
    void buttonsChanged();
    // The answer to a press that needs a confirmation.
    void confirmation(std::string line);
    // A button's action failed.
    void failure(std::string line);
    // The volume changed.
    void volumeChanged();
    // The link closed, or the owner gives up: talking stops and nothing waits. A write under way
    // is the carrier's, whose outcome still comes.
    void stop();
    // The carrier's outcome of the write under way. One that did not go ends the talk it was
    // started for; a later hello's talk goes on.
    void sent(SendOutcome outcome);

    bool talking() const { return talking_; }
    bool writing() const { return writing_; }
    // Tells one talk from the next: it changes with every hello.
    std::uint64_t talkNumber() const { return talk_; }

  private:
    // The kinds of line that wait, in the order they go.
    enum Kind : std::size_t { kAnswer, kButtons, kConfirmation, kFailure, kVolume, kKinds };
    void queue(Kind kind, std::string line);
    void sendNext();
    std::string build(Kind kind);

    Carrier& carrier_;
    Lines lines_;
    bool talking_ = false;
    std::uint64_t lastSign_ = 0;
    // Each hello starts a talk of its own; a write belongs to the talk it was started in.
    std::uint64_t talk_ = 0;
    std::uint64_t writeTalk_ = 0;
    bool writing_ = false;
    // What waits, by kind; an empty line of a built kind is built when it goes.
    std::array<std::optional<std::string>, kKinds> waiting_;
    OwningThread owner_;
};

}  // namespace phonelink

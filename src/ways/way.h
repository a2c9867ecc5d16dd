// One way a phone comes in (the COM port, Keypilot's own Bluetooth service, any later one): its
// carrier, and everything kept of the phone on it: the reader of its chunks with the time spent
// acting on them, the clock of when the phone was last heard, and the talk with a phone that said
// hello, whose volume states go at most every kUpdateIntervalMs while a slider is dragged. Nothing
// here knows which carrier it is, and nothing of one way is seen by another: a frame half
// received on one is never finished by another, and answers go back only the way their hello
// came. What is one for the whole PC (the held button, a press's token, the volume, the buttons)
// is the owner's, which acts on the messages. Main thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/owned_window.h"
#include "i18n/ui_text.h"
#include "link/link_protocol.h"
#include "link/phone_contact.h"
#include "link/talk.h"
#include "ways/link_status.h"
#include "ways/way_carrier.h"

namespace app {

// What the tip says after "Keypilot - COM5: " while a way is open and no phone is heard.
inline constexpr const wchar_t* kWaitingForPhone = uiText(L"ожидание телефона");

class Way {
  public:
    // A volume state goes at once, then at most one every this long, the last one always.
    static constexpr UINT kUpdateIntervalMs = 100;

    class Listener {
      public:
        // A valid chunk was heard on the way (noise is not).
        virtual void onHeard(Way& way) = 0;
        // A valid chunk's messages, to be acted on in order. The way's own (a hello, a sign of
        // life) go to way.onTalkMessage in their place, so that a press counts only after a
        // hello that came before it.
        virtual void onMessages(Way& way, const std::vector<phonelink::Message>& messages) = 0;
        // The connection with whoever was on the way ended: the way has forgotten its phone.
        virtual void onEnded(Way& way) = 0;
        // The carrier's state or texts changed.
        virtual void onChanged(Way& way) = 0;

      protected:
        ~Listener() = default;
    };

    // lines: what the talk says of the PC, built when it goes; clock: the steady clock, in
    // milliseconds, that the phone's silence is judged by. Makes the window of the volume's
    // updates; raises when it cannot.
    Way(std::unique_ptr<WayCarrier> carrier, Listener& listener, phonelink::PhoneTalk::Lines lines,
        std::function<std::uint64_t()> clock);
    ~Way();
    Way(const Way&) = delete;
    Way& operator=(const Way&) = delete;

    WayCarrier& carrier() { return *carrier_; }
    const WayCarrier& carrier() const { return *carrier_; }
    // What the tray shows of the way now.
    LinkStatus status() const;
    const phonelink::PhoneContact& contact() const { return contact_; }

    // A hello or a sign of life among the messages being acted on.
    void onTalkMessage(const phonelink::Message& message);
    const phonelink::PhoneTalk& talk() const { return talk_; }
    // For the lines about a press (its confirmation, its failure).
    phonelink::PhoneTalk& talk() { return talk_; }
    bool talking() const { return talk_.talking(); }

    // The master volume or mute may have changed: its state goes, if a phone talks, within
    // kUpdateIntervalMs.
    void volumeChanged();
    // The list of the PC's buttons changed.
    void buttonsChanged() { talk_.buttonsChanged(); }
    // The owner's tick: a talk whose phone fell silent ends on time.
    void tick();

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<Way>(HWND, UINT, WPARAM, LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void receive(const std::string& chunk);
    void ended();
    void onUpdateTimer();
    // No talk: no volume update pending.
    void quiet();

    std::unique_ptr<WayCarrier> carrier_;
    Listener& listener_;
    std::function<std::uint64_t()> clock_;
    phonelink::LinkReader reader_;
    // The time spent acting on chunks since the link opened, which the reader's clock leaves
    // out: a frame's second half is late only for waiting on the link, not on Keypilot.
    std::uint64_t actingMs_ = 0;
    // When the chunk being acted on arrived.
    std::uint64_t arrived_ = 0;
    phonelink::PhoneContact contact_;
    phonelink::PhoneTalk talk_;
    framework::OwnedWindow window_;
    bool updating_ = false;  // a state went less than kUpdateIntervalMs ago
    bool changed_ = false;   // and a change has come since
};

}  // namespace app

// What Keypilot tells a phone that said hello (link/talk.h decides whether it may): the answer,
// with the PC's name, the language of Keypilot's own texts and the master volume, and the master
// volume again whenever it changes, by the phone or on the PC. While a slider is dragged on the
// PC the changes come in floods: a state goes at once, then at most one every kUpdateIntervalMs,
// the last one always. Main thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "desktop/master_volume.h"
#include "framework/handle.h"
#include "framework/owned_window.h"
#include "link/answer.h"
#include "link/carrier.h"
#include "link/phone_contact.h"
#include "link/talk.h"
#include "mixer/audio_mixer.h"

namespace app {

// The language Keypilot's own texts are shown in: Russian when they stand as written, English
// when the translation layer gives them in another language, as it does for every language but
// Russian.
phonelink::TextLanguage ownTextLanguage();

class PhoneAnswers {
  public:
    static constexpr UINT kUpdateIntervalMs = 100;

    // contact: Keypilot's clock of the phone, fed before each call here; carrier: where the lines
    // go (its onSent is this object's until it goes); mixer: the master volume where Core Audio
    // cannot give it; now: the clock contact is judged by. All outlive this.
    PhoneAnswers(const phonelink::PhoneContact& contact, phonelink::Carrier& carrier,
                 mixer::AudioMixer& mixer, std::function<std::uint64_t()> now,
                 EndpointOpener openEndpoint = &openDefaultPlaybackEndpoint);
    ~PhoneAnswers();
    PhoneAnswers(const PhoneAnswers&) = delete;
    PhoneAnswers& operator=(const PhoneAnswers&) = delete;

    // A hello was read: the talk starts and the answer goes, and Core Audio's notices of the
    // default device are watched while it lasts.
    void hello();
    // The master volume or mute may have changed: its state goes to the phone, if one is talked
    // to, within kUpdateIntervalMs.
    void volumeChanged();
    // Ends the talk with a phone that no longer counts as there (the status tick asks).
    void check();
    // The port closed: the talk ends.
    void portClosed();

    const phonelink::PhoneTalk& talk() const { return talk_; }
    // For the other lines the talk carries (the user's buttons, a press's confirmation).
    phonelink::PhoneTalk& talk() { return talk_; }

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<PhoneAnswers>(HWND, UINT, WPARAM,
                                                                          LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void sendState();
    void onUpdateTimer();
    // No talk: no updates pending and no device watched.
    void quiet();

    phonelink::Carrier& carrier_;
    mixer::AudioMixer& mixer_;
    EndpointOpener openEndpoint_;
    phonelink::PhoneTalk talk_;
    framework::OwnedWindow window_;
    // The default device as it was at the hello, whose notices come while the talk lasts.
    std::unique_ptr<MasterEndpoint> watched_;
    bool updating_ = false;  // a state went less than kUpdateIntervalMs ago
    bool changed_ = false;   // and a change has come since
};

}  // namespace app

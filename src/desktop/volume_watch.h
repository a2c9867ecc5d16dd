// The master volume as the phone is told it, kept up to date rather than read for each answer:
// read once when watching starts, and again when the sound card's mixer or Core Audio tells of a
// change, or Keypilot has made one. A flood of notices while a slider is dragged costs one read
// per turn of the message loop, never one per answer. Main thread.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>

#include "desktop/master_volume.h"
#include "framework/owned_window.h"
#include "link/answer.h"
#include "mixer/audio_mixer.h"

namespace app {

class VolumeWatch {
  public:
    // mixer: the master volume where Core Audio cannot give it, and whose notices the owner hands
    // to changed(); openEndpoint: the default playback device, whose notices come while watching.
    // Both outlive this. Makes the window the notices come to; raises when it cannot.
    explicit VolumeWatch(mixer::AudioMixer& mixer,
                         EndpointOpener openEndpoint = &openDefaultPlaybackEndpoint);
    ~VolumeWatch();
    VolumeWatch(const VolumeWatch&) = delete;
    VolumeWatch& operator=(const VolumeWatch&) = delete;

    // While some phone talks, Core Audio's notices of the default device are watched, and the
    // state read when watching starts. The device is opened afresh each time it starts, so that
    // a default device changed meanwhile is the one watched.
    void watch(bool on);
    bool watching() const { return watching_; }
    // The state as last read: nothing when the PC has no master volume.
    const std::optional<phonelink::VolumeState>& state() const { return state_; }
    // The volume may have changed (a notice, or Keypilot's own change): it is read again on the
    // next turn of the message loop, once however many changes come meanwhile.
    void changed();
    // Reads it now.
    void read();

    // Main thread: a read found another state than the one before.
    std::function<void()> onChange;

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<VolumeWatch>(HWND, UINT, WPARAM,
                                                                         LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    mixer::AudioMixer& mixer_;
    EndpointOpener openEndpoint_;
    framework::OwnedWindow window_;
    std::unique_ptr<MasterEndpoint> watched_;
    bool watching_ = false;
    bool readPending_ = false;
    std::optional<phonelink::VolumeState> state_;
};

}  // namespace app

// One step of the master volume ("volume up" / "volume down" from the phone), the master level
// set, the master mute toggled, and the master volume read for the phone: the default playback
// device through Core Audio, or the audio mixer where Core Audio cannot do it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "link/answer.h"
#include "mixer/audio_mixer.h"

namespace app {

enum class VolumeDirection { Up, Down };

// Channel levels on the mixer's scale, 0 to 65535.
struct ChannelLevels {
    int32_t left;
    int32_t right;
    bool operator==(const ChannelLevels&) const = default;
};

inline constexpr int32_t kVolumeStep = 3000;
inline constexpr int32_t kMaxVolume = 65535;

// The levels one step leads to, each held to 0..65535; nothing when the left channel is already
// at the end the step goes to (the right channel follows the left one's test).
std::optional<ChannelLevels> steppedLevels(VolumeDirection direction, ChannelLevels current);

// The part of a playback device's volume the step needs. Each call answers whether the device
// did what was asked. Levels are scalars from 0.0 to 1.0.
class MasterEndpoint {
  public:
    virtual ~MasterEndpoint() = default;
    virtual bool channelCount(uint32_t& count) = 0;
    virtual bool channelLevel(uint32_t channel, float& level) = 0;
    virtual bool setChannelLevel(uint32_t channel, float level) = 0;
    virtual bool getMute(bool& muted) = 0;
    virtual bool setMute(bool mute) = 0;
    // Calls changed whenever the device's volume or mute changes, from a thread of the system's,
    // until the endpoint goes. False when the device cannot tell.
    virtual bool watch(const std::function<void()>& /*changed*/) { return false; }
};

// Gives the endpoint of the current default playback device, or nullptr when there is none.
using EndpointOpener = std::function<std::unique_ptr<MasterEndpoint>()>;

// The system's default playback device (console role) through Core Audio. Initialises COM on
// the calling thread for the endpoint's lifetime when the thread has not done so itself.
std::unique_ptr<MasterEndpoint> openDefaultPlaybackEndpoint();

// Reads the levels, runs processMessages, then sets the stepped levels and switches mute off.
// When Core Audio is missing or refuses to read the levels, the same is done through
// fallbackMixer's first destination line. A refused write ends the step where it is, without
// the mixer: one code, one step. Raises nothing: a step that cannot be done (no line, or the
// mixer's line gone while messages were processed) has no effect.
void stepMasterVolume(VolumeDirection direction, mixer::AudioMixer& fallbackMixer,
                      const std::function<void()>& processMessages);
void stepMasterVolume(VolumeDirection direction, mixer::AudioMixer& fallbackMixer,
                      const std::function<void()>& processMessages,
                      const EndpointOpener& openEndpoint);

// Toggles the master mute: Core Audio's endpoint mute, or the mute of fallbackMixer's first
// destination line when Core Audio is missing or refuses to read it. Raises nothing: without a
// mute to toggle nothing happens.
void toggleMasterMute(mixer::AudioMixer& fallbackMixer);
void toggleMasterMute(mixer::AudioMixer& fallbackMixer, const EndpointOpener& openEndpoint);

// Sets every channel of the master volume to percent (0 to 100) of its range, mute as it is:
// Core Audio's levels, or fallbackMixer's first destination when Core Audio refuses the first
// channel. An error the mixer raises is dropped.
void setMasterLevel(int percent, mixer::AudioMixer& fallbackMixer,
                    const EndpointOpener& openEndpoint);

// The master volume as the phone shows it, read where the step and the toggle act: the level of
// the first channel from Core Audio or else the mixer, the mute from Core Audio or else the
// mixer. Nothing when neither has a master volume.
std::optional<phonelink::VolumeState> readMasterVolume(mixer::AudioMixer& fallbackMixer,
                                                       const EndpointOpener& openEndpoint);

}  // namespace app

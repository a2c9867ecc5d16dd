// One step of the master volume ("volume up" / "volume down" from the phone), and the master
// mute toggled: the default playback device through Core Audio, or the audio mixer where Core
// Audio cannot do it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

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

}  // namespace app

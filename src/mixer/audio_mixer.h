// The audio mixer: opens one sound-card mixer, keeps its topology (destination lines, the
// source lines connected to them, the controls of every line) as read once at opening, passes
// the driver's change notifications on, and reads and writes volume and mute of a line.
// Main thread only.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/handle.h"
#include "framework/owned_window.h"
#include "mixer/mixer_driver.h"
#include "mixer/pointer_list.h"

namespace mixer {

class AudioMixer;

// The control descriptions of one line, in the driver's order. Empty when the query failed.
class MixerControls {
  public:
    MixerControls(AudioMixer& mixer, const MIXERLINEW& line);
    MixerControls(const MixerControls&) = delete;
    MixerControls& operator=(const MixerControls&) = delete;

    int32_t count() const { return list_.count(); }
    // nullptr at or beyond count().
    const MIXERCONTROLW* item(int32_t index) const { return list_.item(index); }

  private:
    std::vector<MIXERCONTROLW> block_;
    PointerList<const MIXERCONTROLW*> list_;
};

class MixerConnection {
  public:
    MixerConnection(AudioMixer& mixer, const MIXERLINEW& line);

    AudioMixer& mixer() const { return mixer_; }
    const MIXERLINEW& lineInfo() const { return lineInfo_; }
    const MixerControls& controls() const { return controls_; }

  private:
    AudioMixer& mixer_;
    MIXERLINEW lineInfo_;
    MixerControls controls_;
};

// The source lines of one destination that could be queried; positions are list positions.
class MixerConnections {
  public:
    MixerConnections(AudioMixer& mixer, const MIXERLINEW& destination);

    AudioMixer& mixer() const { return mixer_; }
    int32_t count() const { return list_.count(); }
    const MixerConnection* item(int32_t index) const { return list_.item(index); }

  private:
    AudioMixer& mixer_;
    PointerList<std::unique_ptr<MixerConnection>> list_;
};

class MixerDestination {
  public:
    MixerDestination(AudioMixer& mixer, const MIXERLINEW& line);

    AudioMixer& mixer() const { return mixer_; }
    const MIXERLINEW& lineInfo() const { return lineInfo_; }
    const MixerControls& controls() const { return controls_; }
    const MixerConnections& connections() const { return connections_; }

  private:
    AudioMixer& mixer_;
    MIXERLINEW lineInfo_;
    MixerConnections connections_;
    MixerControls controls_;
};

// The destination lines that could be queried; a destination whose query failed leaves no gap.
class MixerDestinations {
  public:
    MixerDestinations() = default;  // no device
    explicit MixerDestinations(AudioMixer& mixer);
    MixerDestinations(const MixerDestinations&) = delete;
    MixerDestinations& operator=(const MixerDestinations&) = delete;

    int32_t count() const { return list_.count(); }
    const MixerDestination* item(int32_t index) const { return list_.item(index); }

  private:
    PointerList<std::unique_ptr<MixerDestination>> list_;
};

class AudioMixer {
  public:
    // mixerH: the handle the driver's message carries; id: the line (or control) identifier.
    using MixerChange = std::function<void(AudioMixer& sender, HMIXER mixerH, uint32_t id)>;

    // Opens the first device of the system's mixer, if there is one.
    AudioMixer();
    // The same through another driver.
    explicit AudioMixer(std::unique_ptr<MixerDriver> driver);
    AudioMixer(const AudioMixer&) = delete;
    AudioMixer& operator=(const AudioMixer&) = delete;
    ~AudioMixer();

    uint32_t driverVersion() const { return driverVersion_; }
    uint16_t productId() const { return productId_; }
    int32_t numberOfLine() const { return numberOfLine_; }
    const std::wstring& manufacturer() const { return manufacturer_; }
    const std::wstring& productName() const { return productName_; }

    // -1 while no device is open.
    int32_t mixerId() const { return mixerId_; }
    // Opens device id (again, if it is the open one) and rebuilds the tree; a value outside
    // 0 .. mixerCount() - 1 changes nothing.
    void setMixerId(int32_t id);

    // Counted once, at construction.
    int32_t mixerCount() const { return mixerCount_; }
    const MixerDestinations& destinations() const { return *destinations_; }
    HMIXER mixerHandle() const { return handle_.get(); }
    const MIXERCAPSW& mixerCaps() const { return caps_; }
    HWND notifyWindow() const { return notifyWindow_.get(); }
    MixerDriver& driver() const { return *driver_; }

    MixerChange onLineChange;
    MixerChange onControlChange;

    // Volume and mute of a line: a destination by list position, and a source connection of it
    // by position or -1 for the destination line itself. -1 in an output means nothing was
    // found for it. False only when there is no such destination. A negative destination or a
    // connection below -1 raises ListError.
    bool getVolume(int32_t destinationIndex, int32_t connectionIndex, int32_t& left, int32_t& right,
                   int32_t& mute, bool& stereo, bool& volumeDisabled, bool& muteDisabled,
                   bool& muteIsSelect);
    // -1 in left leaves the volume alone, in right gives the second channel left's value, in
    // mute leaves the mute state alone. For a source listed in the destination's select
    // control, mute 1 makes it the only selected source. Values go to the driver unchanged.
    bool setVolume(int32_t destinationIndex, int32_t connectionIndex, int32_t left, int32_t right,
                   int32_t mute);

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<AudioMixer>(HWND, UINT, WPARAM, LPARAM);
    framework::OwnedWindow& ownedWindow() { return notifyWindow_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void createNotifyWindow();
    void closeMixer();

    std::unique_ptr<MixerDriver> driver_;
    framework::OwnedWindow notifyWindow_;
    int32_t mixerCount_ = 0;
    int32_t mixerId_ = -1;
    MixerHandle handle_;
    MIXERCAPSW caps_{};
    std::wstring manufacturer_;
    std::wstring productName_;
    uint32_t driverVersion_ = 0;
    uint16_t productId_ = 0;
    int32_t numberOfLine_ = 0;
    std::unique_ptr<MixerDestinations> destinations_;
};

}  // namespace mixer

#include "desktop/master_volume.h"

#include <windows.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <vector>

#include "framework/com_apartment.h"
#include "framework/handle.h"

namespace app {
namespace {

int32_t heldToRange(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, 0, kMaxVolume));
}

int32_t toMixerScale(float level) {
    return heldToRange(std::llround(static_cast<double>(level) * kMaxVolume));
}

float toScalar(int32_t value) {
    return static_cast<float>(value) / kMaxVolume;
}

// Hands Core Audio's change notices to a function. It lives as long as the endpoint that
// registered it, which unregisters it first, so its count of references only answers COM.
class VolumeNotices final : public IAudioEndpointVolumeCallback {
  public:
    explicit VolumeNotices(std::function<void()> changed) : changed_(std::move(changed)) {}
    VolumeNotices(const VolumeNotices&) = delete;
    VolumeNotices& operator=(const VolumeNotices&) = delete;
    virtual ~VolumeNotices() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IAudioEndpointVolumeCallback)) {
            *object = static_cast<IAudioEndpointVolumeCallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA) override {
        changed_();
        return S_OK;
    }

  private:
    std::function<void()> changed_;
    std::atomic<ULONG> references_{1};
};

class CoreAudioEndpoint final : public MasterEndpoint {
  public:
    CoreAudioEndpoint() = default;
    CoreAudioEndpoint(const CoreAudioEndpoint&) = delete;
    CoreAudioEndpoint& operator=(const CoreAudioEndpoint&) = delete;
    ~CoreAudioEndpoint() override {
        if (notices_) {
            volume_->UnregisterControlChangeNotify(notices_.get());
        }
    }

    // False when there is no default playback device or it offers no endpoint volume.
    bool open() {
        if (!com_.usable()) {
            return false;
        }
        framework::ComPtr<IMMDeviceEnumerator> enumerator;
        if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                    __uuidof(IMMDeviceEnumerator), enumerator.putVoid()))) {
            return false;
        }
        framework::ComPtr<IMMDevice> device;
        if (FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.put()))) {
            return false;
        }
        return SUCCEEDED(device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                          volume_.putVoid())) &&
               volume_;
    }

    bool channelCount(uint32_t& count) override {
        UINT n = 0;
        if (FAILED(volume_->GetChannelCount(&n))) {
            return false;
        }
        count = n;
        return true;
    }
    bool channelLevel(uint32_t channel, float& level) override {
        return SUCCEEDED(volume_->GetChannelVolumeLevelScalar(channel, &level));
    }
    bool setChannelLevel(uint32_t channel, float level) override {
        return SUCCEEDED(volume_->SetChannelVolumeLevelScalar(channel, level, nullptr));
    }
    bool getMute(bool& muted) override {
        BOOL value = FALSE;
        if (FAILED(volume_->GetMute(&value))) {
            return false;
        }
        muted = value != FALSE;
        return true;
    }
    bool setMute(bool mute) override { return SUCCEEDED(volume_->SetMute(mute, nullptr)); }
    bool watch(const std::function<void()>& changed) override {
        auto notices = std::make_unique<VolumeNotices>(changed);
        if (notices_ || FAILED(volume_->RegisterControlChangeNotify(notices.get()))) {
            return false;
        }
        notices_ = std::move(notices);
        return true;
    }

  private:
    // Declared first so that it is undone after the interface is released.
    framework::ComApartment com_;
    framework::ComPtr<IAudioEndpointVolume> volume_;
    std::unique_ptr<VolumeNotices> notices_;
};

// The step through Core Audio. False when it refuses to read the levels, so that the mixer
// should do the step instead. Once the levels have been read and messages processed, the step
// belongs to Core Audio: a refused or failed write just ends it, for a second step through the
// mixer on top of a half-done one would step twice.
bool stepThroughEndpoint(MasterEndpoint& endpoint, VolumeDirection direction,
                         const std::function<void()>& processMessages) {
    uint32_t channels = 0;
    if (!endpoint.channelCount(channels) || channels == 0) {
        return false;
    }
    float left = 0;
    float right = 0;
    if (!endpoint.channelLevel(0, left)) {
        return false;
    }
    if (channels == 1) {
        right = left;
    } else if (!endpoint.channelLevel(1, right)) {
        return false;
    }
    if (processMessages) {
        processMessages();
    }
    std::optional<ChannelLevels> next =
        steppedLevels(direction, {toMixerScale(left), toMixerScale(right)});
    if (!next) {
        return true;
    }
    if (!endpoint.setChannelLevel(0, toScalar(next->left))) {
        return true;
    }
    // Channels past the second follow the right one.
    for (uint32_t channel = 1; channel < channels; ++channel) {
        if (!endpoint.setChannelLevel(channel, toScalar(next->right))) {
            return true;
        }
    }
    endpoint.setMute(false);
    return true;
}

void stepThroughMixer(mixer::AudioMixer& mixer, VolumeDirection direction,
                      const std::function<void()>& processMessages) {
    int32_t left = -1, right = -1, mute = -1;
    bool stereo = false, volumeDisabled = false, muteDisabled = false, muteIsSelect = false;
    const bool found = mixer.getVolume(0, -1, left, right, mute, stereo, volumeDisabled,
                                       muteDisabled, muteIsSelect);
    if (processMessages) {
        processMessages();
    }
    std::optional<ChannelLevels> next = steppedLevels(direction, {left, right});
    if (!found || !next) {
        return;
    }
    if (!mixer.setVolume(0, -1, next->left, next->right, 0)) {
        // Dropped: the line went while messages were served; a step that cannot be done has no
        // effect, which the user hears, and nothing else depends on it.
    }
}

}  // namespace

std::optional<ChannelLevels> steppedLevels(VolumeDirection direction, ChannelLevels current) {
    int64_t step = direction == VolumeDirection::Up ? kVolumeStep : -kVolumeStep;
    if (direction == VolumeDirection::Up && current.left >= kMaxVolume) {
        return std::nullopt;
    }
    if (direction == VolumeDirection::Down && current.left <= 0) {
        return std::nullopt;
    }
    return ChannelLevels{heldToRange(int64_t{current.left} + step),
                         heldToRange(int64_t{current.right} + step)};
}

std::unique_ptr<MasterEndpoint> openDefaultPlaybackEndpoint() {
    auto endpoint = std::make_unique<CoreAudioEndpoint>();
    if (!endpoint->open()) {
        return nullptr;
    }
    return endpoint;
}

void stepMasterVolume(VolumeDirection direction, mixer::AudioMixer& fallbackMixer,
                      const std::function<void()>& processMessages) {
    stepMasterVolume(direction, fallbackMixer, processMessages, &openDefaultPlaybackEndpoint);
}

void stepMasterVolume(VolumeDirection direction, mixer::AudioMixer& fallbackMixer,
                      const std::function<void()>& processMessages,
                      const EndpointOpener& openEndpoint) {
    // The device is fetched afresh every time: the user may have switched outputs.
    std::unique_ptr<MasterEndpoint> endpoint = openEndpoint ? openEndpoint() : nullptr;
    bool done = endpoint && stepThroughEndpoint(*endpoint, direction, processMessages);
    if (!done) {
        stepThroughMixer(fallbackMixer, direction, processMessages);
    }
}

void toggleMasterMute(mixer::AudioMixer& fallbackMixer) {
    toggleMasterMute(fallbackMixer, &openDefaultPlaybackEndpoint);
}

void toggleMasterMute(mixer::AudioMixer& fallbackMixer, const EndpointOpener& openEndpoint) {
    std::unique_ptr<MasterEndpoint> endpoint = openEndpoint ? openEndpoint() : nullptr;
    bool muted = false;
    if (endpoint && endpoint->getMute(muted)) {
        // Read, so the toggle belongs to Core Audio: a refused write is not done twice.
        endpoint->setMute(!muted);
        return;
    }
    int32_t left = -1, right = -1, mute = -1;
    bool stereo = false, volumeDisabled = false, muteDisabled = false, muteIsSelect = false;
    if (!fallbackMixer.getVolume(0, -1, left, right, mute, stereo, volumeDisabled, muteDisabled,
                                 muteIsSelect) ||
        mute < 0) {
        return;  // no line, or no mute on it, to toggle
    }
    // -1: the levels stay as they are. The line that was just read is there to write to.
    fallbackMixer.setVolume(0, -1, -1, -1, mute != 0 ? 0 : 1);
}

void setMasterLevel(int percent, mixer::AudioMixer& fallbackMixer,
                    const EndpointOpener& openEndpoint) {
    percent = std::clamp(percent, 0, 100);
    std::unique_ptr<MasterEndpoint> endpoint = openEndpoint ? openEndpoint() : nullptr;
    const float level = static_cast<float>(percent) / 100.0f;
    uint32_t channels = 0;
    if (endpoint && endpoint->channelCount(channels) && channels > 0 &&
        endpoint->setChannelLevel(0, level)) {
        for (uint32_t channel = 1; channel < channels; ++channel) {
            endpoint->setChannelLevel(channel, level);
        }
        return;
    }
    const int32_t value = toMixerScale(level);
    try {
        // -1: the mute stays as it is.
        fallbackMixer.setVolume(0, -1, value, value, -1);
    } catch (const std::exception&) {
        // Dropped: the phone's slider then shows the level that the next state reports.
    }
}

std::optional<phonelink::VolumeState> readMasterVolume(mixer::AudioMixer& fallbackMixer,
                                                       const EndpointOpener& openEndpoint) {
    std::unique_ptr<MasterEndpoint> endpoint = openEndpoint ? openEndpoint() : nullptr;
    std::optional<int32_t> level;
    std::optional<bool> muted;
    uint32_t channels = 0;
    float scalar = 0;
    if (endpoint && endpoint->channelCount(channels) && channels > 0 &&
        endpoint->channelLevel(0, scalar)) {
        level = toMixerScale(scalar);
    }
    if (bool value = false; endpoint && endpoint->getMute(value)) {
        muted = value;
    }
    if (!level || !muted) {
        int32_t left = -1, right = -1, mute = -1;
        bool stereo = false, volumeDisabled = false, muteDisabled = false, muteIsSelect = false;
        fallbackMixer.getVolume(0, -1, left, right, mute, stereo, volumeDisabled, muteDisabled,
                                muteIsSelect);
        if (!level && left >= 0) {
            level = heldToRange(left);
        }
        if (!muted && mute >= 0) {
            muted = mute != 0;
        }
    }
    if (!level) {
        return std::nullopt;
    }
    const auto percent = static_cast<int>(std::lround(*level * 100.0 / kMaxVolume));
    return phonelink::VolumeState{percent, muted.value_or(false)};
}

}  // namespace app

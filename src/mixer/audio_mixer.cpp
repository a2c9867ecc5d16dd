#include "mixer/audio_mixer.h"

#include <algorithm>
#include <optional>
#include <string>

#include "framework/application.h"
#include "framework/owned_window.h"

namespace mixer {
namespace {

constexpr wchar_t kNotifyClassName[] = L"KeypilotMixerNotify";

// Every call names the mixer by the handle mixerOpen gave.
HMIXEROBJ objectOf(const AudioMixer& mixer) {
    return reinterpret_cast<HMIXEROBJ>(mixer.mixerHandle());
}

// A driver that reports absurd channel or item counts gets its control skipped rather than an
// enormous allocation.
constexpr size_t kMaxControlValues = 1 << 16;

bool hasFlag(const MIXERCONTROLW& control, DWORD flag) {
    return (control.fdwControl & flag) != 0;
}

// Channels the request for this control carries on this line.
DWORD channelsFor(const MIXERCONTROLW& control, const MIXERLINEW& line) {
    return hasFlag(control, MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : line.cChannels;
}

DWORD itemsFor(const MIXERCONTROLW& control) {
    return hasFlag(control, MIXERCONTROL_CONTROLF_MULTIPLE) ? control.cMultipleItems : 0;
}

// One request to the driver with a value buffer sized to the control: channels x items values
// (at least two, since a volume write always fills the second channel's slot).
class ControlValues {
  public:
    // Empty (valid() false) when the control asks for more values than is sensible.
    ControlValues(const MIXERCONTROLW& control, DWORD channels, DWORD items) {
        size_t slots = static_cast<size_t>(channels) * std::max<DWORD>(items, 1);
        if (channels > kMaxControlValues || items > kMaxControlValues ||
            slots > kMaxControlValues) {
            return;
        }
        values_.assign(std::max<size_t>(slots, 2), 0);
        request_.cbStruct = sizeof(request_);
        request_.dwControlID = control.dwControlID;
        request_.cChannels = channels;
        request_.cMultipleItems = items;
        request_.cbDetails = sizeof(DWORD);
        request_.paDetails = values_.data();
    }

    bool valid() const { return !values_.empty(); }
    DWORD channels() const { return request_.cChannels; }
    DWORD& operator[](size_t i) { return values_[i]; }
    size_t size() const { return values_.size(); }

    bool read(AudioMixer& mixer) {
        return valid() &&
               mixer.driver().getControlDetails(
                   objectOf(mixer), &request_,
                   MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) == MMSYSERR_NOERROR;
    }
    void write(AudioMixer& mixer) {
        if (valid()) {
            mixer.driver().setControlDetails(objectOf(mixer), &request_,
                                             MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE);
        }
    }

    // Position of the select control's entry for the source line lineId, searched the way the
    // item names are laid out (channels records per item); nothing when the names cannot be
    // read or the source is not listed.
    std::optional<size_t> findSource(AudioMixer& mixer, DWORD lineId) {
        DWORD channels = request_.cChannels;
        DWORD items = request_.cMultipleItems;
        if (!valid() || channels == 0 || items == 0) {
            return std::nullopt;
        }
        std::vector<MIXERCONTROLDETAILS_LISTTEXTW> names(static_cast<size_t>(channels) * items);
        MIXERCONTROLDETAILS request = request_;
        request.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXTW);
        request.paDetails = names.data();
        if (mixer.driver().getControlDetails(
                objectOf(mixer), &request,
                MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_LISTTEXT) != MMSYSERR_NOERROR) {
            return std::nullopt;
        }
        size_t position = channels - 1;
        while (position < items && names[position].dwParam1 != lineId) {
            position += channels;
        }
        if (position < items) {
            return position;
        }
        return std::nullopt;
    }

  private:
    MIXERCONTROLDETAILS request_{};
    std::vector<DWORD> values_;
};

std::wstring manufacturerName(WORD mid) {
    if (mid == 1) {
        return L"Microsoft";
    }
    return std::to_wstring(mid) + L" = Unknown";
}

// The source line at connectionIndex, or null for -1 (the destination itself) and for an index
// the destination does not have.
const MixerConnection* connectionAt(const MixerDestination& destination, int32_t connectionIndex) {
    return connectionIndex == -1 ? nullptr : destination.connections().item(connectionIndex);
}

// Offers the single-item volume and mute controls of the connection's line (the destination's
// own without a connection) to take(control, values, isVolume) in their order, with a request
// sized to the control, until one of each kind has been taken; a kind already done is not
// offered. take answers whether it used the control, so one that fails leaves the next of its
// kind a chance.
template <class Take>
void takeVolumeAndMute(const MixerDestination& destination, const MixerConnection* connection,
                       bool volumeDone, bool muteDone, Take&& take) {
    const MIXERLINEW& line = connection ? connection->lineInfo() : destination.lineInfo();
    const MixerControls& controls = connection ? connection->controls() : destination.controls();
    for (int32_t i = 0; i < controls.count() && (!volumeDone || !muteDone); ++i) {
        const MIXERCONTROLW& control = *controls.item(i);
        bool isVolume = control.dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME && !volumeDone;
        bool isMute = control.dwControlType == MIXERCONTROL_CONTROLTYPE_MUTE && !muteDone;
        if ((!isVolume && !isMute) || hasFlag(control, MIXERCONTROL_CONTROLF_MULTIPLE)) {
            continue;
        }
        ControlValues values(control, channelsFor(control, line), 0);
        if (take(control, values, isVolume)) {
            (isVolume ? volumeDone : muteDone) = true;
        }
    }
}

}  // namespace

MixerControls::MixerControls(AudioMixer& mixer, const MIXERLINEW& line) : block_(line.cControls) {
    if (block_.empty()) {
        return;
    }
    MIXERLINECONTROLSW request{};
    request.cbStruct = sizeof(request);
    request.dwLineID = line.dwLineID;
    request.cControls = line.cControls;
    request.cbmxctrl = sizeof(MIXERCONTROLW);
    request.pamxctrl = block_.data();
    for (MIXERCONTROLW& control : block_) {
        control.cbStruct = sizeof(MIXERCONTROLW);
    }
    if (mixer.driver().getLineControls(objectOf(mixer), &request,
                                       MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ALL) !=
        MMSYSERR_NOERROR) {
        return;
    }
    for (const MIXERCONTROLW& control : block_) {
        list_.add(&control);
    }
}

MixerConnection::MixerConnection(AudioMixer& mixer, const MIXERLINEW& line)
    : mixer_(mixer), lineInfo_(line), controls_(mixer, lineInfo_) {}

MixerConnections::MixerConnections(AudioMixer& mixer, const MIXERLINEW& destination)
    : mixer_(mixer) {
    MIXERLINEW line{};
    for (DWORD source = 0; source < destination.cConnections; ++source) {
        line = MIXERLINEW{};
        line.cbStruct = sizeof(line);
        line.dwDestination = destination.dwDestination;
        line.dwSource = source;
        if (mixer.driver().getLineInfo(objectOf(mixer), &line,
                                       MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE) ==
            MMSYSERR_NOERROR) {
            list_.add(std::make_unique<MixerConnection>(mixer, line));
        }
    }
}

MixerDestination::MixerDestination(AudioMixer& mixer, const MIXERLINEW& line)
    : mixer_(mixer), lineInfo_(line), connections_(mixer, lineInfo_), controls_(mixer, lineInfo_) {}

MixerDestinations::MixerDestinations(AudioMixer& mixer) {
    for (DWORD destination = 0; destination < mixer.mixerCaps().cDestinations; ++destination) {
        MIXERLINEW line{};
        line.cbStruct = sizeof(line);
        line.dwDestination = destination;
        if (mixer.driver().getLineInfo(objectOf(mixer), &line,
                                       MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_DESTINATION) ==
            MMSYSERR_NOERROR) {
            list_.add(std::make_unique<MixerDestination>(mixer, line));
        }
    }
}

AudioMixer::AudioMixer() : AudioMixer(systemMixerDriver()) {}

AudioMixer::AudioMixer(std::unique_ptr<MixerDriver> driver) : driver_(std::move(driver)) {
    createNotifyWindow();
    mixerCount_ = static_cast<int32_t>(driver_->deviceCount());
    mixerId_ = -1;
    if (mixerCount_ <= 0) {
        destinations_ = std::make_unique<MixerDestinations>();
    } else {
        setMixerId(0);
    }
}

AudioMixer::~AudioMixer() {
    closeMixer();
    notifyWindow_.destroy();
}

void AudioMixer::createNotifyWindow() {
    // A message-only window: it needs no place on the desktop, only a queue to post to.
    framework::createOwnedMessageWindow(kNotifyClassName, *this);
}

LRESULT AudioMixer::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != MM_MIXM_LINE_CHANGE && msg != MM_MIXM_CONTROL_CHANGE) {
        return DefWindowProcW(notifyWindow_.get(), msg, wParam, lParam);
    }
    const MixerChange& handler = msg == MM_MIXM_LINE_CHANGE ? onLineChange : onControlChange;
    if (handler) {
        // The message's wParam carries the mixer's handle as an integer.
        handler(*this, reinterpret_cast<HMIXER>(wParam),  // NOLINT(performance-no-int-to-ptr)
                static_cast<uint32_t>(lParam));
    }
    return 0;
}

void AudioMixer::setMixerId(int32_t id) {
    if (id < 0 || id >= mixerCount_) {
        return;
    }
    closeMixer();
    auto notifyTarget = reinterpret_cast<DWORD_PTR>(notifyWindow_.get());
    HMIXER handle = nullptr;
    MMRESULT result =
        driver_->open(&handle, static_cast<UINT>(id), notifyTarget, 0, CALLBACK_WINDOW);
    if (result != MMSYSERR_NOERROR) {
        result = driver_->open(&handle, static_cast<UINT>(id), notifyTarget, 0, CALLBACK_WINDOW);
    }
    if (result != MMSYSERR_NOERROR) {
        result = driver_->open(&handle, static_cast<UINT>(id), 0, 0, 0);
    }
    if (result != MMSYSERR_NOERROR) {
        mixerId_ = -1;
        destinations_ = std::make_unique<MixerDestinations>();
        return;
    }
    handle_ = MixerHandle(*driver_, handle);
    mixerId_ = id;
    driver_->getDevCaps(static_cast<UINT_PTR>(id), &caps_, sizeof(caps_));
    manufacturer_ = manufacturerName(caps_.wMid);
    driverVersion_ = caps_.vDriverVersion;
    productId_ = caps_.wPid;
    productName_.assign(caps_.szPname,
                        std::find(std::begin(caps_.szPname), std::end(caps_.szPname), L'\0'));
    numberOfLine_ = static_cast<int32_t>(caps_.cDestinations);
    destinations_ = std::make_unique<MixerDestinations>(*this);
}

void AudioMixer::closeMixer() {
    if (mixerId_ >= 0) {
        handle_.reset();
        mixerId_ = -1;
    }
    destinations_.reset();
}

bool AudioMixer::getVolume(int32_t destinationIndex, int32_t connectionIndex, int32_t& left,
                           int32_t& right, int32_t& mute, bool& stereo, bool& volumeDisabled,
                           bool& muteDisabled, bool& muteIsSelect) {
    if (!destinations_) {
        return false;
    }
    left = right = mute = -1;
    stereo = false;
    volumeDisabled = muteDisabled = true;
    muteIsSelect = false;
    const MixerDestination* destination = destinations_->item(destinationIndex);
    if (destination == nullptr) {
        return false;
    }
    const MixerConnection* connection = connectionAt(*destination, connectionIndex);

    // A source's mute may be its entry in the destination's select control.
    if (connection != nullptr) {
        const MixerControls& controls = destination->controls();
        for (int32_t i = 0; i < controls.count() && mute == -1; ++i) {
            const MIXERCONTROLW& control = *controls.item(i);
            if (control.dwControlType != MIXERCONTROL_CONTROLTYPE_MUX) {
                continue;
            }
            ControlValues values(control, channelsFor(control, destination->lineInfo()),
                                 itemsFor(control));
            if (!values.read(*this)) {
                continue;
            }
            std::optional<size_t> position =
                values.findSource(*this, connection->lineInfo().dwLineID);
            if (!position) {
                continue;
            }
            mute = static_cast<int32_t>(values[*position]);
            muteDisabled = hasFlag(control, MIXERCONTROL_CONTROLF_DISABLED);
            muteIsSelect = true;
        }
    }

    if (connectionIndex != -1 && connection == nullptr) {
        return true;
    }
    auto readValues = [&](const MIXERCONTROLW& control, ControlValues& values, bool isVolume) {
        if (!values.read(*this)) {
            return false;
        }
        if (isVolume) {
            volumeDisabled = hasFlag(control, MIXERCONTROL_CONTROLF_DISABLED);
            left = static_cast<int32_t>(values[0]);
            if (values.channels() > 1) {
                right = static_cast<int32_t>(values[1]);
                stereo = true;
            } else {
                right = left;
            }
        } else {
            muteDisabled = hasFlag(control, MIXERCONTROL_CONTROLF_DISABLED);
            mute = values[0] != 0 ? 1 : 0;
        }
        return true;
    };
    takeVolumeAndMute(*destination, connection, false, mute != -1, readValues);
    return true;
}

bool AudioMixer::setVolume(int32_t destinationIndex, int32_t connectionIndex, int32_t left,
                           int32_t right, int32_t mute) {
    if (!destinations_) {
        return false;
    }
    const MixerDestination* destination = destinations_->item(destinationIndex);
    if (destination == nullptr) {
        return false;
    }
    const MixerConnection* connection = connectionAt(*destination, connectionIndex);
    bool volumeDone = left == -1;
    bool muteDone = mute == -1;

    // Only the destination's first select control is considered; a source it does not list
    // keeps its own mute switch as it is.
    if (!muteDone && connection != nullptr) {
        const MixerControls& controls = destination->controls();
        for (int32_t i = 0; i < controls.count() && !muteDone; ++i) {
            const MIXERCONTROLW& control = *controls.item(i);
            if (control.dwControlType != MIXERCONTROL_CONTROLTYPE_MUX) {
                continue;
            }
            muteDone = true;
            DWORD items = itemsFor(control);
            ControlValues values(control, channelsFor(control, destination->lineInfo()), items);
            values.read(*this);
            for (size_t k = 0; k < items && k < values.size(); ++k) {
                values[k] = 0;
            }
            std::optional<size_t> position =
                values.findSource(*this, connection->lineInfo().dwLineID);
            if (!position) {
                continue;
            }
            values[*position] = static_cast<DWORD>(mute);
            values.write(*this);
        }
    }

    if (connectionIndex != -1 && connection == nullptr) {
        return true;
    }
    auto writeValues = [&](const MIXERCONTROLW&, ControlValues& values, bool isVolume) {
        if (isVolume) {
            int32_t second = right == -1 ? left : right;
            // Channels beyond the first two keep what they have; if that cannot be read they
            // follow the second channel.
            if (values.channels() > 2) {
                if (!values.read(*this)) {
                    for (size_t k = 2; k < values.size(); ++k) {
                        values[k] = static_cast<DWORD>(second);
                    }
                }
            }
            values[0] = static_cast<DWORD>(left);
            values[1] = static_cast<DWORD>(second);
        } else {
            for (size_t k = 0; k < values.size(); ++k) {
                values[k] = static_cast<DWORD>(mute);
            }
        }
        values.write(*this);
        return true;
    };
    takeVolumeAndMute(*destination, connection, volumeDone, muteDone, writeValues);
    return true;
}

}  // namespace mixer

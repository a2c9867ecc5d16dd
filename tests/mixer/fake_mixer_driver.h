// A mixer driver held in memory. It stands in for winmm where a real sound card (and Wine's
// PulseAudio mixer, which has one stereo destination with volume and mute) cannot show the
// case under test: select controls, mono lines, refused queries, other manufacturers, controls
// with more values than a small fixed buffer holds.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "mixer/mixer_driver.h"

namespace fakemixer {

struct Control {
    MIXERCONTROLW info{};
    // channels x items values, item-major as a driver lays them out.
    std::vector<DWORD> values;
    // Line identifiers of a select control's items, one per item.
    std::vector<DWORD> itemLines;
    bool failRead = false;
    bool failNames = false;
};

struct Line {
    MIXERLINEW info{};
    std::vector<Control> controls;
    std::vector<Line> sources;
    bool failQuery = false;
    bool failControls = false;
};

struct Device {
    MIXERCAPSW caps{};
    std::vector<Line> destinations;
    // How many opens with a callback fail before one succeeds.
    int failingOpens = 0;
    bool failPlainOpen = false;
};

// One write the driver received.
struct Write {
    DWORD controlId;
    DWORD channels;
    DWORD items;
    std::vector<DWORD> values;
};

inline Control volume(DWORD id, std::vector<DWORD> values, DWORD flags = 0) {
    Control c;
    c.info.cbStruct = sizeof(MIXERCONTROLW);
    c.info.dwControlID = id;
    c.info.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    c.info.fdwControl = flags;
    c.values = std::move(values);
    return c;
}

inline Control muteSwitch(DWORD id, std::vector<DWORD> values, DWORD flags = 0) {
    Control c = volume(id, std::move(values), flags);
    c.info.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
    return c;
}

// A single-select list with one channel, listing the given source lines.
inline Control selector(DWORD id, std::vector<DWORD> itemLines, size_t selected, DWORD flags = 0) {
    Control c;
    c.info.cbStruct = sizeof(MIXERCONTROLW);
    c.info.dwControlID = id;
    c.info.dwControlType = MIXERCONTROL_CONTROLTYPE_MUX;
    c.info.fdwControl = MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE | flags;
    c.info.cMultipleItems = static_cast<DWORD>(itemLines.size());
    c.values.assign(itemLines.size(), 0);
    if (selected < c.values.size()) {
        c.values[selected] = 1;
    }
    c.itemLines = std::move(itemLines);
    return c;
}

inline Line line(DWORD lineId, DWORD channels, std::vector<Control> controls = {},
                 std::vector<Line> sources = {}) {
    Line l;
    l.info.cbStruct = sizeof(MIXERLINEW);
    l.info.dwLineID = lineId;
    l.info.cChannels = channels;
    l.controls = std::move(controls);
    l.sources = std::move(sources);
    return l;
}

inline Device device(WORD mid, const wchar_t* name, std::vector<Line> destinations) {
    Device d;
    d.caps.wMid = mid;
    d.caps.wPid = 77;
    d.caps.vDriverVersion = 0x0501;
    wcsncpy(d.caps.szPname, name, MAXPNAMELEN - 1);
    d.caps.cDestinations = static_cast<DWORD>(destinations.size());
    d.destinations = std::move(destinations);
    return d;
}

class Driver final : public mixer::MixerDriver {
  public:
    std::vector<Device> devices;
    std::vector<Write> writes;
    int openCalls = 0;
    int closeCalls = 0;
    int openDevices = 0;
    HWND callbackWindow = nullptr;

    UINT deviceCount() override { return static_cast<UINT>(devices.size()); }

    MMRESULT open(HMIXER* handle, UINT id, DWORD_PTR callback, DWORD_PTR, DWORD flags) override {
        ++openCalls;
        if (id >= devices.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        Device& d = devices[id];
        if (flags == CALLBACK_WINDOW && d.failingOpens > 0) {
            --d.failingOpens;
            return MMSYSERR_ERROR;
        }
        if (flags != CALLBACK_WINDOW && d.failPlainOpen) {
            return MMSYSERR_ERROR;
        }
        callbackWindow = flags == CALLBACK_WINDOW ? reinterpret_cast<HWND>(callback) : nullptr;
        *handle = handleOf(id);
        ++openDevices;
        return MMSYSERR_NOERROR;
    }

    MMRESULT close(HMIXER) override {
        ++closeCalls;
        --openDevices;
        return MMSYSERR_NOERROR;
    }

    MMRESULT getDevCaps(UINT_PTR id, MIXERCAPSW* caps, UINT size) override {
        if (id >= devices.size() || size != sizeof(MIXERCAPSW)) {
            return MMSYSERR_BADDEVICEID;
        }
        *caps = devices[id].caps;
        return MMSYSERR_NOERROR;
    }

    MMRESULT getLineInfo(HMIXEROBJ mixer, MIXERLINEW* out, DWORD flags) override {
        Device* d = deviceOf(mixer, flags);
        if (d == nullptr || out->cbStruct != sizeof(MIXERLINEW)) {
            return MMSYSERR_INVALHANDLE;
        }
        DWORD query = flags & MIXER_GETLINEINFOF_QUERYMASK;
        if (out->dwDestination >= d->destinations.size()) {
            return MIXERR_INVALLINE;
        }
        Line& destination = d->destinations[out->dwDestination];
        Line* found = &destination;
        if (query == MIXER_GETLINEINFOF_SOURCE) {
            if (out->dwSource >= destination.sources.size()) {
                return MIXERR_INVALLINE;
            }
            found = &destination.sources[out->dwSource];
        } else if (query != MIXER_GETLINEINFOF_DESTINATION) {
            return MMSYSERR_NOTSUPPORTED;
        }
        if (found->failQuery) {
            return MMSYSERR_ERROR;
        }
        DWORD dest = out->dwDestination;
        DWORD source = out->dwSource;
        *out = found->info;
        out->dwDestination = dest;
        out->dwSource = query == MIXER_GETLINEINFOF_SOURCE ? source : 0;
        out->cConnections = static_cast<DWORD>(found->sources.size());
        out->cControls = static_cast<DWORD>(found->controls.size());
        return MMSYSERR_NOERROR;
    }

    MMRESULT getLineControls(HMIXEROBJ mixer, MIXERLINECONTROLSW* request, DWORD flags) override {
        Device* d = deviceOf(mixer, flags);
        if (d == nullptr ||
            (flags & MIXER_GETLINECONTROLSF_QUERYMASK) != MIXER_GETLINECONTROLSF_ALL) {
            return MMSYSERR_INVALHANDLE;
        }
        Line* l = lineById(*d, request->dwLineID);
        if (l == nullptr) {
            return MIXERR_INVALLINE;
        }
        if (l->failControls) {
            return MMSYSERR_ERROR;
        }
        if (request->cbmxctrl != sizeof(MIXERCONTROLW) ||
            request->cControls != l->controls.size()) {
            return MMSYSERR_INVALPARAM;
        }
        for (size_t i = 0; i < l->controls.size(); ++i) {
            request->pamxctrl[i] = l->controls[i].info;
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT getControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* request,
                               DWORD flags) override {
        Control* c = controlOf(mixer, request, flags);
        if (c == nullptr) {
            return MIXERR_INVALCONTROL;
        }
        DWORD query = flags & MIXER_GETCONTROLDETAILSF_QUERYMASK;
        size_t count = slots(*request);
        if (query == MIXER_GETCONTROLDETAILSF_VALUE) {
            if (c->failRead || request->cbDetails != sizeof(DWORD)) {
                return MMSYSERR_ERROR;
            }
            auto* out = static_cast<DWORD*>(request->paDetails);
            for (size_t i = 0; i < count; ++i) {
                out[i] = i < c->values.size() ? c->values[i] : 0;
            }
            return MMSYSERR_NOERROR;
        }
        if (query == MIXER_GETCONTROLDETAILSF_LISTTEXT) {
            if (c->failNames || request->cbDetails != sizeof(MIXERCONTROLDETAILS_LISTTEXTW)) {
                return MMSYSERR_ERROR;
            }
            auto* out = static_cast<MIXERCONTROLDETAILS_LISTTEXTW*>(request->paDetails);
            DWORD channels = std::max<DWORD>(request->cChannels, 1);
            for (size_t i = 0; i < count; ++i) {
                size_t item = i / channels;
                out[i] = MIXERCONTROLDETAILS_LISTTEXTW{};
                out[i].dwParam1 = item < c->itemLines.size() ? c->itemLines[item] : 0;
                wcscpy(out[i].szName, L"Source");
            }
            return MMSYSERR_NOERROR;
        }
        return MMSYSERR_NOTSUPPORTED;
    }

    MMRESULT setControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* request,
                               DWORD flags) override {
        Control* c = controlOf(mixer, request, flags);
        if (c == nullptr || request->cbDetails != sizeof(DWORD)) {
            return MIXERR_INVALCONTROL;
        }
        auto* in = static_cast<const DWORD*>(request->paDetails);
        Write w{request->dwControlID, request->cChannels, request->cMultipleItems,
                std::vector<DWORD>(in, in + slots(*request))};
        for (size_t i = 0; i < w.values.size() && i < c->values.size(); ++i) {
            c->values[i] = w.values[i];
        }
        writes.push_back(std::move(w));
        if (callbackWindow) {
            PostMessageW(callbackWindow, MM_MIXM_CONTROL_CHANGE, reinterpret_cast<WPARAM>(mixer),
                         request->dwControlID);
        }
        return MMSYSERR_NOERROR;
    }

    static HMIXER handleOf(UINT id) { return reinterpret_cast<HMIXER>(0x4D00 + id); }

    Control* findControl(DWORD id) {
        for (Device& d : devices) {
            for (Line& dest : d.destinations) {
                if (Control* c = findIn(dest, id)) {
                    return c;
                }
                for (Line& s : dest.sources) {
                    if (Control* c = findIn(s, id)) {
                        return c;
                    }
                }
            }
        }
        return nullptr;
    }

  private:
    static size_t slots(const MIXERCONTROLDETAILS& r) {
        return static_cast<size_t>(r.cChannels) * std::max<DWORD>(r.cMultipleItems, 1);
    }

    Device* deviceOf(HMIXEROBJ mixer, DWORD flags) {
        if ((flags & 0xF0000000) != MIXER_OBJECTF_HMIXER || openDevices <= 0) {
            return nullptr;
        }
        auto value = reinterpret_cast<UINT_PTR>(mixer);
        if (value < 0x4D00 || value - 0x4D00 >= devices.size()) {
            return nullptr;
        }
        return &devices[value - 0x4D00];
    }

    static Line* lineById(Device& d, DWORD id) {
        for (Line& dest : d.destinations) {
            if (dest.info.dwLineID == id) {
                return &dest;
            }
            for (Line& s : dest.sources) {
                if (s.info.dwLineID == id) {
                    return &s;
                }
            }
        }
        return nullptr;
    }

    static Control* findIn(Line& l, DWORD id) {
        for (Control& c : l.controls) {
            if (c.info.dwControlID == id) {
                return &c;
            }
        }
        return nullptr;
    }

    Control* controlOf(HMIXEROBJ mixer, const MIXERCONTROLDETAILS* request, DWORD flags) {
        if (deviceOf(mixer, flags) == nullptr || request->cbStruct != sizeof(MIXERCONTROLDETAILS)) {
            return nullptr;
        }
        return findControl(request->dwControlID);
    }
};

}  // namespace fakemixer

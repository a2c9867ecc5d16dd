#include "mixer/mixer_driver.h"

namespace mixer {
namespace {

class SystemMixerDriver final : public MixerDriver {
  public:
    UINT deviceCount() override { return mixerGetNumDevs(); }
    MMRESULT open(HMIXER* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance,
                  DWORD flags) override {
        return mixerOpen(handle, id, callback, instance, flags);
    }
    MMRESULT close(HMIXER handle) override { return mixerClose(handle); }
    MMRESULT getDevCaps(UINT_PTR id, MIXERCAPSW* caps, UINT size) override {
        return mixerGetDevCapsW(id, caps, size);
    }
    MMRESULT getLineInfo(HMIXEROBJ mixer, MIXERLINEW* line, DWORD flags) override {
        return mixerGetLineInfoW(mixer, line, flags);
    }
    MMRESULT getLineControls(HMIXEROBJ mixer, MIXERLINECONTROLSW* controls, DWORD flags) override {
        return mixerGetLineControlsW(mixer, controls, flags);
    }
    MMRESULT getControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details,
                               DWORD flags) override {
        return mixerGetControlDetailsW(mixer, details, flags);
    }
    MMRESULT setControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details,
                               DWORD flags) override {
        return mixerSetControlDetails(mixer, details, flags);
    }
};

}  // namespace

std::unique_ptr<MixerDriver> systemMixerDriver() {
    return std::make_unique<SystemMixerDriver>();
}

}  // namespace mixer

// The winmm mixer calls the audio mixer makes, behind an interface so that a test driver can
// present topologies a real sound card does not have (select controls, mono lines, failing
// queries).
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <memory>
#include <utility>

namespace mixer {

class MixerDriver {
  public:
    virtual ~MixerDriver() = default;

    virtual UINT deviceCount() = 0;
    virtual MMRESULT open(HMIXER* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance,
                          DWORD flags) = 0;
    virtual MMRESULT close(HMIXER handle) = 0;
    virtual MMRESULT getDevCaps(UINT_PTR id, MIXERCAPSW* caps, UINT size) = 0;
    virtual MMRESULT getLineInfo(HMIXEROBJ mixer, MIXERLINEW* line, DWORD flags) = 0;
    virtual MMRESULT getLineControls(HMIXEROBJ mixer, MIXERLINECONTROLSW* controls,
                                     DWORD flags) = 0;
    virtual MMRESULT getControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details,
                                       DWORD flags) = 0;
    virtual MMRESULT setControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details,
                                       DWORD flags) = 0;
};

// The system's winmm.
std::unique_ptr<MixerDriver> systemMixerDriver();

// An open mixer device; closes it through the driver that opened it.
class MixerHandle {
  public:
    MixerHandle() = default;
    MixerHandle(MixerDriver& driver, HMIXER handle) : driver_(&driver), handle_(handle) {}
    MixerHandle(const MixerHandle&) = delete;
    MixerHandle& operator=(const MixerHandle&) = delete;
    MixerHandle(MixerHandle&& other) noexcept
        : driver_(other.driver_), handle_(std::exchange(other.handle_, nullptr)) {}
    MixerHandle& operator=(MixerHandle&& other) noexcept {
        if (this != &other) {
            reset();
            driver_ = other.driver_;
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    ~MixerHandle() { reset(); }

    HMIXER get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset() {
        if (handle_ != nullptr) {
            driver_->close(std::exchange(handle_, nullptr));
        }
    }

  private:
    MixerDriver* driver_ = nullptr;
    HMIXER handle_ = nullptr;
};

}  // namespace mixer

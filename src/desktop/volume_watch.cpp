#include "desktop/volume_watch.h"

#include <utility>

#include "framework/exception.h"
#include "framework/hidden_window.h"

namespace app {
namespace {

constexpr const wchar_t* kWindowClass = L"KeypilotVolumeWatch";
// A change to read, posted from Core Audio's thread or by changed().
constexpr UINT kReadMessage = WM_APP + 1;

}  // namespace

VolumeWatch::VolumeWatch(mixer::AudioMixer& mixer, EndpointOpener openEndpoint)
    : mixer_(mixer), openEndpoint_(std::move(openEndpoint)) {
    if (!framework::createOwnedMessageWindow(kWindowClass, *this)) {
        framework::raiseLastOSError();
    }
}

VolumeWatch::~VolumeWatch() {
    // The endpoint's notices stop before the window they post to goes.
    watched_.reset();
}

LRESULT VolumeWatch::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kReadMessage) {
        readPending_ = false;
        read();
        return 0;
    }
    return DefWindowProcW(window_.get(), msg, wParam, lParam);
}

void VolumeWatch::watch(bool on) {
    if (on == watching_) {
        return;
    }
    watching_ = on;
    if (!on) {
        watched_.reset();
        return;
    }
    if (openEndpoint_) {
        watched_ = openEndpoint_();
        HWND window = window_.get();
        if (watched_ && !watched_->watch([window] { PostMessageW(window, kReadMessage, 0, 0); })) {
            // Dropped: the mixer's notices and the phone's own changes still bring the state up
            // to date; only a change made through Core Audio alone waits for the next of those.
            watched_.reset();
        }
    }
    read();
}

void VolumeWatch::changed() {
    if (!readPending_) {
        readPending_ = PostMessageW(window_.get(), kReadMessage, 0, 0) != FALSE;
    }
}

void VolumeWatch::read() {
    auto now = readMasterVolume(mixer_, openEndpoint_);
    if (now == state_) {
        return;
    }
    state_ = now;
    if (onChange) {
        onChange();
    }
}

}  // namespace app

#include "app/background_open.h"

#include <mutex>
#include <thread>
#include <utility>

namespace app {

// What the thread and the owner share; the last of the two to let go frees it.
struct BackgroundOpen::Shared {
    std::mutex lock;
    bool abandoned = false;
    std::optional<serial::OpenedDevice> result;
};

BackgroundOpen::BackgroundOpen(std::shared_ptr<serial::CommApi> api, const std::wstring& portName,
                               HWND window, UINT message, WPARAM id)
    : shared_(std::make_shared<Shared>()) {
    std::thread([shared = shared_, api = std::move(api), portName, window, message, id] {
        serial::OpenedDevice opened;
        try {
            opened = serial::openPortDevice(*api, portName);
        } catch (...) {
            // Nothing may leave a thread. Only memory can run out here: the try failed.
            opened.systemError = ERROR_NOT_ENOUGH_MEMORY;
        }
        std::lock_guard guard(shared->lock);
        if (shared->abandoned) {
            return;  // the device closes here, unused
        }
        shared->result = std::move(opened);
        // The owner's window lives as long as the owner has not let go.
        PostMessageW(window, message, id, 0);
    }).detach();
}

BackgroundOpen::~BackgroundOpen() {
    std::lock_guard guard(shared_->lock);
    shared_->abandoned = true;
    shared_->result.reset();
}

std::optional<serial::OpenedDevice> BackgroundOpen::take() {
    std::lock_guard guard(shared_->lock);
    return std::exchange(shared_->result, std::nullopt);
}

}  // namespace app

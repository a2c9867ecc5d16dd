// What the UI thread and one thread of the Bluetooth service share (bluetooth_thread.h): the
// UI's requests, in order, and the thread's reports, each announced by a message to the UI's
// window. The last of the two threads to let go frees it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "framework/handle.h"
#include "ways/bluetooth/bluetooth_thread.h"

namespace app {

struct BluetoothRequest {
    enum class Kind { Phones, Answer, RadioArrived, RadioLeft, Send };
    Kind kind = Kind::Send;
    std::uint64_t number = 0;
    std::uint64_t generation = 0;
    bool allow = false;
    std::string bytes;
    std::set<std::uint64_t> allowed;
    std::set<std::uint64_t> refused;
};

struct BluetoothChannel {
    std::mutex lock;
    std::deque<BluetoothRequest> requests;
    bool stopAsked = false;
    std::deque<BluetoothReport> reports;
    // The thread is done, for this reason; its report is made when it is taken, so that the
    // last word needs no memory the thread might not get.
    bool done = false;
    bool doneTaken = false;
    int doneError = 0;
    // The UI thread has let go: nothing more is reported.
    bool abandoned = false;
    HWND window = nullptr;
    UINT message = 0;
    WPARAM id = 0;
    // Set when a request comes or a chunk has been handled.
    framework::KernelHandle wake;
    framework::KernelHandle finished;
    std::atomic<std::uint64_t> handled{0};

    void report(BluetoothReport report) {
        std::lock_guard guard(lock);
        if (abandoned) {
            return;
        }
        reports.push_back(std::move(report));
        // Under the lock: the UI's window lives as long as the UI thread has not let go.
        PostMessageW(window, message, id, 0);
    }
    void finish(int error) noexcept {
        {
            std::lock_guard guard(lock);
            done = true;
            doneError = error;
            if (!abandoned) {
                PostMessageW(window, message, id, 0);
            }
        }
        SetEvent(finished.get());
    }
};

}  // namespace app

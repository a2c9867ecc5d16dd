// Stands in for a Bluetooth driver that takes a write and never finishes it, as one does once the
// phone has gone. A pseudo-terminal cannot: under Wine a small write to it always ends at once.
// While hanging, each write is taken on (ERROR_IO_PENDING) and stays pending until it is
// cancelled, which ends it as a driver that honours CancelIoEx does (or, when told to, keeps it
// all the same, as a faulty one may); otherwise every call goes to Win32 as it is. It notes the
// threads that wrote.
#pragma once

#include <windows.h>

#include <mutex>
#include <vector>

#include "serial/comm_api.h"

namespace testing_support {

class HangingWriteCommApi : public serial::CommApi {
  public:
    // What a cancelled request's status reads (NTSTATUS STATUS_CANCELLED).
    static constexpr ULONG_PTR kCancelled = 0xC0000120;

    void hang(bool on) {
        std::lock_guard guard(lock_);
        hanging_ = on;
    }
    void keepCancelled(bool on) {
        std::lock_guard guard(lock_);
        keepCancelled_ = on;
    }
    int writes() {
        std::lock_guard guard(lock_);
        return static_cast<int>(writers_.size());
    }
    // Whether a write hangs now.
    bool pending() {
        std::lock_guard guard(lock_);
        return pending_ != nullptr;
    }
    int cancels() {
        std::lock_guard guard(lock_);
        return cancels_;
    }
    std::vector<DWORD> writers() {
        std::lock_guard guard(lock_);
        return writers_;
    }

    BOOL writeFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                   OVERLAPPED* overlapped) override {
        {
            std::lock_guard guard(lock_);
            writers_.push_back(GetCurrentThreadId());
            if (hanging_ && overlapped) {
                overlapped->Internal = STATUS_PENDING;
                overlapped->InternalHigh = 0;
                ResetEvent(overlapped->hEvent);
                pending_ = overlapped;
                SetLastError(ERROR_IO_PENDING);
                return FALSE;
            }
        }
        return CommApi::writeFile(device, buffer, count, written, overlapped);
    }
    BOOL cancelIoEx(HANDLE device, OVERLAPPED* overlapped) override {
        {
            std::lock_guard guard(lock_);
            if (pending_ && (!overlapped || overlapped == pending_)) {
                ++cancels_;
                if (keepCancelled_) {
                    return TRUE;
                }
                pending_->Internal = kCancelled;
                SetEvent(pending_->hEvent);
                pending_ = nullptr;
                return TRUE;
            }
        }
        return CommApi::cancelIoEx(device, overlapped);
    }

  private:
    std::mutex lock_;
    bool hanging_ = false;
    bool keepCancelled_ = false;
    OVERLAPPED* pending_ = nullptr;
    int cancels_ = 0;
    std::vector<DWORD> writers_;
};

}  // namespace testing_support

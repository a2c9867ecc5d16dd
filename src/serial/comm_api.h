// The Win32 serial calls the port component makes, behind a small interface so that a test can
// stand in a driver that misbehaves in ways a pseudo-terminal cannot (refusing settings,
// reporting line errors, keeping a read it was asked to cancel, never finishing a write, holding
// a close for seconds). The real implementation forwards each call unchanged; every call keeps the
// Win32 meaning of its result and of GetLastError.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace serial {

class CommApi {
  public:
    virtual ~CommApi() = default;

    virtual HANDLE openDevice(const std::wstring& path);
    virtual BOOL setupComm(HANDLE device, DWORD inQueue, DWORD outQueue);
    virtual BOOL setCommState(HANDLE device, DCB* dcb);
    virtual BOOL getCommState(HANDLE device, DCB* dcb);
    virtual BOOL setCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts);
    virtual BOOL setCommMask(HANDLE device, DWORD mask);
    virtual BOOL waitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped);
    virtual BOOL getOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* count,
                                     BOOL wait);
    virtual BOOL readFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                          OVERLAPPED* overlapped);
    virtual BOOL writeFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                           OVERLAPPED* overlapped);
    virtual BOOL cancelIoEx(HANDLE device, OVERLAPPED* overlapped);
    virtual BOOL purgeComm(HANDLE device, DWORD flags);
    virtual BOOL clearCommError(HANDLE device, DWORD* errors, COMSTAT* status);
    virtual BOOL getCommModemStatus(HANDLE device, DWORD* status);
    // The device handle's own close (CloseHandle), which a Bluetooth driver may hold for seconds.
    virtual BOOL closeDevice(HANDLE device);
};

// An open port device, closed through the calls that opened it, by whoever lets go of it last:
// since its close may take seconds, it goes where the thread that ends its use can wait.
class PortDevice {
  public:
    PortDevice() = default;
    PortDevice(std::shared_ptr<CommApi> api, HANDLE handle)
        : api_(std::move(api)), handle_(handle) {}
    ~PortDevice() { reset(); }
    PortDevice(const PortDevice&) = delete;
    PortDevice& operator=(const PortDevice&) = delete;
    PortDevice(PortDevice&& other) noexcept
        : api_(std::move(other.api_)), handle_(std::exchange(other.handle_, nullptr)) {}
    PortDevice& operator=(PortDevice&& other) noexcept {
        if (this != &other) {
            reset();
            api_ = std::move(other.api_);
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }
    // Closes the device now, keeping the thread's last error.
    void reset();

  private:
    std::shared_ptr<CommApi> api_;
    HANDLE handle_ = nullptr;
};

// The shared instance that forwards to Win32.
std::shared_ptr<CommApi> systemCommApi();

// GetLastError as the signed code that the component's errors carry.
inline std::int32_t lastError() {
    return static_cast<std::int32_t>(GetLastError());
}

}  // namespace serial

// The Win32 serial calls the port component makes, behind a small interface so that a test can
// stand in a driver that misbehaves in ways a pseudo-terminal cannot (refusing settings,
// reporting line errors, keeping a read it was asked to cancel, never finishing a write). The real
// implementation forwards each call unchanged; every call keeps the Win32 meaning of its result and
// of GetLastError.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

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
};

// The shared instance that forwards to Win32.
std::shared_ptr<CommApi> systemCommApi();

// GetLastError as the signed code that the component's errors carry.
inline std::int32_t lastError() {
    return static_cast<std::int32_t>(GetLastError());
}

}  // namespace serial

#include "serial/comm_api.h"

#include <utility>

namespace serial {

HANDLE CommApi::openDevice(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}
BOOL CommApi::setupComm(HANDLE device, DWORD inQueue, DWORD outQueue) {
    return SetupComm(device, inQueue, outQueue);
}
BOOL CommApi::setCommState(HANDLE device, DCB* dcb) {
    return SetCommState(device, dcb);
}
BOOL CommApi::getCommState(HANDLE device, DCB* dcb) {
    return GetCommState(device, dcb);
}
BOOL CommApi::setCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) {
    return SetCommTimeouts(device, timeouts);
}
BOOL CommApi::setCommMask(HANDLE device, DWORD mask) {
    return SetCommMask(device, mask);
}
BOOL CommApi::waitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) {
    return WaitCommEvent(device, mask, overlapped);
}
BOOL CommApi::getOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* count, BOOL wait) {
    return GetOverlappedResult(device, overlapped, count, wait);
}
BOOL CommApi::readFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                       OVERLAPPED* overlapped) {
    return ReadFile(device, buffer, count, read, overlapped);
}
BOOL CommApi::writeFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                        OVERLAPPED* overlapped) {
    return WriteFile(device, buffer, count, written, overlapped);
}
BOOL CommApi::cancelIoEx(HANDLE device, OVERLAPPED* overlapped) {
    return CancelIoEx(device, overlapped);
}
BOOL CommApi::purgeComm(HANDLE device, DWORD flags) {
    return PurgeComm(device, flags);
}
BOOL CommApi::clearCommError(HANDLE device, DWORD* errors, COMSTAT* status) {
    return ClearCommError(device, errors, status);
}
BOOL CommApi::getCommModemStatus(HANDLE device, DWORD* status) {
    return GetCommModemStatus(device, status);
}

BOOL CommApi::closeDevice(HANDLE device) {
    return CloseHandle(device);
}

void PortDevice::reset() {
    const HANDLE handle = std::exchange(handle_, nullptr);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        api_->closeDevice(handle);
        SetLastError(error);
    }
    api_.reset();
}

std::shared_ptr<CommApi> systemCommApi() {
    static const auto api = std::make_shared<CommApi>();
    return api;
}

}  // namespace serial

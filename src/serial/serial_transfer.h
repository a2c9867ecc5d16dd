// One overlapped transfer on the port's device: the record the driver writes into until it ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "framework/handle.h"

namespace serial {

enum class TransferDirection : std::uint8_t { tdWrite, tdRead };

// Made by SerialPort::createTransfer, released by disposeTransfer (or simply by letting the
// pointer go, but only once it has finished).
struct SerialTransfer {
    OVERLAPPED overlapped{};
    TransferDirection direction = TransferDirection::tdWrite;
    std::unique_ptr<std::uint8_t[]> echoData;
    std::int32_t echoSize = 0;
    framework::KernelHandle event;
    // A read goes into the record's own buffer and reaches the caller's only once it has
    // finished, so a read the driver never gives back cannot write into the caller's memory.
    std::unique_ptr<std::uint8_t[]> data;
    std::uint8_t* destination = nullptr;
    std::int32_t capacity = 0;
    // The driver kept the read after being asked to cancel it.
    bool held = false;
};
using SerialTransferPtr = std::unique_ptr<SerialTransfer>;

}  // namespace serial

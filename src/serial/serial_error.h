// The serial port component's errors: a numbered code with an English text that the translation
// layer may replace, and the Win32 error that caused it.
#pragma once

#include <cstdint>
#include <string>

#include "framework/exception.h"

namespace serial {

// The numbers are what errorNumber() gives and what the texts are known by: they never change.
// 6, 12, 13 and 15 to 23 are never raised here; they keep their places, and their texts, so that
// the numbers of the others stay.
enum class SerialErrorCode : std::uint8_t {
    openFailed = 1,
    writeFailed = 2,
    readFailed = 3,
    invalidTransfer = 4,  // no transfer record, or one the driver still holds
    purgeFailed = 5,
    asyncStatusFailed = 6,
    lineSettingsRefused = 7,  // SetCommState
    timeoutsRefused = 8,      // SetCommTimeouts
    queueSizesRefused = 9,    // SetupComm
    inputStatusFailed = 10,   // ClearCommError
    modemStatusFailed = 11,   // GetCommModemStatus
    escapeFunctionFailed = 12,
    transmitCharFailed = 13,
    setWhileConnected = 14,
    enumPortsFailed = 15,
    storeSettingsFailed = 16,
    loadSettingsFailed = 17,
    linkRegistrationFailed = 18,
    ledStateWhilePortSet = 19,
    waitWithEventThread = 20,
    waitForEventFailed = 21,
    rxBufferLinked = 22,
    registryError = 23,
};

constexpr int kSerialErrorCount = 23;
static_assert(static_cast<int>(SerialErrorCode::registryError) == kSerialErrorCount);

// The code's text followed, when systemError is not -1, by " (win error code: n)".
class SerialPortError : public framework::Exception {
  public:
    explicit SerialPortError(SerialErrorCode code, std::int32_t systemError = -1);
    SerialErrorCode code() const noexcept { return code_; }
    int errorNumber() const noexcept { return static_cast<int>(code_); }
    // The Win32 error code, or -1.
    std::int32_t systemError() const noexcept { return systemError_; }

  private:
    SerialErrorCode code_;
    std::int32_t systemError_;
};

// The code's current text: the English one, or its translation once initializeSerialErrorTexts
// has run. Empty for a value outside the codes.
const std::wstring& serialErrorText(SerialErrorCode code);
// Start-up step: registers the "serial" domain and has every text translated, in number order.
void initializeSerialErrorTexts();
// Shut-down step: back to the English texts.
void finalizeSerialErrorTexts();

}  // namespace serial

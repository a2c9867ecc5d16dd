#include <array>
#include <mutex>

#include "framework/text.h"
#include "framework/translation_hooks.h"
#include "serial/serial_port.h"

namespace serial {
namespace {

constexpr std::array<const wchar_t*, kSerialErrorCount> kEnglishTexts = {
    L"Unable to open com port",
    L"WriteFile function failed",
    L"ReadFile function failed",
    L"Invalid Async parameter",
    L"PurgeComm function failed",
    L"Unable to get async status",
    L"SetCommState function failed",
    L"SetCommTimeouts failed",
    L"SetupComm function failed",
    L"ClearCommError function failed",
    L"GetCommModemStatus function failed",
    L"EscapeCommFunction function failed",
    L"TransmitCommChar function failed",
    L"Cannot set property while connected",
    L"EnumPorts function failed",
    L"Failed to store settings",
    L"Failed to load settings",
    L"Link (un)registration failed",
    L"Cannot change led state if ComPort is selected",
    L"Cannot wait for event if event thread is created",
    L"WaitForEvent method failed",
    L"A component is linked to OnRxBuf event",
    L"Registry error",
};

constexpr wchar_t kSystemErrorSuffix[] = L" (win error code: %d)";

std::array<std::wstring, kSerialErrorCount>& texts() {
    static std::array<std::wstring, kSerialErrorCount> table = [] {
        std::array<std::wstring, kSerialErrorCount> t;
        for (int i = 0; i < kSerialErrorCount; ++i) {
            t[i] = kEnglishTexts[i];
        }
        return t;
    }();
    return table;
}

std::wstring errorMessage(int errorNumber, std::int32_t systemError) {
    std::wstring text = serialErrorText(errorNumber);
    if (systemError == -1) {
        return text;
    }
    // The suffix is translated afresh each time, so a language chosen later still applies. Only
    // the suffix is a format: a '%' in a translated error text stays as it is.
    return text + framework::formatText(framework::translateText(kSystemErrorSuffix),
                                        {std::to_wstring(systemError)});
}

}  // namespace

SerialPortError::SerialPortError(int errorNumber, std::int32_t systemError)
    : framework::Exception(errorMessage(errorNumber, systemError)),
      errorNumber_(errorNumber),
      systemError_(systemError) {}

const std::wstring& serialErrorText(int errorNumber) {
    static const std::wstring unknown;
    if (errorNumber < 1 || errorNumber > kSerialErrorCount) {
        return unknown;
    }
    return texts()[errorNumber - 1];
}

void initializeSerialErrorTexts() {
    static std::once_flag domainAdded;
    std::call_once(domainAdded, [] { framework::addResourceStringDomain(L"serial"); });
    auto& table = texts();
    for (int i = 0; i < kSerialErrorCount; ++i) {
        table[i] = framework::translateText(kEnglishTexts[i]);
    }
}

void finalizeSerialErrorTexts() {
    auto& table = texts();
    for (int i = 0; i < kSerialErrorCount; ++i) {
        table[i] = kEnglishTexts[i];
    }
}

}  // namespace serial

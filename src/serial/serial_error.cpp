#include "serial/serial_error.h"

#include <array>
#include <mutex>

#include "framework/text.h"
#include "framework/translation_hooks.h"

namespace serial {
namespace {

// Marks a text for the "serial" catalogue template; scripts/update-po.sh finds the texts by this
// name. It is translated where it is used.
constexpr const wchar_t* serialText(const wchar_t* text) {
    return text;
}

// In number order: the text of code n is at n - 1.
constexpr std::array<const wchar_t*, kSerialErrorCount> kEnglishTexts = {
    serialText(L"Unable to open com port"),
    serialText(L"WriteFile function failed"),
    serialText(L"ReadFile function failed"),
    serialText(L"Invalid Async parameter"),
    serialText(L"PurgeComm function failed"),
    serialText(L"Unable to get async status"),
    serialText(L"SetCommState function failed"),
    serialText(L"SetCommTimeouts failed"),
    serialText(L"SetupComm function failed"),
    serialText(L"ClearCommError function failed"),
    serialText(L"GetCommModemStatus function failed"),
    serialText(L"EscapeCommFunction function failed"),
    serialText(L"TransmitCommChar function failed"),
    serialText(L"Cannot set property while connected"),
    serialText(L"EnumPorts function failed"),
    serialText(L"Failed to store settings"),
    serialText(L"Failed to load settings"),
    serialText(L"Link (un)registration failed"),
    serialText(L"Cannot change led state if ComPort is selected"),
    serialText(L"Cannot wait for event if event thread is created"),
    serialText(L"WaitForEvent method failed"),
    serialText(L"A component is linked to OnRxBuf event"),
    serialText(L"Registry error"),
};

constexpr const wchar_t* kSystemErrorSuffix = serialText(L" (win error code: %d)");

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

std::wstring errorMessage(SerialErrorCode code, std::int32_t systemError) {
    std::wstring text = serialErrorText(code);
    if (systemError == -1) {
        return text;
    }
    // The suffix is translated afresh each time, so a language chosen later still applies. Only
    // the suffix is a format: a '%' in a translated error text stays as it is.
    return text + framework::formatText(framework::translateText(kSystemErrorSuffix),
                                        {std::to_wstring(systemError)});
}

}  // namespace

SerialPortError::SerialPortError(SerialErrorCode code, std::int32_t systemError)
    : framework::Exception(errorMessage(code, systemError)),
      code_(code),
      systemError_(systemError) {}

const std::wstring& serialErrorText(SerialErrorCode code) {
    static const std::wstring unknown;
    const int number = static_cast<int>(code);
    if (number < 1 || number > kSerialErrorCount) {
        return unknown;
    }
    return texts()[static_cast<std::size_t>(number - 1)];
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

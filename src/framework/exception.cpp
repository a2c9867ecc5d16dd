#include "framework/exception.h"

#include "framework/resource_strings.h"
#include "framework/text.h"

namespace framework {
namespace {

std::wstring osErrorText(DWORD code) {
    if (code == 0) {
        return loadResourceString(IDS_UNKNOWN_OS_ERROR);
    }
    return formatText(loadResourceString(IDS_OS_ERROR),
                      {std::to_wstring(static_cast<long>(code)), systemMessage(code)});
}

}  // namespace

Exception::Exception(std::wstring message)
    : message_(std::move(message)), utf8_(toUtf8(message_)) {}

OSError::OSError(DWORD code) : Exception(osErrorText(code)), code_(code) {}

void raiseLastOSError() {
    throw OSError(GetLastError());
}

std::wstring messageOf(const std::exception& e) {
    if (auto* framework = dynamic_cast<const Exception*>(&e)) {
        return framework->message();
    }
    return fromUtf8(e.what());
}

}  // namespace framework

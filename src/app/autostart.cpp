#include "app/autostart.h"

#include <windows.h>

#include <vector>

#include "framework/exception.h"
#include "framework/registry.h"
#include "framework/resource_strings.h"
#include "framework/text.h"

namespace app {

void Autostart::readMark() {
    auto run = framework::RegistryKey::open(HKEY_CURRENT_USER, kRunKey);
    std::wstring text;
    if (run.isOpen()) {
        text = run.readText(kValueName).value_or(L"");
    }
    mark_ = text.find(L"Keypilot") != std::wstring::npos;
}

void Autostart::toggle() {
    auto run = framework::RegistryKey::open(HKEY_CURRENT_USER, kRunKey);
    if (!run.isOpen()) {
        throw framework::Exception(framework::formatText(
            framework::loadResourceString(IDS_REG_SET_DATA_FAILED), {kValueName}));
    }
    run.writeText(kValueName, mark_ ? std::wstring() : commandLine());
    mark_ = !mark_;
}

std::wstring Autostart::commandLine() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size()) {
            return L"\"" + std::wstring(buffer.data(), n) + L"\"";
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace app

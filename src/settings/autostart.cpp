#include "settings/autostart.h"

#include <windows.h>

#include "framework/exception.h"
#include "framework/module_path.h"
#include "framework/registry.h"
#include "framework/resource_strings.h"
#include "framework/text.h"

namespace app {

void Autostart::read() {
    auto run = framework::RegistryKey::open(HKEY_CURRENT_USER, kRunKey);
    std::wstring text;
    if (run.isOpen()) {
        text = run.readText(kValueName).value_or(L"");
    }
    enabled_ = text.find(L"Keypilot") != std::wstring::npos;
}

void Autostart::toggle() {
    auto run = framework::RegistryKey::open(HKEY_CURRENT_USER, kRunKey);
    if (!run.isOpen()) {
        throw framework::Exception(framework::formatText(
            framework::loadResourceString(IDS_REG_SET_DATA_FAILED), {kValueName}));
    }
    run.writeText(kValueName, enabled_ ? std::wstring() : commandLine());
    enabled_ = !enabled_;
}

std::wstring Autostart::commandLine() {
    return L"\"" + framework::modulePath() + L"\"";
}

}  // namespace app

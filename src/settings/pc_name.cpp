#include "settings/pc_name.h"

#include <windows.h>

namespace app {

std::wstring pcName() {
    DWORD size = 0;
    GetComputerNameExW(ComputerNamePhysicalDnsHostname, nullptr, &size);
    std::wstring name(size, L'\0');
    if (size == 0 || !GetComputerNameExW(ComputerNamePhysicalDnsHostname, name.data(), &size)) {
        return L"?";
    }
    name.resize(size);
    return name;
}

}  // namespace app

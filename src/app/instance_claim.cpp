#include "app/instance_claim.h"

#include <windows.h>

#include <utility>

namespace app {
namespace {

// A window caption would also match other programs (a folder named Keypilot in a file manager).
constexpr const wchar_t* kInstanceName = L"Local\\Corvane.Keypilot";

}  // namespace

std::optional<InstanceClaim> InstanceClaim::take() {
    framework::KernelHandle name{CreateMutexW(nullptr, FALSE, kInstanceName)};
    DWORD error = GetLastError();
    if (!name) {
        // Access refused: a Keypilot with higher rights holds it.
        if (error == ERROR_ACCESS_DENIED) {
            return std::nullopt;
        }
        return InstanceClaim{framework::KernelHandle{}};
    }
    if (error == ERROR_ALREADY_EXISTS) {
        return std::nullopt;
    }
    return InstanceClaim{std::move(name)};
}

}  // namespace app

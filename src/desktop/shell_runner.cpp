#include "desktop/shell_runner.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <thread>

namespace app {
namespace {

void shellExecute(const std::wstring& file, const std::wstring& parameters) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // The thread ends right after the call: the shell must finish its work before returning.
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    // A failure is the shell's to tell: it shows its own message to the user.
    ShellExecuteExW(&info);
}

}  // namespace

ShellRunner::ShellRunner() : execute(shellExecute) {}

void ShellRunner::run(const std::wstring& file, const std::wstring& parameters) const {
    std::thread([call = execute, file, parameters] {
        const HRESULT com =
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        try {
            call(file, parameters);
        } catch (const std::exception&) {
            // Dropped: a shell call is the user's request to open something, and only memory can
            // run out around it; the user sees nothing open and may ask again.
        }
        if (SUCCEEDED(com)) {
            CoUninitialize();
        }
    }).detach();
}

}  // namespace app

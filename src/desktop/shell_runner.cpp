#include "desktop/shell_runner.h"

#include <shellapi.h>

namespace app {
namespace {

DWORD shellExecute(const std::wstring& file, const std::wstring& parameters, bool quiet) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // The result is the caller's only when the shell has finished its work.
    info.fMask = SEE_MASK_NOASYNC | (quiet ? SEE_MASK_FLAG_NO_UI : 0);
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) {
        return ERROR_SUCCESS;
    }
    // The shell's own code says what the last error may not: Wine answers a missing association
    // with ERROR_BAD_EXE_FORMAT.
    switch (static_cast<int>(reinterpret_cast<INT_PTR>(info.hInstApp))) {
        case SE_ERR_NOASSOC:
        case SE_ERR_ASSOCINCOMPLETE:
            return ERROR_NO_ASSOCIATION;
        case SE_ERR_FNF:
            return ERROR_FILE_NOT_FOUND;
        case SE_ERR_PNF:
            return ERROR_PATH_NOT_FOUND;
        case SE_ERR_ACCESSDENIED:
            return ERROR_ACCESS_DENIED;
        default:
            break;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
}

}  // namespace

void ShellRunner::run(const std::wstring& file, const std::wstring& parameters, Done done) {
    const bool quiet = static_cast<bool>(done);
    queue_.post(
        [call = execute, file, parameters, quiet] {
            return call ? call(file, parameters) : shellExecute(file, parameters, quiet);
        },
        std::move(done));
}

}  // namespace app

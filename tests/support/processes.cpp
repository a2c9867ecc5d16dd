#include "processes.h"

#include <cstddef>

#include "wine_test_support.h"

namespace testing_support {

DWORD Process::exitCode(DWORD waitMs) const {
    if (!pumpUntil([&] { return WaitForSingleObject(handle.get(), 0) == WAIT_OBJECT_0; }, waitMs)) {
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(handle.get(), &code);
    return code;
}

Process startProcess(const StartOptions& options) {
    std::wstring line = L"\"" + options.exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    Process p;
    const bool held = options.job || options.beforeRun;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, held ? CREATE_SUSPENDED : 0,
                       nullptr, options.folder.empty() ? nullptr : options.folder.c_str(), &si,
                       &pi)) {
        p.handle.reset(pi.hProcess);
        framework::KernelHandle thread{pi.hThread};
        p.id = pi.dwProcessId;
        if (options.job) {
            AssignProcessToJobObject(options.job, pi.hProcess);
        }
        if (options.beforeRun) {
            options.beforeRun(pi.dwProcessId);
        }
        if (held) {
            ResumeThread(pi.hThread);
        }
    }
    return p;
}

framework::KernelHandle processJob() {
    framework::KernelHandle job{CreateJobObjectW(nullptr, nullptr)};
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

DWORD processesStartedIn(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info,
                              nullptr);
    return info.TotalProcesses;
}

std::vector<std::pair<DWORD, std::wstring>> programsRunningIn(HANDLE job) {
    // The list's header, then its ids, each as wide as the header.
    std::vector<ULONG_PTR> buffer(65);
    static_assert(offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList) == sizeof(ULONG_PTR));
    std::vector<std::pair<DWORD, std::wstring>> programs;
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, buffer.data(),
                                   static_cast<DWORD>(buffer.size() * sizeof(ULONG_PTR)),
                                   nullptr)) {
        return programs;
    }
    const auto* header = reinterpret_cast<const JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
    for (DWORD i = 0; i < header->NumberOfProcessIdsInList; ++i) {
        const auto id = static_cast<DWORD>(buffer[1 + i]);
        framework::KernelHandle process{OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id)};
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (process && QueryFullProcessImageNameW(process.get(), 0, path, &size)) {
            programs.emplace_back(id, path);
        }
    }
    return programs;
}

HWND windowOf(DWORD pid, const wchar_t* cls, const wchar_t* caption) {
    for (HWND w = FindWindowExW(nullptr, nullptr, cls, caption); w;
         w = FindWindowExW(nullptr, w, cls, caption)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid) {
            return w;
        }
    }
    return nullptr;
}

WindowsMadeBy::WindowsMadeBy(DWORD id)
    : hook_(SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, &WindowsMadeBy::made,
                            id, 0, WINEVENT_OUTOFCONTEXT)) {
    count = 0;
}

WindowsMadeBy::~WindowsMadeBy() {
    if (hook_) {
        UnhookWinEvent(hook_);
    }
}

void CALLBACK WindowsMadeBy::made(HWINEVENTHOOK, DWORD, HWND, LONG object, LONG, DWORD, DWORD) {
    if (object == OBJID_WINDOW) {
        ++count;
    }
}

}  // namespace testing_support

#include "testbed.h"

#include <vector>

#include "framework/text.h"
#include "wine_test_support.h"

namespace testing_support {

PortPair testbedPair(std::size_t index) {
    std::vector<PortPair> pairs;
    const std::wstring list = environment(L"KEYPILOT_TEST_PORTS");
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(L',', start);
        if (end == std::wstring::npos) {
            end = list.size();
        }
        const std::wstring item = list.substr(start, end - start);
        const std::size_t colon = item.find(L':');
        if (colon != std::wstring::npos) {
            pairs.push_back({item.substr(0, colon), item.substr(colon + 1)});
        }
        start = end + 1;
    }
    return pairs.at(index);
}

PortEnd::PortEnd(const std::wstring& port) {
    handle_.reset(CreateFileW((L"\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    if (!handle_) {
        return;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(handle_.get(), &dcb);
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    SetCommState(handle_.get(), &dcb);
    // Reads return at once with whatever has arrived.
    COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(handle_.get(), &immediate);
    PurgeComm(handle_.get(), PURGE_RXCLEAR);
}

bool PortEnd::send(std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

std::string PortEnd::read(DWORD waitMs) {
    if (waitMs != readWaitMs_) {
        // With both of the first two at MAXDWORD a read waits up to the constant for the first
        // byte and returns with it at once.
        COMMTIMEOUTS timeouts{MAXDWORD, waitMs > 0 ? MAXDWORD : 0, waitMs, 0, 0};
        SetCommTimeouts(handle_.get(), &timeouts);
        readWaitMs_ = waitMs;
    }
    char buffer[256];
    DWORD got = 0;
    if (!ReadFile(handle_.get(), buffer, sizeof buffer, &got, nullptr)) {
        return {};
    }
    return std::string(buffer, got);
}

std::wstring winePath(const std::wstring& linuxPath) {
    std::wstring path = L"Z:" + linuxPath;
    for (auto& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return path;
}

std::optional<std::string> runHostCommand(const std::string& command, DWORD timeoutMs) {
    static int counter = 0;
    const std::wstring base = environment(L"KEYPILOT_TESTBED_DIR") + L"/host-command-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter);
    const std::wstring done = winePath(base + L".done");
    const std::wstring out = winePath(base + L".out");
    // The whole script is one argument in double quotes; quotes inside it are escaped.
    std::wstring script;
    for (wchar_t c : framework::fromUtf8(command)) {
        if (c == L'"') {
            script += L'\\';
        }
        script += c;
    }
    std::wstring line =
        L"/bin/sh -c \"(" + script + L") > '" + base + L".out' 2>&1; touch '" + base + L".done'\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
        return std::nullopt;
    }
    framework::KernelHandle process{pi.hProcess};
    framework::KernelHandle thread{pi.hThread};
    const bool finished = pumpUntil(
        [&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, timeoutMs);
    std::optional<std::string> output;
    if (finished) {
        output = readBytes(out);
    }
    DeleteFileW(done.c_str());
    DeleteFileW(out.c_str());
    return output;
}

DroppedLink::~DroppedLink() {
    if (dropped_) {
        restore();
    }
}

bool DroppedLink::drop() {
    dropped_ = true;
    return run("kill-link");
}

bool DroppedLink::restore() {
    dropped_ = false;
    return run("restore-link");
}

bool DroppedLink::run(const char* what) {
    return runHostCommand(std::string("'") + KEYPILOT_TESTBED_SCRIPT + "' " + what +
                          " \"$KEYPILOT_TESTBED_DIR\" " + framework::toUtf8(port_))
        .has_value();
}

}  // namespace testing_support

// phone.exe: stands in for the phone's program. It writes command codes to a COM port, one write
// per code, as the phone does over its Bluetooth serial link.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "framework/handle.h"
#include "framework/scope_exit.h"
#include "framework/text.h"
#include "link/link_protocol.h"
#include "phone_keys.h"
#include "phone_script.h"

namespace {

enum ExitCode { exitSent = 0, exitBadArguments = 1, exitPortUnavailable = 2, exitWriteFailed = 3 };

void print(DWORD stream, std::string_view utf8) {
    HANDLE h = GetStdHandle(stream);
    if (h == nullptr || h == INVALID_HANDLE_VALUE || utf8.empty()) {
        return;
    }
    DWORD mode = 0, done = 0;
    if (GetConsoleMode(h, &mode)) {
        std::wstring wide = framework::fromUtf8(utf8);
        WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
    } else {
        WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &done, nullptr);
    }
}
void say(std::string_view text) {
    print(STD_OUTPUT_HANDLE, text);
}
void complain(std::string_view text) {
    print(STD_ERROR_HANDLE, "phone: " + std::string(text) + "\n");
}

std::string describeError(DWORD code) {
    std::string text = framework::toUtf8(framework::systemMessage(code));
    return (text.empty() ? std::string("system error") : text) + " (error " + std::to_string(code) +
           ")";
}

// The phone's end of the link: the open port and the time of the last write, so that two codes
// never follow each other closer than the pause.
class PhoneLink {
  public:
    PhoneLink(std::string port, int pauseMs) : port_(std::move(port)), pause_(pauseMs) {}

    // On failure returns the reason for people.
    std::string open() {
        std::wstring path = framework::fromUtf8(phone::devicePath(port_));
        handle_.reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
        if (!handle_) {
            return "cannot open " + port_ + ": " + describeError(GetLastError());
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle_.get(), &dcb)) {
            return setupFailed();
        }
        dcb.BaudRate = CBR_9600;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        if (!SetCommState(handle_.get(), &dcb)) {
            return setupFailed();
        }
        // A link that stops taking bytes must not hang the simulator for ever.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.WriteTotalTimeoutMultiplier = 10;
        timeouts.WriteTotalTimeoutConstant = 5000;
        if (!SetCommTimeouts(handle_.get(), &timeouts)) {
            return setupFailed();
        }
        return {};
    }

    // One WriteFile for the whole payload. On failure returns the reason for people.
    std::string send(const std::string& payload) {
        if (lastWrite_) {
            auto due = *lastWrite_ + pause_;
            auto now = std::chrono::steady_clock::now();
            if (due > now) {
                std::this_thread::sleep_for(due - now);
            }
        }
        DWORD written = 0;
        BOOL ok = WriteFile(handle_.get(), payload.data(), static_cast<DWORD>(payload.size()),
                            &written, nullptr);
        DWORD error = GetLastError();
        lastWrite_ = std::chrono::steady_clock::now();
        if (!ok) {
            return "writing " + phone::describePayload(payload) + " to " + port_ +
                   " failed: " + describeError(error);
        }
        if (written != payload.size()) {
            return "the link took only " + std::to_string(written) + " of the bytes of " +
                   phone::describePayload(payload) + " (write timed out)";
        }
        say("sent " + phone::describePayload(payload) + "\n");
        return {};
    }

  private:
    std::string setupFailed() {
        return "cannot set up " + port_ + " for 9600 8N1: " + describeError(GetLastError());
    }

    std::string port_;
    std::chrono::milliseconds pause_;
    std::optional<std::chrono::steady_clock::time_point> lastWrite_;
    framework::KernelHandle handle_;
};

int runKeys(PhoneLink& link, HANDLE input) {
    // Without processed input Ctrl+C arrives as a key; the mode is put back however this ends.
    DWORD oldMode = 0;
    bool modeSaved = GetConsoleMode(input, &oldMode) != 0;
    if (modeSaved) {
        SetConsoleMode(input, ENABLE_EXTENDED_FLAGS);
    }
    framework::ScopeExit restoreMode([&] {
        if (modeSaved) {
            SetConsoleMode(input, oldMode);
        }
    });
    say(phone::keyHelpText());
    INPUT_RECORD records[16];
    for (;;) {
        DWORD count = 0;
        if (!ReadConsoleInputW(input, records, 16, &count)) {
            complain("reading the keyboard failed: " + describeError(GetLastError()));
            return exitSent;
        }
        for (DWORD i = 0; i < count; ++i) {
            if (records[i].EventType != KEY_EVENT) {
                continue;
            }
            const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
            if (!key.bKeyDown) {
                continue;
            }
            auto action = phone::actionForKey(key.wVirtualKeyCode, key.uChar.UnicodeChar,
                                              key.dwControlKeyState);
            if (action.kind == phone::KeyAction::Kind::quit) {
                return exitSent;
            }
            if (action.kind != phone::KeyAction::Kind::send) {
                continue;
            }
            for (WORD n = 0; n < std::max<WORD>(key.wRepeatCount, 1); ++n) {
                std::string failure = link.send(std::string(action.code));
                if (!failure.empty()) {
                    complain(failure);
                    return exitWriteFailed;
                }
            }
        }
    }
}

// Standard input is a pipe or a file: every word is a code or a name, "q" or "quit" ends.
// A word that means nothing is reported and skipped, so one typing error loses no other code.
int runWords(PhoneLink& link, HANDLE input) {
    std::string pending;
    auto handleWord = [&](const std::string& word) -> std::optional<int> {
        if (word == "q" || word == "quit" || word == "Q") {
            return exitSent;
        }
        const std::string words[] = {word};
        size_t at = 0;
        std::string why;
        auto payload = phone::payloadFor(words, at, why);
        if (!payload) {
            complain(why + "; skipped");
            return std::nullopt;
        }
        std::string failure = link.send(*payload);
        if (!failure.empty()) {
            complain(failure);
            return exitWriteFailed;
        }
        return std::nullopt;
    };
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        bool more = ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0;
        if (more) {
            pending.append(buffer, got);
        }
        // Words are taken once a blank ends them, or all of them at the end of the input.
        size_t start = 0, i = 0;
        for (; i < pending.size(); ++i) {
            if (!isBlank(pending[i])) {
                continue;
            }
            if (i > start) {
                if (auto done = handleWord(pending.substr(start, i - start))) {
                    return *done;
                }
            }
            start = i + 1;
        }
        pending.erase(0, start);
        if (!more) {
            if (!pending.empty()) {
                if (auto done = handleWord(pending)) {
                    return *done;
                }
            }
            return exitSent;
        }
    }
}

int run(const std::vector<std::string>& args) {
    auto parsed = phone::parseArguments(args);
    if (!parsed.ok()) {
        complain(parsed.error);
        complain("nothing was sent; see phone --help");
        return exitBadArguments;
    }
    const auto& inv = parsed.invocation;
    if (inv.help) {
        say(phone::usageText());
        return exitSent;
    }
    if (inv.table) {
        say(phonelink::linkTableJson() + "\n");
        return exitSent;
    }
    PhoneLink link(inv.port, inv.pauseMs);
    if (std::string failure = link.open(); !failure.empty()) {
        complain(failure);
        return exitPortUnavailable;
    }
    for (const auto& payload : inv.payloads) {
        if (std::string failure = link.send(payload); !failure.empty()) {
            complain(failure);
            return exitWriteFailed;
        }
    }
    if (!inv.interactive) {
        return exitSent;
    }
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input != nullptr && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode)) {
        return runKeys(link, input);
    }
    return runWords(link, input);
}

std::vector<std::string> commandLineArguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) {
        return args;
    }
    for (int i = 1; i < count; ++i) {
        args.push_back(framework::toUtf8(argv[i]));
    }
    LocalFree(argv);
    return args;
}

}  // namespace

int main() {
    try {
        return run(commandLineArguments());
    } catch (const std::exception& e) {
        complain(e.what());
        return exitWriteFailed;
    }
}

#include "app/command_handler.h"

#include <optional>
#include <string>
#include <vector>

#include "app/master_volume.h"
#include "app/launch_command.h"
#include "framework/handle.h"

namespace app {

void pressForegroundKey(unsigned vk, const CommandContext& context) {
    SendMessageW(GetForegroundWindow(), WM_KEYDOWN, vk, 0);
    context.processMessages();
    SendMessageW(GetForegroundWindow(), WM_KEYUP, vk, 0);
}

namespace {

bool isExistingFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The text a Win32 call writes into a buffer it sizes by its result; nothing when it fails.
template <class Call>
std::optional<std::wstring> textFrom(Call call) {
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = call(static_cast<DWORD>(text.size()), text.data());
        if (n == 0) {
            return std::nullopt;
        }
        if (n < text.size()) {
            text.resize(n);
            return text;
        }
        text.resize(n);
    }
}

std::optional<std::wstring> findOnSearchPath(const std::wstring& name) {
    return textFrom([&](DWORD size, wchar_t* buffer) {
        return SearchPathW(nullptr, name.c_str(), L".exe", size, buffer, nullptr);
    });
}

std::wstring fullPathOf(const std::wstring& path) {
    return textFrom([&](DWORD size, wchar_t* buffer) {
               return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
           })
        .value_or(path);
}

std::wstring commandInterpreter() {
    if (auto comSpec = textFrom([](DWORD size, wchar_t* buffer) {
            return GetEnvironmentVariableW(L"ComSpec", buffer, size);
        })) {
        return *comSpec;
    }
    return textFrom([](DWORD size, wchar_t* buffer) {
               return GetSystemDirectoryW(buffer, size);
           }).value_or(L"C:\\Windows\\System32") +
           L"\\cmd.exe";
}

}  // namespace

bool launchProgram(const std::wstring& text) {
    auto command = resolveLaunchCommand(text, &isExistingFile, &findOnSearchPath);
    if (!command) {
        return false;
    }
    command->program = fullPathOf(command->program);
    std::wstring application = command->program;
    std::wstring line = commandLineOf(*command);
    if (isBatchFile(application)) {
        application = commandInterpreter();
        line = batchCommandLineOf(application, *command);
    }
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(application.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return false;
    }
    framework::KernelHandle process{info.hProcess};
    framework::KernelHandle thread{info.hThread};
    return true;
}

void runCommand(Command command, const CommandContext& context) {
    if (auto direction = cursorDirectionOf(command)) {
        POINT p;
        if (!GetCursorPos(&p)) {
            return;
        }
        int step = context.cursorStep();
        SetCursorPos(p.x + direction->dx * step, p.y + direction->dy * step);
        return;
    }
    switch (command) {
        case Command::Escape:
        case Command::PageDown:
        case Command::PageUp:
            pressForegroundKey(keyOf(command), context);
            break;
        case Command::StartMenu:
            SendMessageW(context.mainWindow, WM_SYSCOMMAND, SC_TASKLIST, 0);
            break;
        case Command::ClickEnter:
            mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
            context.processMessages();
            mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
            context.processMessages();
            pressForegroundKey(keyOf(command), context);
            break;
        case Command::VolumeUp:
        case Command::VolumeDown:
            // The step drops its own failures: one that fails has no effect and shows nothing.
            if (context.mixer) {
                stepMasterVolume(
                    command == Command::VolumeUp ? VolumeDirection::Up : VolumeDirection::Down,
                    *context.mixer, context.processMessages);
            }
            break;
        case Command::Launch:
            launchProgram(context.programText());
            break;
        default:
            break;
    }
}

void handleChunk(std::string_view chunk, const CommandContext& context) {
    if (auto command = parseCommand(chunk)) {
        runCommand(*command, context);
    }
}

}  // namespace app

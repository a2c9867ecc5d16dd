#include "app/command_handler.h"

#include <optional>
#include <string>
#include <vector>

#include "app/master_volume.h"
#include "app/launch_command.h"
#include "framework/handle.h"

namespace app {

namespace {

// A bounded send. Not SMTO_BLOCK: while it waits, messages sent to this thread are still served
// (as a plain SendMessage does), so a window that answers a key by sending to us cannot hold us
// for the whole time-out. The messages of one thread reach the other in the order sent; one that
// the window had not taken when the time-out passed is dropped, never delivered late.
void sendKeyMessage(UINT msg, unsigned vk) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(GetForegroundWindow(), msg, vk, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                        kKeyMessageTimeoutMs, &result);
}

// PgUp and PgDn of the navigation block are extended keys; without the flag some programs take
// them for the number pad's 9 and 3.
bool isExtendedKey(unsigned vk) {
    return vk == VK_PRIOR || vk == VK_NEXT;
}

void typeKey(unsigned vk) {
    INPUT inputs[2]{};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = static_cast<WORD>(vk);
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = isExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0;
    }
    inputs[1].ki.dwFlags |= KEYEVENTF_KEYUP;
    // One call, so no other input can come between the key's down and up.
    SendInput(2, inputs, sizeof(INPUT));
}

}  // namespace

void pressForegroundKey(unsigned vk, const CommandContext& context) {
    if (context.keys == KeyDelivery::Input) {
        typeKey(vk);
        return;
    }
    sendKeyMessage(WM_KEYDOWN, vk);
    context.processMessages();
    sendKeyMessage(WM_KEYUP, vk);
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
    const std::vector<Command> commands = parseChunk(chunk);
    for (size_t i = 0; i < commands.size(); ++i) {
        if (i > 0) {
            context.processMessages();
            if (context.ending && context.ending()) {
                return;
            }
        }
        runCommand(commands[i], context);
    }
}

}  // namespace app

#include "app/command_handler.h"

#include <vector>

#include "app/master_volume.h"
#include "app/settings_values.h"
#include "framework/handle.h"

namespace app {

void pressForegroundKey(unsigned vk, const CommandContext& context) {
    SendMessageW(GetForegroundWindow(), WM_KEYDOWN, vk, 0);
    context.processMessages();
    SendMessageW(GetForegroundWindow(), WM_KEYUP, vk, 0);
}

bool launchProgram(const std::wstring& commandLine) {
    if (commandLine.empty()) {
        return false;
    }
    std::wstring line = commandLine;
    DWORD attributes = GetFileAttributesW(commandLine.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        line = quotedIfBlank(commandLine);
    }
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
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

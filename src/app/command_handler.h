// Performs the phone's commands on the desktop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "app/command_table.h"

namespace mixer {
class AudioMixer;
}

namespace app {

// What the commands read live from the settings window and the program around them.
struct CommandContext {
    std::function<int()> cursorStep;
    std::function<std::wstring()> programText;
    // The process-pending-messages step between a command's steps.
    std::function<void()> processMessages;
    HWND mainWindow = nullptr;
    mixer::AudioMixer* mixer = nullptr;
};

// Handles one receive chunk: performs its command, or drops a chunk that is no command.
void handleChunk(std::string_view chunk, const CommandContext& context);
void runCommand(Command command, const CommandContext& context);

// Key down to the foreground window, process messages, key up to the foreground window as it is
// then; both sent directly with lParam 0.
void pressForegroundKey(unsigned vk, const CommandContext& context);

// Starts a command line shown normally. A text that names an existing file as a whole is quoted
// first, so "C:\Program Files\App\app.exe" can never start "C:\Program.exe". Returns whether a
// process started; an empty text starts nothing.
bool launchProgram(const std::wstring& commandLine);

}  // namespace app

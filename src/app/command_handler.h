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

// Starts the program the text names, shown normally, handing it the rest of the text as its
// arguments; a batch file runs through the command interpreter. The program is resolved here
// (see resolveLaunchCommand), never guessed by the system. Returns whether a process started;
// a text that names no program starts nothing.
bool launchProgram(const std::wstring& text);

}  // namespace app

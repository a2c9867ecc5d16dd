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
    // Whether the program is ending (a quit seen while messages were processed); the rest of a
    // chunk is then dropped, as later events would be. Empty: never.
    std::function<bool()> ending;
    KeyDelivery keys = KeyDelivery::Messages;
    HWND mainWindow = nullptr;
    mixer::AudioMixer* mixer = nullptr;
};

// Handles one receive chunk: performs each of its codes in order, with the pending messages
// processed between them as between separate chunks, or drops a chunk that is not made only of
// whole codes.
void handleChunk(std::string_view chunk, const CommandContext& context);
void runCommand(Command command, const CommandContext& context);

// Waits at most this long for a window to take one key message, so a window that does not answer
// cannot stall the commands after it.
constexpr UINT kKeyMessageTimeoutMs = 500;

// Messages: key down to the foreground window, process messages, key up to the foreground window
// as it is then; both sent directly with lParam 0, each waiting at most kKeyMessageTimeoutMs.
// Input: one key press (down, then up) through the input queue.
void pressForegroundKey(unsigned vk, const CommandContext& context);

}  // namespace app

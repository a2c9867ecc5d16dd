// Performs the phone's commands on the desktop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/command_table.h"
#include "link/link_protocol.h"
#include "settings/settings_values.h"

namespace mixer {
class AudioMixer;
}

namespace app {

class LeftButtonHold;
class ProgramLauncher;

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
    // The left button of a drag; without it a drag's down and up do nothing.
    LeftButtonHold* leftButton = nullptr;
    // Where code 00 starts the program, off this thread; without it code 00 does nothing.
    ProgramLauncher* launcher = nullptr;
    // A press of the PC's own buttons or its confirmation, in its place among the messages.
    // Empty: they do nothing.
    std::function<void(const phonelink::Message&)> button;
    // A hello or a sign of life, in its place among the messages: the talk with the phone is the
    // program's. Empty: they do nothing.
    std::function<void(const phonelink::Message&)> talk;
};

// Performs the messages of one receive chunk in order, with the pending messages processed
// between them as between separate chunks. Of levels set one right after another, only the last
// is set: the ones before it would be undone at once.
void handleMessages(const std::vector<phonelink::Message>& messages, const CommandContext& context);
void runMessage(const phonelink::Message& message, const CommandContext& context);
void runCommand(phonelink::Command command, const CommandContext& context);

// Waits at most this long for a window to take one key message, so a window that does not answer
// cannot stall the commands after it.
constexpr UINT kKeyMessageTimeoutMs = 500;

// Messages: key down to the foreground window, process messages, key up to the foreground window
// as it is then; both sent directly with lParam 0, each waiting at most kKeyMessageTimeoutMs.
// Input: one key press (down, then up) through the input queue.
void pressForegroundKey(unsigned vk, const CommandContext& context);

}  // namespace app

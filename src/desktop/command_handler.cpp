#include "desktop/command_handler.h"

#include <vector>

#include "desktop/key_input.h"
#include "desktop/launch_program.h"
#include "desktop/master_volume.h"
#include "desktop/pointer_input.h"

namespace app {

using phonelink::Command;
using phonelink::Message;
using phonelink::MessageKind;

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

// A click while the phone holds the left button would be a second down with no up between; the
// drag ends first, with its one up, and the click is then a whole press of its own.
void endDrag(const CommandContext& context) {
    if (context.leftButton) {
        context.leftButton->release();
    }
}

}  // namespace

void pressForegroundKey(unsigned vk, const CommandContext& context) {
    if (context.keys == KeyDelivery::Input) {
        pressKey(vk, isExtendedKey(vk));
        return;
    }
    sendKeyMessage(WM_KEYDOWN, vk);
    context.processMessages();
    sendKeyMessage(WM_KEYUP, vk);
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
            endDrag(context);
            sendButton(MouseButton::Left, ButtonHalf::Down);
            context.processMessages();
            sendButton(MouseButton::Left, ButtonHalf::Up);
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
            if (context.launcher) {
                // Dropped: code 00 names no button, so no answer can tell the phone that nothing
                // started; the user sees no program come and may press again.
                context.launcher->launch(context.programText());
            }
            break;
        default:
            break;
    }
}

void runMessage(const Message& message, const CommandContext& context) {
    switch (message.kind) {
        case MessageKind::Command:
            runCommand(message.command, context);
            break;
        case MessageKind::Ping:
        case MessageKind::Hello:
            if (context.talk) {
                context.talk(message);
            }
            break;
        case MessageKind::Move:
            moveCursorBy(message.dx, message.dy);
            break;
        case MessageKind::Scroll:
            turnWheel(message.dx, message.dy);
            break;
        case MessageKind::LeftClick:
            endDrag(context);
            clickButton(MouseButton::Left);
            break;
        case MessageKind::RightClick:
            clickButton(MouseButton::Right);
            break;
        case MessageKind::LeftDown:
            if (context.leftButton) {
                context.leftButton->press();
            }
            break;
        case MessageKind::LeftUp:
            if (context.leftButton) {
                context.leftButton->release();
            }
            break;
        case MessageKind::Key:
            pressLinkKey(message.key);
            break;
        case MessageKind::Mute:
            if (context.mixer) {
                toggleMasterMute(*context.mixer);
            }
            break;
        case MessageKind::Text:
            typeText(message.text);
            break;
        case MessageKind::SetVolume:
            if (context.mixer) {
                setMasterLevel(message.level, *context.mixer, &openDefaultPlaybackEndpoint);
            }
            break;
        case MessageKind::PressButton:
        case MessageKind::ConfirmButton:
            if (context.button) {
                context.button(message);
            }
            break;
    }
}

void handleMessages(const std::vector<Message>& messages, const CommandContext& context) {
    for (size_t i = 0; i < messages.size(); ++i) {
        if (messages[i].kind == MessageKind::SetVolume && i + 1 < messages.size() &&
            messages[i + 1].kind == MessageKind::SetVolume) {
            continue;
        }
        if (i > 0) {
            context.processMessages();
            if (context.ending && context.ending()) {
                return;
            }
        }
        runMessage(messages[i], context);
    }
}

}  // namespace app

// The link's messages, version 4: the twelve digit codes and the lettered frames (pointer, keys,
// text, mute, volume, the phone's sign of life and its hello, the presses of the PC's own buttons
// and their confirmations), their one table, and the reader that turns received chunks into
// messages. The wire format and its reasons are written out in
// docs/protocol.md. No Windows calls here: it builds natively too, for the sanitizers and the
// fuzzer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/command_table.h"
#include "link/owning_thread.h"

namespace phonelink {

// 1: the twelve codes only; 2: the frames as well; 3: the hello, the level, and answers to a
// sender that said hello (link/answer.h, link/talk.h); 4: the PC's own buttons, their list sent to
// the phone and their presses, a power action's with a confirmation (link/button_press.h).
inline constexpr int kProtocolVersion = 4;

// A kept unfinished frame is joined to the next chunk only when that arrives within this time.
inline constexpr std::uint64_t kKeptFrameLifetimeMs = 200;
// The most a move (pixels) or a scroll (wheel units) carries on each axis, either way: three
// digits.
inline constexpr int kMaxOffset = 999;
// A text frame carries 1 to this many bytes of UTF-8.
inline constexpr std::size_t kMaxTextBytes = 1000;
// The master level a volume frame sets, in per cent: four digits, 0000 to this.
inline constexpr int kMaxLevel = 100;
// The longest frame on the wire: "TX", four digits of length, two hex digits per byte.
inline constexpr std::size_t kLongestFrameChars = 2 + 4 + 2 * kMaxTextBytes;
// A button's id on the wire: four digits, 0001 to this.
inline constexpr int kMaxButtonId = 9999;
// A confirmation's token: six upper-case hex digits, below this.
inline constexpr std::uint32_t kTokenLimit = 0x1000000;
// A left button held by "DN" is let go after this long with no complete message from the phone,
// so that a phone that goes away mid-drag cannot leave it down; a phone keeps a drag alive by
// signing more often than this.
inline constexpr std::uint64_t kHeldButtonSilenceMs = 1500;

// The keys a frame may press, always as real key input whatever the key delivery setting says.
enum class LinkKey {
    Enter,
    Backspace,
    Tab,
    Escape,
    PlayPause,
    NextTrack,
    PreviousTrack,
    F5,     // start a slideshow
    Right,  // next slide
    Left,   // previous slide
    B,      // black screen during a slideshow
};

// What each message asks for, its wire form (units of two characters; the one table is
// frameTable(), the reasons are in docs/protocol.md), its limits, and the action in src/app that
// carries it out on Windows (command_handler.cpp hands each kind to it).
enum class MessageKind {
    // "00" to "11": one of the twelve codes (command_table.h); command_handler.cpp runCommand.
    Command,
    // "PI": the phone's sign of life. Nothing is done; like every message, it keeps the phone
    // heard (phone_contact.h) and a held button held.
    Ping,
    // "MV" sign, three digits, sign, three digits ("MV+010-005"): the cursor dx, dy pixels from
    // where it is, each -kMaxOffset to kMaxOffset, positive dx right and dy down. Moves that
    // follow each other in one chunk come as one, summed. pointer_input.cpp moveCursorBy:
    // GetCursorPos, then SetCursorPos (no pointer acceleration added).
    Move,
    // "SC", like MV: the wheel by dx, dy wheel units (120 a notch), each within kMaxOffset,
    // positive dy up (away from the user) and dx right. pointer_input.cpp turnWheel: SendInput
    // with MOUSEEVENTF_WHEEL and MOUSEEVENTF_HWHEEL.
    Scroll,
    // "CL": the left button down and up, no Enter; a drag under way ends first. pointer_input.cpp
    // clickButton: one SendInput of both.
    LeftClick,
    // "CR": the right button down and up. pointer_input.cpp clickButton.
    RightClick,
    // "DN": the left button held for a drag, until "UP", kHeldButtonSilenceMs without a complete
    // message, the port's close or Keypilot's end. pointer_input.cpp LeftButtonHold::press.
    LeftDown,
    // "UP": the held left button let go. pointer_input.cpp LeftButtonHold::release.
    LeftUp,
    // "KY" and a key's two characters ("KYPP"): one press of that key from keyTable(), always as
    // real key input. key_input.cpp pressLinkKey: one SendInput of its down and up.
    Key,
    // "MU": the master volume muted or unmuted. master_volume.cpp toggleMasterMute.
    Mute,
    // "TX", four digits of length (1 to kMaxTextBytes), then each byte of UTF-8 as two upper-case
    // hex digits: a text typed by typedText's rule. key_input.cpp typeText: one SendInput of
    // Unicode key presses (KEYEVENTF_UNICODE), Enter and Tab as real keys.
    Text,
    // "HI" and two digits ("HI03"): the sender's link version; any two digits are a hello. A sign
    // of life like "PI", and the one thing that makes Keypilot answer (link/talk.h): keypilot.cpp
    // hands it to the phone's talk, which sends the hello answer.
    Hello,
    // "VL" and four digits, 0000 to kMaxLevel ("VL0042"): the master level in per cent, mute as it
    // is. master_volume.cpp setMasterLevel.
    SetVolume,
    // "BT" and four digits, 0001 to kMaxButtonId ("BT0006"): a press of the PC's button with that
    // id, from the list Keypilot sent. Counts only from a sender that talks (link/talk.h); an id
    // that does not exist does nothing. keypilot.cpp hands it to button_presses.cpp, which runs
    // the button's action, or for a power action answers with a confirmation's token.
    PressButton,
    // "CF", the button's four digits, and six upper-case hex digits of the token Keypilot sent for
    // its press ("CF0006A1B2C3"): the press confirmed. Acts once, within
    // ButtonConfirmations::kConfirmMs of the token (link/button_press.h); any other does nothing.
    ConfirmButton,
};

struct Message {
    MessageKind kind = MessageKind::Ping;
    Command command = Command::Launch;  // for Command
    // Move: pixels, positive dx right, positive dy down (screen coordinates).
    // Scroll: wheel units, positive dx right, positive dy up (away from the user).
    int dx = 0;
    int dy = 0;
    LinkKey key = LinkKey::Enter;  // for Key
    // For Text: UTF-16 code units, a character beyond U+FFFF as its surrogate pair.
    std::u16string text;
    int version = 0;          // for Hello: 0 to 99
    int level = 0;            // for SetVolume: 0 to kMaxLevel
    int button = 0;           // for PressButton and ConfirmButton: 1 to kMaxButtonId
    std::uint32_t token = 0;  // for ConfirmButton: below kTokenLimit

    static Message ofCommand(Command c);
    static Message ofKind(MessageKind k);  // the kinds without parameters
    static Message move(int dx, int dy);
    static Message scroll(int dx, int dy);
    static Message ofKey(LinkKey k);
    static Message typing(std::u16string text);
    static Message hello(int version);
    static Message setVolume(int level);
    static Message pressButton(int button);
    static Message confirmButton(int button, std::uint32_t token);

    bool operator==(const Message&) const = default;
};

// The one table of the link: what the product, the phone simulator and (checked by a test) the
// page's own table agree on.
struct FrameEntry {
    std::string_view opcode;  // two characters, the first an upper-case letter
    MessageKind kind;
    std::size_t
        units;  // two-character units of the whole frame; for a text, those before its bytes
    bool lengthPrefixed;           // a text: nnnn then nnnn units of one byte each
    std::string_view name;         // the phone simulator's word
    std::string_view parameters;   // how the simulator takes its parameters, for its help
    std::string_view description;  // what Keypilot does with it
};
struct KeyEntry {
    std::string_view id;  // the two characters after "KY"
    LinkKey key;
    unsigned virtualKey;
    bool extended;                 // sent with KEYEVENTF_EXTENDEDKEY
    std::string_view name;         // the phone simulator's word
    std::string_view description;  // what the key does
};
std::span<const FrameEntry> frameTable();
std::span<const KeyEntry> keyTable();
const KeyEntry& keyEntry(LinkKey key);

// The wire text of one message; nothing when it cannot be sent (an offset beyond kMaxOffset, an
// empty or too long text, a lone surrogate in a text, a version beyond two digits, a level beyond
// kMaxLevel, a button id outside 1 to kMaxButtonId, a token of kTokenLimit or more).
std::optional<std::string> encodeMessage(const Message& message);

// A button's id as the wire and the answers write it: four digits ("0006"); empty outside 0 to
// kMaxButtonId.
std::string buttonIdText(int button);
// A confirmation's token as the wire and the answers write it: six upper-case hex digits of its
// low 24 bits ("A1B2C3").
std::string tokenText(std::uint32_t token);

// A text frame's text as it is typed: each line end (CR LF, CR or LF) becomes one CR, typed as
// one Enter; a tab stays, typed as Tab; every other control character (U+0000 to U+001F, U+007F
// to U+009F) is left out, and the rest of the text is typed as it stands. So a text pasted on any
// system gives one line break per line, and no byte of it can act as a key the link's key frames
// are there for (Backspace, Escape).
std::u16string typedText(std::u16string_view text);

// Strict UTF-8 (no overlong form, surrogate or value beyond U+10FFFF) as UTF-16; nothing for
// bytes that are not UTF-8.
std::optional<std::u16string> utf16FromUtf8(std::string_view utf8);

// The whole table as JSON, for tests of other tables (the page's) to compare against:
// {"version":4,
//  "limits":{"maxOffset","maxTextBytes","longestFrameChars","keptFrameLifetimeMs",
//            "pingingSilenceMs","quietSilenceMs","heldButtonSilenceMs","maxLevel",
//            "maxAnswerBytes","maxButtonId","maxButtons","confirmMs"},
//  "codes":[{"code","name","description"}...],
//  "frames":[{"opcode","kind","units","lengthPrefixed","name","parameters","description"}...],
//  "keys":[{"id","frame","virtualKey","extended","name","description"}...]}
// (names are the phone simulator's words; "frame" is the whole key frame, "KYPP").
std::string linkTableJson();

// Reads the link's chunks, one reader per open port.
//
// A chunk is valid when it is a run of whole digit codes and complete frames in any order,
// optionally ending in one unfinished frame whose every character so far can still begin a valid
// frame. Only a valid chunk acts; anything else (an odd digit, an unknown code or opcode, a bad
// sign, digit or hex, a length out of range, invalid UTF-8) makes the whole chunk act on nothing.
// An unfinished frame is kept and continued by the next chunk, which the same rule then judges
// together with it; the kept frame is dropped when that chunk comes more than
// kKeptFrameLifetimeMs later (the chunk is then read on its own), when the joined text is not
// valid, and on reset(). Digit codes are never joined over chunks: "0" then "6" is nothing.
// Each character is read once: a kept frame keeps its place, so a frame that arrives a byte at a
// time costs no more than one that arrives whole.
class LinkReader {
  public:
    struct Result {
        // What to do, in order. Moves that follow each other directly are summed into one.
        std::vector<Message> messages;
        // Whether the phone was heard: the chunk was valid and completed at least one message (a
        // code, a frame, a sign of life). Noise on the line, and the start of a frame that has
        // not ended yet, do not count.
        bool heard = false;
    };

    LinkReader();
    ~LinkReader();
    LinkReader(const LinkReader&) = delete;
    LinkReader& operator=(const LinkReader&) = delete;

    // One received chunk and when it arrived (milliseconds of a steady clock).
    Result feed(std::string_view chunk, std::uint64_t arrivalMs);

    // The port closed or changed: any kept frame goes.
    void reset();

    // Whether an unfinished frame waits for its continuation.
    bool holdsFrame() const { return inFrame_; }

  private:
    class FrameParser;
    // The chunk is not valid: nothing of it acts and a kept frame goes.
    void dropChunk(Result& result);

    std::unique_ptr<FrameParser> frame_;
    bool inFrame_ = false;
    std::uint64_t keptAt_ = 0;
    OwningThread owner_;
};

}  // namespace phonelink

// What Keypilot sends back to a phone that said hello: lines of UTF-8 JSON, each one object with a
// "type", ending in LF. A line is never longer than kMaxAnswerBytes with its LF, so that a reader
// on the phone can refuse anything longer as garbage without ever holding more; a reader ignores
// a type and fields it does not know, so later versions can add both. docs/protocol.md has the
// lines and their reasons.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace phonelink {

inline constexpr std::size_t kMaxAnswerBytes = 4096;

// The master volume as the phone shows it.
struct VolumeState {
    int percent = 0;  // 0 to 100; anything outside is held to it
    bool muted = false;
    bool operator==(const VolumeState&) const = default;
};

// The language Keypilot's own texts are shown in.
enum class TextLanguage { English, Russian };

// {"type":"hello","version":3,"name":"DESKTOP-7Q2","language":"en","volume":42,"muted":false}
// and LF: the answer to a hello. volume and muted are null without a master volume. A name too
// long for the line is cut at a character's end; a lone surrogate in it becomes U+FFFD.
std::string encodeHelloAnswer(std::u16string_view name, TextLanguage language,
                              std::optional<VolumeState> volume);

// {"type":"volume","volume":42,"muted":false} and LF: the master volume changed.
std::string encodeVolumeState(std::optional<VolumeState> volume);

// One of the PC's buttons as the phone shows it.
struct ButtonListing {
    int id = 0;                // 1 to kMaxButtonId
    std::u16string_view name;  // 1 to 24 characters, none of them a control character
    bool needsConfirmation = false;
};

// {"type":"buttons","buttons":[{"id":"0001","name":"Lock"},
// {"id":"0006","name":"Sleep","confirm":true}]} and LF: the buttons in their order, "confirm"
// only for those whose press needs a confirmation. kMaxButtons of the longest names fit; should
// more come, those that would make the line too long are left out, with all after them.
std::string encodeButtonList(std::span<const ButtonListing> buttons);

// {"type":"confirm","id":"0006","token":"A1B2C3","seconds":3} and LF: the answer to a press that
// needs a confirmation, which the phone sends back as "CF" with the id and the token.
std::string encodeConfirmRequest(int button, std::uint32_t token, int seconds);

// Why a press of one of the PC's buttons did nothing, as few reasons as the phone can word for
// its user: each says what the user can do about it.
enum class FailureReason {
    NotFound,   // "notFound": the program, the file or the folder is not there
    Denied,     // "denied": Windows refused access, or the program needs administrator rights
    NoProgram,  // "noProgram": no program on the PC opens the address
    Busy,       // "busy": the PC took too many presses at once and let this one go
    Refused,    // "refused": the system refused it for another reason
    NoToken,    // "noToken": no confirmation token could be made
};

// The reason as the line writes it.
std::string_view failureReasonText(FailureReason reason);

// {"type":"failed","id":"0006","reason":"notFound"} and LF: a press of the button did nothing,
// and why. Sent when the system answers, which for a program or an address is later than the
// press.
std::string encodeButtonFailure(int button, FailureReason reason);

}  // namespace phonelink

#include "link/answer.h"

#include <algorithm>

#include "i18n/text_codec.h"
#include "link/json_text.h"
#include "link/link_protocol.h"

namespace phonelink {
namespace {

void addVolume(JsonObject& object, const std::optional<VolumeState>& volume) {
    if (!volume) {
        object.null("volume");
        object.null("muted");
        return;
    }
    object.number("volume", static_cast<std::size_t>(std::clamp(volume->percent, 0, 100)));
    object.flag("muted", volume->muted);
}

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// As many whole characters of name as fit in room bytes of escaped UTF-8: a name cut inside a
// character would be bytes no phone can show.
std::string escapedNameWithin(std::u16string_view name, std::size_t room) {
    std::string out;
    std::string piece;
    for (std::size_t i = 0; i < name.size(); ++i) {
        std::u16string_view character = name.substr(i, 1);
        if (isHighSurrogate(name[i]) && i + 1 < name.size() && isLowSurrogate(name[i + 1])) {
            character = name.substr(i++, 2);
        } else if (isHighSurrogate(name[i]) || isLowSurrogate(name[i])) {
            character = u"\uFFFD";
        }
        piece.clear();
        // Never empty: a lone surrogate was replaced above.
        appendJsonEscaped(piece, i18n::encodeUtf8(character).value_or(std::string()));
        if (out.size() + piece.size() > room) {
            break;
        }
        out += piece;
    }
    return out;
}

}  // namespace

std::string encodeHelloAnswer(std::u16string_view name, TextLanguage language,
                              std::optional<VolumeState> volume) {
    // The line without the name tells how much room the name has.
    static constexpr std::string_view kNameMark = "\x01";
    std::string frame;
    {
        JsonObject object(frame);
        object.text("type", "hello");
        object.number("version", kProtocolVersion);
        object.name("name");
        frame += '"';
        frame += kNameMark;
        frame += '"';
        object.text("language", language == TextLanguage::Russian ? "ru" : "en");
        addVolume(object, volume);
    }
    frame += '\n';
    const std::size_t mark = frame.find(kNameMark);
    const std::size_t room = kMaxAnswerBytes - (frame.size() - kNameMark.size());
    return frame.replace(mark, kNameMark.size(), escapedNameWithin(name, room));
}

std::string encodeButtonList(std::span<const ButtonListing> buttons) {
    // The line's end, written once the buttons are in: "]}" and LF.
    static constexpr std::size_t kClosing = 3;
    std::string line = R"({"type":"buttons","buttons":[)";
    bool first = true;
    std::string entry;
    for (const auto& button : buttons) {
        entry.clear();
        if (!first) {
            entry += ',';
        }
        {
            JsonObject object(entry);
            object.text("id", buttonIdText(button.id));
            object.name("name");
            entry += '"';
            entry += escapedNameWithin(button.name, kMaxAnswerBytes);
            entry += '"';
            if (button.needsConfirmation) {
                object.flag("confirm", true);
            }
        }
        if (line.size() + entry.size() + kClosing > kMaxAnswerBytes) {
            break;
        }
        line += entry;
        first = false;
    }
    line += "]}\n";
    return line;
}

std::string encodeConfirmRequest(int button, std::uint32_t token, int seconds) {
    std::string line;
    {
        JsonObject object(line);
        object.text("type", "confirm");
        object.text("id", buttonIdText(button));
        object.text("token", tokenText(token));
        object.number("seconds", static_cast<std::size_t>(std::max(seconds, 0)));
    }
    line += '\n';
    return line;
}

std::string_view failureReasonText(FailureReason reason) {
    switch (reason) {
        case FailureReason::NotFound:
            return "notFound";
        case FailureReason::Denied:
            return "denied";
        case FailureReason::NoProgram:
            return "noProgram";
        case FailureReason::Busy:
            return "busy";
        case FailureReason::Refused:
            return "refused";
        case FailureReason::NoToken:
            return "noToken";
    }
    return "refused";
}

std::string encodeButtonFailure(int button, FailureReason reason) {
    std::string line;
    {
        JsonObject object(line);
        object.text("type", "failed");
        object.text("id", buttonIdText(button));
        object.text("reason", failureReasonText(reason));
    }
    line += '\n';
    return line;
}

std::string encodeVolumeState(std::optional<VolumeState> volume) {
    std::string line;
    {
        JsonObject object(line);
        object.text("type", "volume");
        addVolume(object, volume);
    }
    line += '\n';
    return line;
}

}  // namespace phonelink

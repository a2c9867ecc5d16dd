// Feeds the link's reader arbitrary bytes cut into chunks with arbitrary pauses between them, and
// checks what must hold for any input:
// - a chunk that is not valid does nothing, and only a chunk that completes a message is heard;
// - every message but a summed move writes back to a text that reads as that message alone, so
//   every value read (an offset, a hello's version, a level, a button's id, a token) is within its
//   frame's bounds;
// - a chunk of digits alone, with no frame kept, reads exactly as the twelve-code rule says;
// - when every chunk was valid and none came late, the messages are those of the whole text read
//   at once (with moves summed alike).
//
// Input: chunks, each a pause byte (its value times 2 ms) and then bytes up to the next 0xFF.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_protocol.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Moves that follow each other, summed; the reader sums only within one chunk.
std::vector<phonelink::Message> summed(const std::vector<phonelink::Message>& messages) {
    std::vector<phonelink::Message> out;
    for (const auto& m : messages) {
        if (m.kind == phonelink::MessageKind::Move && !out.empty() &&
            out.back().kind == phonelink::MessageKind::Move) {
            out.back().dx += m.dx;
            out.back().dy += m.dy;
        } else {
            out.push_back(m);
        }
    }
    return out;
}

void checkMessage(const phonelink::Message& message) {
    auto wire = phonelink::encodeMessage(message);
    if (message.kind == phonelink::MessageKind::Move) {
        return;  // may be a sum beyond one frame's reach
    }
    check(wire.has_value());
    phonelink::LinkReader alone;
    auto result = alone.feed(*wire, 0);
    check(result.heard && result.messages.size() == 1 && result.messages[0] == message);
}

bool onlyDigits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    phonelink::LinkReader reader;
    std::string whole;
    std::vector<phonelink::Message> seen;
    bool allValid = true;
    bool allInTime = true;
    std::uint64_t now = 0;
    std::uint64_t sinceLastChunk = 0;
    size_t i = 0;
    while (i < size) {
        std::uint64_t pause = std::uint64_t{2} * data[i++];
        size_t end = i;
        while (end < size && data[end] != 0xFF) {
            ++end;
        }
        std::string_view chunk(reinterpret_cast<const char*>(data + i), end - i);
        i = end + 1;
        now += pause;
        sinceLastChunk += pause;
        if (chunk.empty()) {
            continue;
        }
        if (reader.holdsFrame() && sinceLastChunk > phonelink::kKeptFrameLifetimeMs) {
            allInTime = false;
        }
        sinceLastChunk = 0;
        bool held = reader.holdsFrame();
        auto result = reader.feed(chunk, now);
        // A valid chunk completes a message or leaves a frame unfinished, or both.
        const bool valid = !result.messages.empty() || reader.holdsFrame();
        check(result.heard == !result.messages.empty());
        if (!held && onlyDigits(chunk)) {
            std::vector<phonelink::Message> expected;
            for (phonelink::Command c : phonelink::parseChunk(chunk)) {
                expected.push_back(phonelink::Message::ofCommand(c));
            }
            check(result.messages == expected);
        }
        for (const auto& m : result.messages) {
            checkMessage(m);
        }
        allValid = allValid && valid;
        whole.append(chunk);
        seen.insert(seen.end(), result.messages.begin(), result.messages.end());
    }
    if (allValid && allInTime && !whole.empty()) {
        phonelink::LinkReader once;
        auto result = once.feed(whole, 0);
        check(!result.messages.empty() || once.holdsFrame());
        check(summed(result.messages) == summed(seen));
        check(once.holdsFrame() == reader.holdsFrame());
    }
    return 0;
}

// What the link's reader costs per received byte when a text arrives a byte at a time, as a slow
// link can deliver it, against the same frames arriving whole. The reader keeps its place in an
// unfinished frame, so the cost per byte should stay flat from a short text to the longest ones.
//   link_reader_bench [rounds]
// Prints, for texts of 10 to 2,000 bytes (2,000: two texts of the longest size back to back), the
// median over the rounds of nanoseconds per received byte, each way.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/link_protocol.h"

namespace {

// Text frames carrying `bytes` bytes of UTF-8 in all, in frames of at most kMaxTextBytes each.
std::string textFrames(std::size_t bytes) {
    std::string wire;
    while (bytes > 0) {
        const std::size_t n = std::min(bytes, phonelink::kMaxTextBytes);
        // Two-byte characters and a one-byte one where the count is odd: real UTF-8 to check.
        std::u16string text(n / 2, u'\u0436');
        if (n % 2 != 0) {
            text += u'x';
        }
        wire += *phonelink::encodeMessage(phonelink::Message::typing(text));
        bytes -= n;
    }
    return wire;
}

// Nanoseconds per received byte for the wire fed in chunks of `chunk` bytes (0: whole), at least
// `minBytes` bytes in all.
double nsPerByte(const std::string& wire, std::size_t chunk, std::size_t minBytes,
                 std::size_t& messages) {
    const std::size_t repeats = std::max<std::size_t>(1, minBytes / wire.size());
    const std::size_t step = chunk == 0 ? wire.size() : chunk;
    phonelink::LinkReader reader;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t r = 0; r < repeats; ++r) {
        for (std::size_t at = 0; at < wire.size(); at += step) {
            // One clock for all: no chunk is ever late.
            messages += reader.feed(std::string_view(wire).substr(at, step), 0).messages.size();
        }
    }
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / static_cast<double>(repeats * wire.size());
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    constexpr std::size_t kMinBytes = 2'000'000;
    std::size_t messages = 0;
    std::printf("text bytes  wire bytes  ns/byte a byte at a time  ns/byte whole  ratio\n");
    for (std::size_t bytes : {10, 100, 1000, 2000}) {
        const std::string wire = textFrames(bytes);
        std::vector<double> single;
        std::vector<double> whole;
        for (int round = 0; round < rounds; ++round) {
            single.push_back(nsPerByte(wire, 1, kMinBytes, messages));
            whole.push_back(nsPerByte(wire, 0, kMinBytes, messages));
        }
        const double a = median(single);
        const double b = median(whole);
        std::printf("%10zu  %10zu  %24.1f  %13.1f  %5.2f\n", bytes, wire.size(), a, b, a / b);
    }
    // Read, so that no part of the work can be left out.
    std::printf("(%zu texts read)\n", messages);
    return messages > 0 ? 0 : 1;
}

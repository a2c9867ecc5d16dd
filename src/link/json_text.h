// The little JSON the link writes: the table for other tables' tests, and the answers to the
// phone. Only what those need: objects written in order, strings, numbers, flags and null.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace phonelink {

// UTF-8 text as the inside of a JSON string: '"' and '\' escaped, control characters as \u00XX,
// every other byte as it is (so valid UTF-8 stays valid).
void appendJsonEscaped(std::string& out, std::string_view text);
// The same in quotes.
void appendJsonString(std::string& out, std::string_view text);

// Writes "key":value pairs of one object, separated by commas; the object closes when this goes.
class JsonObject {
  public:
    explicit JsonObject(std::string& out) : out_(out) { out_ += '{'; }
    ~JsonObject() { out_ += '}'; }
    JsonObject(const JsonObject&) = delete;
    JsonObject& operator=(const JsonObject&) = delete;

    void text(std::string_view key, std::string_view value) {
        name(key);
        appendJsonString(out_, value);
    }
    void number(std::string_view key, std::size_t value) {
        name(key);
        out_ += std::to_string(value);
    }
    void flag(std::string_view key, bool value) {
        name(key);
        out_ += value ? "true" : "false";
    }
    void null(std::string_view key) {
        name(key);
        out_ += "null";
    }
    void name(std::string_view key) {
        if (!first_) {
            out_ += ',';
        }
        first_ = false;
        appendJsonString(out_, key);
        out_ += ':';
    }

  private:
    std::string& out_;
    bool first_ = true;
};

}  // namespace phonelink

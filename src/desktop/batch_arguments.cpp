#include "desktop/batch_arguments.h"

#include <vector>

namespace app {
namespace {

constexpr std::wstring_view kBlanks = L" \t";
// What cmd reads outside quotes, beside the blanks.
constexpr std::wstring_view kCmdSyntax = L"&|<>^(),;=!";

bool endsWithIgnoringCase(std::wstring_view text, std::wstring_view end) {
    if (text.size() < end.size()) {
        return false;
    }
    text.remove_prefix(text.size() - end.size());
    for (std::size_t i = 0; i < end.size(); ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
        if (c != end[i]) {
            return false;
        }
    }
    return true;
}

// Blanks outside quotes end an argument; a quote opens or closes a quoted part and is dropped. A
// backslash is a plain character: cmd has no escapes inside quotes, so a quote after one could not
// be handed over anyway.
std::vector<std::wstring> splitArguments(std::wstring_view text) {
    std::vector<std::wstring> arguments;
    std::wstring current;
    bool inArgument = false;
    bool quoted = false;
    for (const wchar_t c : text) {
        if (c == L'"') {
            quoted = !quoted;
            inArgument = true;
        } else if (!quoted && kBlanks.find(c) != std::wstring_view::npos) {
            if (inArgument) {
                arguments.push_back(std::move(current));
                current.clear();
                inArgument = false;
            }
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) {
        arguments.push_back(std::move(current));
    }
    return arguments;
}

bool needsQuotes(std::wstring_view argument) {
    return argument.empty() || argument.find_first_of(kBlanks) != std::wstring_view::npos ||
           argument.find_first_of(kCmdSyntax) != std::wstring_view::npos;
}

}  // namespace

bool isBatchFile(std::wstring_view path) {
    return endsWithIgnoringCase(path, L".bat") || endsWithIgnoringCase(path, L".cmd");
}

bool takesLiterally(std::wstring_view batchPath, std::wstring_view arguments) {
    return batchPath.find(L'%') == std::wstring_view::npos &&
           arguments.find(L'%') == std::wstring_view::npos;
}

std::optional<std::wstring> batchArgumentsOf(std::wstring_view arguments) {
    if (!takesLiterally({}, arguments)) {
        return std::nullopt;
    }
    std::wstring line;
    for (const std::wstring& argument : splitArguments(arguments)) {
        if (!line.empty()) {
            line += L' ';
        }
        if (needsQuotes(argument)) {
            line += L'"' + argument + L'"';
        } else {
            line += argument;
        }
    }
    return line;
}

}  // namespace app

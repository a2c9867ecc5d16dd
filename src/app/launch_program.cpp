#include "app/launch_program.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <vector>

#include "framework/growing_buffer.h"
#include "framework/handle.h"

namespace app {
namespace {

constexpr std::wstring_view kBlanks = L" \t";

bool isBlank(wchar_t c) {
    return kBlanks.find(c) != std::wstring_view::npos;
}

std::wstring_view withoutLeadingBlanks(std::wstring_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(kBlanks), text.size()));
    return text;
}

bool holdsPath(std::wstring_view name) {
    return name.find_first_of(L"\\/:") != std::wstring_view::npos;
}

// A named program: the file itself when it exists, else a bare name from the search path.
std::optional<std::wstring> locate(const std::wstring& name, const FileExists& exists,
                                   const SearchPathLookup& findOnPath) {
    if (name.empty()) {
        return std::nullopt;
    }
    if (exists(name)) {
        return name;
    }
    if (holdsPath(name)) {
        return std::nullopt;
    }
    return findOnPath(name);
}

}  // namespace

std::optional<LaunchCommand> resolveLaunchCommand(std::wstring_view text, const FileExists& exists,
                                                  const SearchPathLookup& findOnPath) {
    text = withoutLeadingBlanks(text);
    if (text.empty()) {
        return std::nullopt;
    }
    if (text.front() == L'"') {
        text.remove_prefix(1);
        // Without a closing quote the program runs to the end of the text.
        size_t close = std::min(text.find(L'"'), text.size());
        auto program = locate(std::wstring(text.substr(0, close)), exists, findOnPath);
        if (!program) {
            return std::nullopt;
        }
        text.remove_prefix(std::min(close + 1, text.size()));
        return LaunchCommand{*program, std::wstring(withoutLeadingBlanks(text))};
    }
    // Every place a blank ends a candidate, longest candidate first.
    for (size_t end = text.size(); end > 0; --end) {
        if (end < text.size() && !isBlank(text[end])) {
            continue;
        }
        if (isBlank(text[end - 1])) {
            continue;
        }
        std::wstring candidate(text.substr(0, end));
        if (exists(candidate)) {
            return LaunchCommand{candidate, std::wstring(withoutLeadingBlanks(text.substr(end)))};
        }
    }
    size_t wordEnd = std::min(text.find_first_of(kBlanks), text.size());
    std::wstring word(text.substr(0, wordEnd));
    if (holdsPath(word)) {
        return std::nullopt;
    }
    auto program = findOnPath(word);
    if (!program) {
        return std::nullopt;
    }
    return LaunchCommand{*program, std::wstring(withoutLeadingBlanks(text.substr(wordEnd)))};
}

std::wstring commandLineOf(const LaunchCommand& command) {
    std::wstring line = L"\"" + command.program + L"\"";
    if (!command.arguments.empty()) {
        line += L" " + command.arguments;
    }
    return line;
}

bool isBatchFile(std::wstring_view path) {
    if (path.size() < 4) {
        return false;
    }
    std::wstring extension(path.substr(path.size() - 4));
    for (auto& c : extension) {
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return extension == L".bat" || extension == L".cmd";
}

std::wstring batchCommandLineOf(std::wstring_view interpreter, const LaunchCommand& command) {
    // With /s the interpreter drops the outer quotes and runs the rest as it stands, so a quoted
    // batch path followed by quoted arguments survives.
    return L"\"" + std::wstring(interpreter) + L"\" /s /c \"" + commandLineOf(command) + L"\"";
}

namespace {

bool isExistingFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Each call below gives an empty text only when it fails.
std::optional<std::wstring> findOnSearchPath(const std::wstring& name) {
    std::wstring found = framework::readGrowingBuffer([&](wchar_t* buffer, DWORD size) {
        return SearchPathW(nullptr, name.c_str(), L".exe", size, buffer, nullptr);
    });
    if (found.empty()) {
        return std::nullopt;
    }
    return found;
}

std::wstring fullPathOf(const std::wstring& path) {
    std::wstring full = framework::readGrowingBuffer([&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
    return full.empty() ? path : full;
}

std::wstring commandInterpreter() {
    std::wstring comSpec = framework::readGrowingBuffer([](wchar_t* buffer, DWORD size) {
        return GetEnvironmentVariableW(L"ComSpec", buffer, size);
    });
    if (!comSpec.empty()) {
        return comSpec;
    }
    std::wstring system = framework::readGrowingBuffer(
        [](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
    return (system.empty() ? std::wstring(L"C:\\Windows\\System32") : system) + L"\\cmd.exe";
}

}  // namespace

bool launchProgram(const std::wstring& text) {
    auto command = resolveLaunchCommand(text, &isExistingFile, &findOnSearchPath);
    if (!command) {
        return false;
    }
    command->program = fullPathOf(command->program);
    std::wstring application = command->program;
    std::wstring line = commandLineOf(*command);
    if (isBatchFile(application)) {
        application = commandInterpreter();
        line = batchCommandLineOf(application, *command);
    }
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(application.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return false;
    }
    framework::KernelHandle process{info.hProcess};
    framework::KernelHandle thread{info.hThread};
    return true;
}

}  // namespace app

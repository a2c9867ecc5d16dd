#include "desktop/launch_program.h"

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

std::wstring lowerCase(std::wstring_view text) {
    std::wstring lower(text);
    for (auto& c : lower) {
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return lower;
}

bool endsWithProgramExtension(std::wstring_view path) {
    if (path.size() < 4) {
        return false;
    }
    const std::wstring extension = lowerCase(path.substr(path.size() - 4));
    return extension == L".exe" || extension == L".com" || extension == L".bat" ||
           extension == L".cmd";
}

std::wstring withoutQuotes(std::wstring_view text) {
    std::wstring plain;
    for (wchar_t c : text) {
        if (c != L'"') {
            plain += c;
        }
    }
    return plain;
}

// A bare name in the registrations, then in the folders, in their order.
std::optional<std::wstring> findBareName(std::wstring name, const ProgramLookups& lookups) {
    if (name.find(L'.') == std::wstring::npos) {
        name += L".exe";
    }
    if (auto registered = lookups.registeredPath(name)) {
        std::wstring path = withoutQuotes(*registered);
        if (isFullyQualified(path) && lookups.exists(path)) {
            return path;
        }
    }
    for (const std::wstring& entry : lookups.folders) {
        // A relative entry (".", "bin") would search the current folder.
        std::wstring path = withoutQuotes(entry);
        if (!isFullyQualified(path)) {
            continue;
        }
        while (!path.empty() && isPathSeparator(path.back())) {
            path.pop_back();
        }
        path += L'\\';
        path += name;
        if (lookups.exists(path)) {
            return path;
        }
    }
    return std::nullopt;
}

// The program a quoted or otherwise whole name stands for.
std::optional<std::wstring> locate(const std::wstring& name, const ProgramLookups& lookups) {
    if (isFullyQualified(name)) {
        return lookups.exists(name) ? std::optional(name) : std::nullopt;
    }
    if (isBareName(name)) {
        return findBareName(name, lookups);
    }
    return std::nullopt;
}

// The ends of the text's leading parts (before a blank or at the end of the text), longest first.
std::vector<size_t> leadingPartEnds(std::wstring_view text) {
    std::vector<size_t> ends;
    for (size_t end = text.size(); end > 0; --end) {
        if ((end == text.size() || isBlank(text[end])) && !isBlank(text[end - 1])) {
            ends.push_back(end);
        }
    }
    return ends;
}

// For a text that starts with a full path. A part with a program extension is what the user
// named: when it is missing, a shorter part that happens to exist is not the program.
std::optional<LaunchCommand> resolveFullPath(std::wstring_view text,
                                             const ProgramLookups& lookups) {
    const std::vector<size_t> ends = leadingPartEnds(text);
    const bool anyExtension = std::any_of(ends.begin(), ends.end(), [&](size_t end) {
        return endsWithProgramExtension(text.substr(0, end));
    });
    for (size_t end : ends) {
        std::wstring part(text.substr(0, end));
        if (anyExtension && !endsWithProgramExtension(part)) {
            continue;
        }
        if (lookups.exists(part)) {
            return LaunchCommand{part, std::wstring(withoutLeadingBlanks(text.substr(end)))};
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<LaunchCommand> resolveLaunchCommand(std::wstring_view text,
                                                  const ProgramLookups& lookups) {
    text = withoutLeadingBlanks(text);
    if (text.empty()) {
        return std::nullopt;
    }
    if (text.front() == L'"') {
        text.remove_prefix(1);
        // Without a closing quote the program runs to the end of the text.
        size_t close = std::min(text.find(L'"'), text.size());
        auto program = locate(std::wstring(text.substr(0, close)), lookups);
        if (!program) {
            return std::nullopt;
        }
        text.remove_prefix(std::min(close + 1, text.size()));
        return LaunchCommand{*program, std::wstring(withoutLeadingBlanks(text))};
    }
    if (isFullyQualified(text)) {
        return resolveFullPath(text, lookups);
    }
    size_t wordEnd = std::min(text.find_first_of(kBlanks), text.size());
    std::wstring word(text.substr(0, wordEnd));
    if (!isBareName(word)) {
        return std::nullopt;
    }
    auto program = findBareName(word, lookups);
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

std::optional<std::wstring> batchCommandLineOf(std::wstring_view interpreter,
                                               const LaunchCommand& command) {
    const auto arguments = batchArgumentsOf(command.arguments);
    if (!arguments || !takesLiterally(command.program, {})) {
        return std::nullopt;
    }
    // With /s the interpreter drops the outer quotes and runs the rest as it stands, so a quoted
    // batch path followed by quoted arguments survives; /d skips the AutoRun commands, which
    // would otherwise run first; /v:off keeps a "!" in an argument from expanding whatever the
    // registry's DelayedExpansion says.
    return L"\"" + std::wstring(interpreter) + L"\" /d /s /v:off /c \"" +
           commandLineOf({command.program, *arguments}) + L"\"";
}

namespace {

constexpr const wchar_t* kAppPathsKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

bool isExistingFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Each call below gives an empty text only when it fails.
std::wstring expandEnvironment(const std::wstring& text) {
    std::wstring expanded = framework::readGrowingBuffer([&](wchar_t* buffer, DWORD size) {
        DWORD needed = ExpandEnvironmentStringsW(text.c_str(), buffer, size);
        // The count includes the terminating NUL.
        return needed == 0 || needed > size ? needed : needed - 1;
    });
    return expanded.empty() ? text : expanded;
}

// The default value of a registration key, as text; a value of another type is no registration.
std::optional<std::wstring> registrationOf(HKEY root, const std::wstring& name) {
    const std::wstring key = kAppPathsKey + name;
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    DWORD bytes = 0;
    if (RegGetValueW(root, key.c_str(), nullptr, flags, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(root, key.c_str(), nullptr, flags, nullptr, value.data(), &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(value.find(L'\0'));
    return expandEnvironment(value);
}

std::optional<std::wstring> registeredPath(const std::wstring& name) {
    if (auto user = registrationOf(HKEY_CURRENT_USER, name)) {
        return user;
    }
    return registrationOf(HKEY_LOCAL_MACHINE, name);
}

std::wstring systemFolder() {
    return framework::readGrowingBuffer(
        [](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
}

// The system folder, the Windows folder, then the PATH entries.
std::vector<std::wstring> searchFolders() {
    std::vector<std::wstring> folders{systemFolder(),
                                      framework::readGrowingBuffer([](wchar_t* buffer, DWORD size) {
                                          return GetWindowsDirectoryW(buffer, size);
                                      })};
    const std::wstring path = framework::readGrowingBuffer(
        [](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(L"PATH", buffer, size); });
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = std::min(path.find(L';', start), path.size());
        folders.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return folders;
}

std::wstring commandInterpreter() {
    std::wstring comSpec = framework::readGrowingBuffer([](wchar_t* buffer, DWORD size) {
        return GetEnvironmentVariableW(L"ComSpec", buffer, size);
    });
    if (isFullyQualified(comSpec)) {
        return comSpec;
    }
    std::wstring system = systemFolder();
    return (system.empty() ? std::wstring(L"C:\\Windows\\System32") : system) + L"\\cmd.exe";
}

DWORD createShownProcess(const std::wstring& application, const std::wstring& commandLine,
                         const std::wstring& folder) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(application.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        return GetLastError();
    }
    framework::KernelHandle process{info.hProcess};
    framework::KernelHandle thread{info.hThread};
    return ERROR_SUCCESS;
}

DWORD start(const std::optional<LaunchCommand>& command, const std::wstring& folder,
            const LaunchSeams& seams) {
    if (!command) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::wstring application = command->program;
    std::wstring line = commandLineOf(*command);
    if (isBatchFile(application)) {
        application = commandInterpreter();
        auto batchLine = batchCommandLineOf(application, *command);
        if (!batchLine) {
            return ERROR_BAD_ARGUMENTS;
        }
        line = std::move(*batchLine);
    }
    return seams.createProcess(application, line, folder);
}

ProgramLookups lookupsOf(const LaunchSeams& seams) {
    return {seams.exists, &registeredPath, searchFolders()};
}

}  // namespace

LaunchSeams::LaunchSeams() : exists(&isExistingFile), createProcess(&createShownProcess) {}

DWORD startProgram(const std::wstring& text, const LaunchSeams& seams) {
    return start(resolveLaunchCommand(text, lookupsOf(seams)), {}, seams);
}

DWORD startProgram(const std::wstring& program, const std::wstring& arguments,
                   const std::wstring& folder, const LaunchSeams& seams) {
    // Quoted, the whole name is the program: blanks in it split nothing off.
    auto command = resolveLaunchCommand(L"\"" + program + L"\"", lookupsOf(seams));
    if (command) {
        command->arguments = arguments;
    }
    return start(command, folder, seams);
}

void ProgramLauncher::launch(const std::wstring& text, Done done) {
    queue_.post([text, seams = seams] { return startProgram(text, seams); }, std::move(done));
}

void ProgramLauncher::launch(const std::wstring& program, const std::wstring& arguments,
                             const std::wstring& folder, Done done) {
    queue_.post([program, arguments, folder,
                 seams = seams] { return startProgram(program, arguments, folder, seams); },
                std::move(done));
}

}  // namespace app

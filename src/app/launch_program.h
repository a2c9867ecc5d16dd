// Starting the program the program field's text names: which program that is, the arguments it
// is handed, and the start itself. The system is never left to guess the program from a text with
// blanks: asked to run "C:\kp launch\tool.exe -x", it would start C:\kp.exe if such a file
// exists.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace app {

struct LaunchCommand {
    std::wstring program;    // a file that exists, or a name as found on the search path
    std::wstring arguments;  // the rest of the text, from its first non-blank character
};

// Whether a path names an existing file (not a folder).
using FileExists = std::function<bool(const std::wstring& path)>;
// The full path of a bare program name as the system's search path finds it (".exe" added when
// the name has no extension), or nothing.
using SearchPathLookup = std::function<std::optional<std::wstring>(const std::wstring& name)>;

// The program is, in this order: the quoted part when the text starts with a quote; else the
// longest leading part, ending before a blank or at the end, that names an existing file; else
// the first word as found on the search path, when that word holds no path. Nothing when none of
// these names a program (an empty text, a missing file).
std::optional<LaunchCommand> resolveLaunchCommand(std::wstring_view text, const FileExists& exists,
                                                  const SearchPathLookup& findOnPath);

// The program in quotes, then its arguments: a command line whose first word is the program.
std::wstring commandLineOf(const LaunchCommand& command);

// A .bat or .cmd file, which only the command interpreter can run.
bool isBatchFile(std::wstring_view path);

// The command line that has the command interpreter run a batch file with its arguments.
std::wstring batchCommandLineOf(std::wstring_view interpreter, const LaunchCommand& command);

// Starts the program the text names, shown normally, handing it the rest of the text as its
// arguments; a batch file runs through the command interpreter. The program is resolved as
// resolveLaunchCommand does, with the real disk and search path. Returns whether a process
// started; a text that names no program starts nothing.
bool launchProgram(const std::wstring& text);

}  // namespace app

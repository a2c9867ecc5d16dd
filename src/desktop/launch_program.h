// Starting the program the program field's text names: which program that is, the arguments it
// is handed, and the start itself. The program is a file named by its full path, or a bare name
// found in the system's own places; never a file in the current folder or in Keypilot's folder,
// where a file of the same name may lie (a download folder, a shortcut's working folder). The
// system is never left to guess the program from a text with blanks: asked to run
// "C:\kp launch\tool.exe -x", it would start C:\kp.exe if such a file exists.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/path_names.h"

namespace app {

struct LaunchCommand {
    std::wstring program;    // the full path of an existing file
    std::wstring arguments;  // the rest of the text, from its first non-blank character
};

// What the resolution asks of the system.
struct ProgramLookups {
    // Whether a full path names an existing file (not a folder).
    std::function<bool(const std::wstring& path)> exists;
    // The App Paths registration of a program name with its extension ("calc.exe"): the default
    // value of the user's registration, else of the machine's, environment variables expanded;
    // nothing when neither registers the name.
    std::function<std::optional<std::wstring>(const std::wstring& name)> registeredPath;
    // Where a bare name is looked for after the registrations, in this order: the system folder,
    // the Windows folder, then the PATH entries as they stand.
    std::vector<std::wstring> folders;
};

// The program is, in this order:
// - the quoted part, when the text starts with a quote;
// - for a text that starts with a full path: of its leading parts that end before a blank or at
//   the end, the longest existing one that ends in a program extension (.exe, .com, .bat, .cmd);
//   when no part ends in one, the longest existing part;
// - else the first word, when it is a bare name (no folder, no drive).
// A bare name gets ".exe" when it has no extension and is looked for in the App Paths
// registrations, then in lookups.folders. Nothing when none of these names an existing program:
// an empty text, a missing file, a relative path ("tools\app.exe", "..\app.exe", "C:app.exe").
std::optional<LaunchCommand> resolveLaunchCommand(std::wstring_view text,
                                                  const ProgramLookups& lookups);

// The program in quotes, then its arguments: a command line whose first word is the program.
std::wstring commandLineOf(const LaunchCommand& command);

// A .bat or .cmd file, which only the command interpreter can run.
bool isBatchFile(std::wstring_view path);

// The command line that has the command interpreter run a batch file with its arguments, without
// the AutoRun commands of the registry.
std::wstring batchCommandLineOf(std::wstring_view interpreter, const LaunchCommand& command);

// Starts the program the text names, shown normally, handing it the rest of the text as its
// arguments; a batch file runs through the command interpreter. The program is resolved as
// resolveLaunchCommand does, with the real disk, registry and folders. Returns whether a process
// started; a text that names no program starts nothing.
bool launchProgram(const std::wstring& text);

// The same for a program named apart from its arguments (a full path or a bare name, resolved as
// the quoted part of a text is), started in folder, a full path (empty: Keypilot's own).
bool launchProgram(const std::wstring& program, const std::wstring& arguments,
                   const std::wstring& folder);

}  // namespace app

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

#include <windows.h>

#include "desktop/batch_arguments.h"
#include "desktop/call_queue.h"
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

// The command line that has the command interpreter run a batch file with its arguments, each
// as written (batch_arguments.h), without the AutoRun commands of the registry; nothing when the
// interpreter cannot take them literally.
std::optional<std::wstring> batchCommandLineOf(std::wstring_view interpreter,
                                               const LaunchCommand& command);

// Where a start reaches the disk and the system; a test stands in to hold them.
struct LaunchSeams {
    // Whether a full path names an existing file (not a folder): GetFileAttributesW.
    std::function<bool(const std::wstring& path)> exists;
    // CreateProcessW of application with commandLine in folder (empty: Keypilot's own), shown
    // normally: ERROR_SUCCESS, or its error.
    std::function<DWORD(const std::wstring& application, const std::wstring& commandLine,
                        const std::wstring& folder)>
        createProcess;

    LaunchSeams();
};

// Starts the program the text names, shown normally, handing it the rest of the text as its
// arguments; a batch file runs through the command interpreter. The program is resolved as
// resolveLaunchCommand does, with the disk of seams and the real registry and folders. Returns
// ERROR_SUCCESS when a process started, ERROR_FILE_NOT_FOUND when the text names no program,
// ERROR_BAD_ARGUMENTS for a batch file the interpreter cannot take literally, or the error of
// CreateProcessW. May take seconds (a path on a share that does not answer): ProgramLauncher
// makes it off the main thread.
DWORD startProgram(const std::wstring& text, const LaunchSeams& seams = {});

// The same for a program named apart from its arguments (a full path or a bare name, resolved as
// the quoted part of a text is), started in folder, a full path (empty: Keypilot's own).
DWORD startProgram(const std::wstring& program, const std::wstring& arguments,
                   const std::wstring& folder, const LaunchSeams& seams = {});

// Whether startProgram(text) started a process.
inline bool launchProgram(const std::wstring& text) {
    return startProgram(text) == ERROR_SUCCESS;
}

// Starts programs off the main thread, one after another on one thread of their own, and hands
// each result back on the main thread. Main thread.
class ProgramLauncher {
  public:
    // startProgram's result.
    using Done = CallQueue::Done;

    // Taken by each launch as it is queued, so a test may replace them at any time.
    LaunchSeams seams;

    // Queues startProgram(text) and returns at once; done (may be empty) gets its result later.
    void launch(const std::wstring& text, Done done = {});
    // Queues startProgram(program, arguments, folder).
    void launch(const std::wstring& program, const std::wstring& arguments,
                const std::wstring& folder, Done done = {});

  private:
    // Every launch waits its turn: each is a press or a code the user made, and a press of the
    // same button is held back by its caller.
    CallQueue queue_{0, false};
};

}  // namespace app

// A batch file's arguments as the command interpreter must be given them. cmd.exe reads the line
// it runs a batch with as its own syntax: "&", "|", "<" and ">" outside quotes start another
// command or a redirection, "^" escapes the next character, "(" and ")" group, "," ";" and "="
// separate parameters like blanks, "!" expands a variable when delayed expansion is on, and "%"
// expands a variable anywhere, inside quotes too. Inside quotes only "%" (and "!") keep their
// meaning, so every argument that holds any of the others is quoted, delayed expansion is switched
// off (/v:off) and a "%" is refused: no escape of it holds inside a batch call. Portable, so the
// editor's check and the launch are the same code, tested natively.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace app {

// A .bat or .cmd file, which only the command interpreter can run.
bool isBatchFile(std::wstring_view path);

// Whether a batch file and its arguments text can be handed to the command interpreter so that it
// reads them literally: neither holds a "%".
bool takesLiterally(std::wstring_view batchPath, std::wstring_view arguments);

// The arguments text as cmd must get it: split into arguments as any Windows program splits its
// command line (blanks separate, quotes group and are not part of an argument), each then quoted
// when it holds a blank or a character cmd reads, and joined by single blanks. An empty quoted
// argument stays one. Nothing when takesLiterally refuses the text.
std::optional<std::wstring> batchArgumentsOf(std::wstring_view arguments);

}  // namespace app

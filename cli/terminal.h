// Output helpers shared by the commands: Windows-1251 texts shown on a UTF-8
// terminal, error reporting, and control characters kept off the terminal.
//
// Texts from files (names, values, messages) may hold control characters
// that a terminal would take as commands: colours, cursor moves, a new
// window title, a rewritten line.  Everything printed here shows them
// escaped instead: C0 controls other than line feed and tab, and DEL, as
// \xHH; the C1 controls U+0080..U+009F as \uHHHH.  JSON output already
// escapes them its own way, so the escaping finds nothing there.  A command's
// --raw flag (SetRawOutput) passes standard output byte for byte, for pipes
// that want the file's bytes; error messages are always escaped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace instkit::cli {

// Windows-1251 texts converted to UTF-8, one by one.
std::vector<std::string> Utf8Texts(const std::vector<std::string>& cp1251);
// Writes a Windows-1251 text to stdout/stderr as UTF-8.
void PrintCp1251(std::string_view text);
void PrintUtf8(std::string_view text);
void PrintError(std::string_view utf8_text);
// True when stdin and stderr are terminals.
bool IsInteractive();

// The text with its control characters escaped (rules above).
std::string EscapeControls(std::string_view utf8_text);
// Standard output byte for byte (true) or escaped (false, the default).
void SetRawOutput(bool raw);
// The help text of the --raw flag of the commands that show file contents.
inline constexpr const char* kRawOutputHelp = "Print control characters from the file as they are (for pipes)";

}  // namespace instkit::cli

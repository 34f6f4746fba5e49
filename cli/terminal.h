// Output helpers shared by the commands: Windows-1251 texts shown on a UTF-8
// terminal, and error reporting.
#pragma once

#include <string>
#include <string_view>

namespace instkit::cli {

// Writes a Windows-1251 text to stdout/stderr as UTF-8.
void PrintCp1251(std::string_view text);
void PrintUtf8(std::string_view text);
void PrintError(std::string_view utf8_text);
// True when stdin and stderr are terminals.
bool IsInteractive();

}  // namespace instkit::cli

// Output helpers shared by the commands: Windows-1251 texts shown on a UTF-8
// terminal, and error reporting.
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

}  // namespace instkit::cli

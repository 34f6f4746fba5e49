#include "cli/terminal.h"

#include <cstdio>

#include "host/base/codepage.h"
#include "host/platform/terminal.h"

namespace instkit::cli {

std::vector<std::string> Utf8Texts(const std::vector<std::string>& cp1251) {
  std::vector<std::string> out;
  out.reserve(cp1251.size());
  for (const std::string& text : cp1251) out.push_back(Cp1251ToUtf8(text));
  return out;
}

void PrintCp1251(std::string_view text) { PrintUtf8(Cp1251ToUtf8(text)); }

void PrintUtf8(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void PrintError(std::string_view utf8_text) {
  std::fwrite(utf8_text.data(), 1, utf8_text.size(), stderr);
  if (utf8_text.empty() || utf8_text.back() != '\n') std::fputc('\n', stderr);
}

bool IsInteractive() { return IsTerminal(TStandardStream::kInput) && IsTerminal(TStandardStream::kError); }

}  // namespace instkit::cli

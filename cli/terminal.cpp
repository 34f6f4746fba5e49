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

namespace {

bool g_raw_output = false;

bool IsControl(unsigned char c) { return (c < 0x20 && c != '\n' && c != '\t') || c == 0x7F; }

// A C1 control in UTF-8: C2 80 .. C2 9F.
bool IsC1At(std::string_view text, size_t i) {
  return static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
         static_cast<unsigned char>(text[i + 1]) >= 0x80 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}

void Write(std::string_view text, std::FILE* stream) { std::fwrite(text.data(), 1, text.size(), stream); }

// Writes the text escaped; the clean runs between controls go out as they are.
void WriteEscaped(std::string_view text, std::FILE* stream) {
  size_t clean = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!IsControl(c) && !(c == 0xC2 && IsC1At(text, i))) continue;
    const std::string escaped = EscapeControls(text.substr(i, c == 0xC2 ? 2 : 1));
    Write(text.substr(clean, i - clean), stream);
    Write(escaped, stream);
    i += c == 0xC2 ? 1 : 0;
    clean = i + 1;
  }
  Write(text.substr(clean), stream);
}

}  // namespace

std::string EscapeControls(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (IsControl(c)) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (c == 0xC2 && IsC1At(text, i)) {
      const auto code = static_cast<unsigned char>(text[++i]);
      out += "\\u00";
      out += kHex[code >> 4];
      out += kHex[code & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

void SetRawOutput(bool raw) { g_raw_output = raw; }

void PrintCp1251(std::string_view text) { PrintUtf8(Cp1251ToUtf8(text)); }

void PrintUtf8(std::string_view text) {
  if (g_raw_output) {
    Write(text, stdout);
  } else {
    WriteEscaped(text, stdout);
  }
}

void PrintError(std::string_view utf8_text) {
  WriteEscaped(utf8_text, stderr);
  if (utf8_text.empty() || utf8_text.back() != '\n') std::fputc('\n', stderr);
}

bool IsInteractive() { return IsTerminal(TStandardStream::kInput) && IsTerminal(TStandardStream::kError); }

}  // namespace instkit::cli

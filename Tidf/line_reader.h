// The IDF line reader, shared by text files and data-file headers.
//
// A line ends at CR LF or at a lone CR; a lone LF does not end a line and
// stays inside it.  The last line needs no terminator.  Every byte of code 0
// to 32 is trimmed from both ends of the line.  The result is false only
// when no byte at all could be read (end of input).
//
// `Source` offers int ReadByte() (-1 at the end) and void UnreadByte().
#pragma once

#include <string>
#include <string_view>

#include "host/base/text.h"

namespace instkit {

inline void TrimInPlace(std::string& line) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.size() != line.size()) {
    const size_t start = static_cast<size_t>(trimmed.data() - line.data());
    line.erase(start + trimmed.size());
    line.erase(0, start);
  }
}

// A byte source over text held in memory, with the bulk read of TInputFile.
class TTextSource {
 public:
  explicit TTextSource(std::string_view text) : text_(text) {}
  int ReadByte() { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_++]) : -1; }
  void UnreadByte() { --pos_; }
  // As TInputFile::ReadUntil: 1 delimiter found, 0 end first, -1 nothing left.
  int ReadUntil(char delimiter, std::string& out) {
    if (pos_ >= text_.size()) return -1;
    const size_t end = text_.find(delimiter, pos_);
    const size_t stop = end == std::string_view::npos ? text_.size() : end;
    out.append(text_.data() + pos_, stop - pos_);
    pos_ = end == std::string_view::npos ? stop : stop + 1;
    return end == std::string_view::npos ? 0 : 1;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

template <typename Source>
bool ReadIdfLine(Source& source, std::string& line) {
  line.clear();
  if constexpr (requires { source.ReadUntil('\r', line); }) {
    // Bulk path: copy everything up to the CR at once.
    const int found = source.ReadUntil('\r', line);
    if (found < 0) return false;
    if (found > 0) {
      const int next = source.ReadByte();
      if (next >= 0 && next != '\n') source.UnreadByte();
    }
    TrimInPlace(line);
    return true;
  }
  int c = source.ReadByte();
  if (c < 0) return false;
  while (c >= 0) {
    if (c == '\r') {
      const int next = source.ReadByte();
      if (next >= 0 && next != '\n') source.UnreadByte();
      break;
    }
    line += static_cast<char>(c);
    c = source.ReadByte();
  }
  TrimInPlace(line);
  return true;
}

}  // namespace instkit

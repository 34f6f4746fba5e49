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

#include "host/text.h"

namespace instkit {

template <typename Source>
bool ReadIdfLine(Source& source, std::string& line) {
  line.clear();
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
  const std::string_view trimmed = Trim(line);
  if (trimmed.size() != line.size()) {
    line = std::string(trimmed);
  }
  return true;
}

}  // namespace instkit

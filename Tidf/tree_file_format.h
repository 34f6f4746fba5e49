// Tree files: a form-manager tree in a file of its own.
//
//   tree_file := header branch
//   header    := "IDF-FPS-tree" CR LF CR LF      (16 bytes; any letter case
//                                                 is accepted on reading)
//   branch    := the branch stream of the form manager's root node
//                (host/forms/branch_stream_format.h), to the end of the file
#pragma once

#include <cstddef>
#include <string_view>

#include "host/base/text.h"

namespace instkit {

constexpr char kTreeFileHeader[] = "IDF-FPS-tree\r\n\r\n";
constexpr size_t kTreeFileHeaderBytes = sizeof kTreeFileHeader - 1;

// True when `header` is the 16 header bytes, letters in any case.
inline bool IsTreeFileHeader(std::string_view header) {
  return header.size() == kTreeFileHeaderBytes && AsciiEqualNoCase(header, kTreeFileHeader);
}

}  // namespace instkit

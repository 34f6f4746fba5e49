// Conversion between the 8-bit Windows-1251 code page, in which every text of
// the library is held, and UTF-8, for terminals, JSON and file names shown to
// a user.
#pragma once

#include <string>
#include <string_view>

namespace instkit {

std::string Cp1251ToUtf8(std::string_view text);
// Characters without a Windows-1251 byte become '?'; invalid UTF-8 sequences
// are taken byte by byte as '?'.
std::string Utf8ToCp1251(std::string_view text);

}  // namespace instkit

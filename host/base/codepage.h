// Conversion between the 8-bit Windows-1251 code page, in which every text of
// the library is held, and UTF-8, for terminals, JSON and file names shown to
// a user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace instkit {

std::string Cp1251ToUtf8(std::string_view text);
// Characters without a Windows-1251 byte become '?'; invalid UTF-8 sequences
// are taken byte by byte as '?'.
std::string Utf8ToCp1251(std::string_view text);

// The one UTF-8 decoder.  Strict: a character is the shortest encoding of a
// code point up to U+10FFFF that is not a surrogate.  Decodes the character
// that starts at text[pos] into *code_point and returns its length in bytes
// (1 to 4); returns 0 when the bytes there are not valid UTF-8 (an overlong
// form, a stray continuation byte, a sequence cut short, ...).
size_t DecodeUtf8(std::string_view text, size_t pos, uint32_t* code_point);

// The Windows-1251 byte of a code point; none for code points the code page
// cannot hold.  ASCII maps to itself.
std::optional<char> Cp1251ByteOf(uint32_t code_point);

}  // namespace instkit

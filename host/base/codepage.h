// Conversion between the 8-bit Windows-1251 code page, in which every text of
// the library is held, and UTF-8, for terminals, JSON and file names shown to
// a user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/base/export.h"

namespace instkit {

INSTKIT_API std::string Cp1251ToUtf8(std::string_view text);
// Characters without a Windows-1251 byte become '?'; invalid UTF-8 sequences
// are taken byte by byte as '?'.
INSTKIT_API std::string Utf8ToCp1251(std::string_view text);

// The one UTF-8 encoder: appends the code point (up to U+10FFFF) to `out`.
INSTKIT_API void AppendUtf8(std::string& out, uint32_t code_point);

// The one UTF-8 decoder.  Strict: a character is the shortest encoding of a
// code point up to U+10FFFF that is not a surrogate.  Decodes the character
// that starts at text[pos] into *code_point and returns its length in bytes
// (1 to 4); returns 0 when the bytes there are not valid UTF-8 (an overlong
// form, a stray continuation byte, a sequence cut short, ...).  Inline: the
// description loader calls it once per character.
inline size_t DecodeUtf8(std::string_view text, size_t pos, uint32_t* code_point) {
  if (pos >= text.size()) return 0;
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  }
  // Lead bytes C0, C1 and F5..FF start only overlong or out-of-range forms.
  const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
  if (length == 0 || text.size() - pos < length) return 0;
  uint32_t cp = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto cont = static_cast<unsigned char>(text[pos + k]);
    if ((cont & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cont & 0x3F);
  }
  constexpr uint32_t kShortest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kShortest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  *code_point = cp;
  return length;
}

// The Windows-1251 byte of a code point outside ASCII and the block
// U+0410..U+044F; none for code points the code page cannot hold.
INSTKIT_API std::optional<char> Cp1251ByteOfOther(uint32_t code_point);

// The Windows-1251 byte of a code point; none for code points the code page
// cannot hold.  ASCII maps to itself.
inline std::optional<char> Cp1251ByteOf(uint32_t code_point) {
  if (code_point < 0x80) return static_cast<char>(code_point);
  if (code_point >= 0x0410 && code_point <= 0x044F) return static_cast<char>(0xC0 + (code_point - 0x0410));
  return Cp1251ByteOfOther(code_point);
}

}  // namespace instkit

#include "host/base/codepage.h"

#include <cstdint>
#include <unordered_map>

namespace instkit {

namespace {
// Unicode code points of the bytes 0x80..0xBF (0xC0..0xFF are U+0410..U+044F).
// Byte 0x98 is unassigned and maps to U+FFFD.
constexpr uint16_t kHigh[64] = {0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
                                0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
                                0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
                                0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
                                0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

uint32_t CodePointOf(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte >= 0xC0) return 0x0410 + (byte - 0xC0);
  return kHigh[byte - 0x80];
}


const std::unordered_map<uint32_t, char>& ReverseTable() {
  static const auto* table = [] {
    auto* map = new std::unordered_map<uint32_t, char>();
    for (int b = 0x80; b <= 0xFF; ++b) {
      const uint32_t cp = CodePointOf(static_cast<unsigned char>(b));
      if (cp != 0xFFFD) map->emplace(cp, static_cast<char>(b));
    }
    return map;
  }();
  return *table;
}
}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) AppendUtf8(out, CodePointOf(static_cast<unsigned char>(c)));
  return out;
}

std::optional<char> Cp1251ByteOfOther(uint32_t code_point) {
  const auto& table = ReverseTable();
  const auto it = table.find(code_point);
  if (it == table.end()) return std::nullopt;
  return it->second;
}

std::string Utf8ToCp1251(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp = 0;
    const size_t length = DecodeUtf8(text, i, &cp);
    if (length == 0) {
      out += '?';
      ++i;
      continue;
    }
    i += length;
    out += Cp1251ByteOf(cp).value_or('?');
  }
  return out;
}

}  // namespace instkit

#include "host/base/binary_text.h"

#include <array>

#include "host/base/exception.h"
#include "host/base/format.h"

namespace instkit {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Each byte's value in the alphabet, -1 outside it.
constexpr std::array<int16_t, 256> MakeDecodeTable() {
  std::array<int16_t, 256> table{};
  for (auto& entry : table) entry = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int16_t>(i);
  return table;
}
constexpr auto kDecode = MakeDecodeTable();

void CheckFormat(int32_t format) {
  if (format != kBase64Format) {
    throw Exception("EFormatError", Format("Unknown binary text format %d", format));
  }
}

[[noreturn]] void BadText(const char* why) { throw Exception("EFormatError", Format("Invalid base64 text: %s", why)); }
}  // namespace

std::string Base64Encode(const void* data, size_t length) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve((length + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (i < length) {
    uint32_t n = bytes[i] << 16;
    if (i + 1 < length) n |= bytes[i + 1] << 8;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += (i + 1 < length) ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string StrToFormat(const char* data, int32_t length, int32_t format) {
  CheckFormat(format);
  if (length <= 0) return {};
  return Base64Encode(data, static_cast<size_t>(length));
}

std::string FormatToStr(const char* text, int32_t length, int32_t format) {
  CheckFormat(format);
  if (length <= 0) return {};
  const auto size = static_cast<size_t>(length);
  if (size % 4 != 0) BadText("length is not a multiple of 4");
  std::string out;
  out.reserve(size / 4 * 3);
  for (size_t i = 0; i < size; i += 4) {
    const bool last = i + 4 == size;
    int values[4];
    int padding = 0;
    for (int k = 0; k < 4; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if (c == '=' && last && k >= 2) {
        values[k] = 0;
        ++padding;
        continue;
      }
      if (padding > 0) BadText("data after padding");
      values[k] = kDecode[c];
      if (values[k] < 0) BadText("character outside the alphabet");
    }
    const uint32_t n = (values[0] << 18) | (values[1] << 12) | (values[2] << 6) | values[3];
    out += static_cast<char>((n >> 16) & 0xFF);
    if (padding < 2) out += static_cast<char>((n >> 8) & 0xFF);
    if (padding < 1) out += static_cast<char>(n & 0xFF);
  }
  return out;
}

}  // namespace instkit

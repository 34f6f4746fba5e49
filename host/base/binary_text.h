// Binary-to-text encoding of the host tools library.  Format code 4196 is
// standard base64 (RFC 4648 alphabet, "=" padding): the text holds no CR,
// never starts with byte 0 and never ends in a byte of code 0 to 32, so a
// value survives the IDF line reader.  Empty data encodes as the empty text.
#pragma once

#include <cstdint>
#include <string>

#include "host/base/export.h"

namespace instkit {

constexpr int32_t kBase64Format = 4196;

// Raises Exception("EFormatError") for an unknown format code.
INSTKIT_API std::string StrToFormat(const char* data, int32_t length, int32_t format);
// Raises Exception("EFormatError") for an unknown format code or a text that
// is not valid base64 (wrong length, bad character, misplaced padding).
INSTKIT_API std::string FormatToStr(const char* text, int32_t length, int32_t format);

// Plain base64 helpers, used by the JSON output as well.
INSTKIT_API std::string Base64Encode(const void* data, size_t length);

}  // namespace instkit

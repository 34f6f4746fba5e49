#include "Tidf/description_encoding.h"

#include "Tidf/idf_text_file.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/platform/file.h"

namespace instkit {

namespace {
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr char kUnassignedByte = '\x98';  // no character in Windows-1251

// Line and column of bytes[offset], counted as an editor does (see the
// header); `bytes` up to the offset is valid UTF-8.
TDecodeProblem PositionOf(std::string_view bytes, size_t offset) {
  TDecodeProblem where{1, 1, 0};
  for (size_t i = 0; i < offset; ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < offset && bytes[i + 1] == '\n') ++i;
      ++where.line;
      where.column = 1;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++where.column;  // continuation bytes belong to the character before
    }
  }
  return where;
}

// LF line ends of a file without any CR become CR LF.
void ConvertLfLineEnds(std::string& text, TDescriptionFormat& format) {
  if (text.find('\r') != std::string::npos || text.find('\n') == std::string::npos) return;
  std::string converted;
  converted.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  text.swap(converted);
  format.lf_line_ends = true;
}
}  // namespace

const char* TextEncodingName(TTextEncoding encoding) {
  switch (encoding) {
    case TTextEncoding::kAscii:
      return "ASCII";
    case TTextEncoding::kWindows1251:
      return "Windows-1251";
    case TTextEncoding::kUtf8:
      return "UTF-8";
    case TTextEncoding::kUtf8WithBom:
      return "UTF-8 with byte-order mark";
  }
  return "unknown";
}

std::string DescribeFormat(const TDescriptionFormat& format) {
  std::string text = TextEncodingName(format.encoding);
  if (format.lf_line_ends) text += ", LF line ends";
  return text;
}

bool DecodeDescription(std::string_view bytes, std::string& text, TDescriptionFormat& format, TDecodeProblem* problem) {
  format = TDescriptionFormat{};
  const bool bom = bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark;
  const std::string_view body = bom ? bytes.substr(kByteOrderMark.size()) : bytes;

  // One pass decodes and converts; the first character without a
  // Windows-1251 form is an error only if the whole file turns out UTF-8.
  // The Windows-1251 text is never longer than the UTF-8 it comes from.
  text.resize(body.size());
  char* out = text.data();
  bool ascii = true;
  size_t unmappable = std::string_view::npos;
  uint32_t unmappable_code_point = 0;
  for (size_t i = 0; i < body.size();) {
    const char c = body[i];
    if (static_cast<unsigned char>(c) < 0x80) {
      *out++ = c;
      ++i;
      continue;
    }
    ascii = false;
    uint32_t code_point = 0;
    const size_t length = DecodeUtf8(body, i, &code_point);
    if (length == 0) {
      if (bom) {
        if (problem != nullptr) *problem = PositionOf(body, i);
        return false;
      }
      format.encoding = TTextEncoding::kWindows1251;
      text.assign(body);
      ConvertLfLineEnds(text, format);
      return true;
    }
    const std::optional<char> byte = Cp1251ByteOf(code_point);
    if (!byte && unmappable == std::string_view::npos) {
      unmappable = i;
      unmappable_code_point = code_point;
    }
    *out++ = byte.value_or('?');
    i += length;
  }
  text.resize(static_cast<size_t>(out - text.data()));
  if (unmappable != std::string_view::npos) {
    if (problem != nullptr) {
      *problem = PositionOf(body, unmappable);
      problem->code_point = unmappable_code_point;
    }
    return false;
  }
  format.encoding = bom ? TTextEncoding::kUtf8WithBom : ascii ? TTextEncoding::kAscii : TTextEncoding::kUtf8;
  ConvertLfLineEnds(text, format);
  return true;
}

bool LoadDescription(TIDFTextFile& file, const std::string& file_name, TDescriptionFormat* format) {
  if (!FileExists(file_name)) {
    file.LastError = Format("File '%s' not exists!", file_name.c_str());
    return false;
  }
  std::string bytes;
  try {
    bytes = ReadWholeFile(file_name);
  } catch (...) {
    file.LastError = DescribeCurrentException().message;
    return false;
  }
  std::string text;
  TDescriptionFormat read_as;
  TDecodeProblem problem;
  if (!DecodeDescription(bytes, text, read_as, &problem)) {
    if (problem.code_point == 0) {
      file.LastError = Format("File '%s', line %lld, column %lld: not valid UTF-8 after a UTF-8 byte-order mark",
                              file_name.c_str(), static_cast<long long>(problem.line),
                              static_cast<long long>(problem.column));
    } else {
      file.LastError = Format("File '%s', line %lld, column %lld: the character U+%04X has no Windows-1251 form",
                              file_name.c_str(), static_cast<long long>(problem.line),
                              static_cast<long long>(problem.column), static_cast<unsigned>(problem.code_point));
    }
    return false;
  }
  bytes.clear();
  bytes.shrink_to_fit();
  if (!file.LoadFromText(text, file_name)) return false;
  if (format != nullptr) *format = read_as;
  return true;
}

bool SaveDescription(TIDFTextFile& file, const std::string& file_name, TTextEncoding encoding) {
  if (encoding != TTextEncoding::kUtf8 && encoding != TTextEncoding::kUtf8WithBom) return file.SaveToFile(file_name);
  std::string text;
  if (!file.SaveToText(text)) return false;
  const size_t unassigned = text.find(kUnassignedByte);
  if (unassigned != std::string::npos) {
    file.LastError = Format("File '%s', line %lld: the byte 0x98 has no character and cannot be written in UTF-8",
                            file_name.c_str(), static_cast<long long>(PositionOf(text, unassigned).line));
    return false;
  }
  std::string utf8(encoding == TTextEncoding::kUtf8WithBom ? kByteOrderMark : std::string_view());
  utf8 += Cp1251ToUtf8(text);
  try {
    WriteWholeFileAtomically(file_name, utf8);
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    file.LastError = Format("An exception during file save process.\r\nFileName = '%s'\r\n%s: %s", file_name.c_str(),
                            failure.class_name.c_str(), failure.message.c_str());
    return false;
  }
  return true;
}

}  // namespace instkit

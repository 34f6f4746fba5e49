// Installation descriptions written in UTF-8 or in Windows-1251.
//
// An IDF text file is Windows-1251, and TIDFTextFile reads and writes it as
// such.  People on Linux write their descriptions in UTF-8, so the command
// line and the run engine load descriptions through LoadDescription, which
// reads the file's bytes, decides their encoding and hands TIDFTextFile the
// Windows-1251 text:
//
//   - a file that starts with the UTF-8 byte-order mark (EF BB BF) is UTF-8;
//     the mark is dropped, and the rest must be valid UTF-8;
//   - a file of ASCII bytes only is read as it is (both encodings agree);
//   - a file that is valid UTF-8 as a whole and holds non-ASCII bytes is
//     UTF-8;
//   - anything else is Windows-1251 and is read as it is.
//
// UTF-8 is strict here (host/base/codepage.h: shortest forms, no surrogates,
// nothing above U+10FFFF), so Windows-1251 text is hardly ever taken for
// UTF-8: Russian letters in Windows-1251 do not form valid sequences.
//
// Decisions of this module:
// - A UTF-8 character with no Windows-1251 form is an error that names its
//   line and column; nothing is replaced silently.  Lines are counted as an
//   editor counts them (CR LF, a lone CR and a lone LF each end a line),
//   columns in characters from 1, the byte-order mark not counted.
// - A file without a single CR whose lines end in LF (as editors on Linux
//   write them) has its LF line ends read as CR LF, whatever its encoding.
//   TIDFTextFile alone would read such a file as one line and refuse it.
// - Saving in UTF-8 writes no byte-order mark; the file is then told apart
//   by its content, and a file that is all ASCII reads the same either way.
//   A text holding the byte 0x98, which has no character in Windows-1251,
//   cannot be written in UTF-8 and the save fails, naming its line.
// - Errors keep TIDFTextFile's contract: false, and the reason in the file
//   object's LastError (English, naming the file).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/base/export.h"

namespace instkit {

class TIDFTextFile;

enum class TTextEncoding : uint8_t {
  kAscii,  // 7-bit bytes only: the same text in either encoding
  kWindows1251,
  kUtf8,  // valid UTF-8 with non-ASCII characters, no byte-order mark
  kUtf8WithBom,
};

// How a description's bytes were read.
struct TDescriptionFormat {
  TTextEncoding encoding = TTextEncoding::kAscii;
  bool lf_line_ends = false;  // no CR in the file: LF ended its lines
};

// "ASCII", "Windows-1251", "UTF-8", "UTF-8 with byte-order mark".
INSTKIT_API const char* TextEncodingName(TTextEncoding encoding);
// The encoding's name, followed by ", LF line ends" when they were.
INSTKIT_API std::string DescribeFormat(const TDescriptionFormat& format);

// Where the bytes of a description cannot be read: 1-based line and column,
// and the character that has no Windows-1251 form (0 for bytes that are not
// valid UTF-8 after a byte-order mark).
struct TDecodeProblem {
  int64_t line = 0;
  int64_t column = 0;
  uint32_t code_point = 0;
};

// Turns the raw bytes of a description into the Windows-1251 text the IDF
// reader takes (the rules above).  False, with *problem filled, when the
// bytes are UTF-8 that cannot be converted; `text` and `format` are then
// meaningless.
INSTKIT_API bool DecodeDescription(std::string_view bytes, std::string& text, TDescriptionFormat& format,
                                   TDecodeProblem* problem);

// Reads `file_name` (a path as the file system spells it) into `file` as
// TIDFTextFile::LoadFromFile would read the decoded text.  On success stores
// how it was read in *format (when not null).  False with file.LastError set
// when the file is missing or unreadable, its UTF-8 cannot be converted
// ("File '...', line L, column C: the character U+XXXX has no Windows-1251
// form"), or TIDFTextFile refuses the text (LastError then as LoadFromFile
// leaves it, possibly unchanged).
INSTKIT_API bool LoadDescription(TIDFTextFile& file, const std::string& file_name,
                                 TDescriptionFormat* format = nullptr);

// Writes `file` to `file_name` in Windows-1251 (exactly SaveToFile) or, for
// either UTF-8 encoding, converted to UTF-8 (with the byte-order mark only
// for kUtf8WithBom).  kAscii means Windows-1251.  The target is replaced
// atomically: it holds the old content or the complete new one.  False with
// file.LastError set on failure.
INSTKIT_API bool SaveDescription(TIDFTextFile& file, const std::string& file_name, TTextEncoding encoding);

}  // namespace instkit

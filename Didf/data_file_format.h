// The IDF data file ("IDF-DS"): a table's rows as one compressed file.
//
// The file is the output of TCompressor (host/compress/compressor.h) over the
// plain image, a zstd frame with a content checksum, followed by the 24-byte
// check record of Didf/check_record.h (a zstd skippable frame holding the
// CRC-32 of the frame's bytes and the plain size).  Files without the record
// (older ones, or written by zstd itself) are read the same way.  The plain
// image:
//
//   image   := "IDF-DS" CRLF             magic; readers check the first six
//              CRLF                       bytes of the line only
//              "TableName=" name CRLF
//              field { "," field } CRLF   names, structure order ("" for none)
//              type { "," type } CRLF     type names, same order
//              { record }                 up to the end of the image
//   record  := value for each field, in field order, no separator
//   value   := STRING   int32 n, then n bytes      (n <= 0: empty, no bytes)
//            | SMALLINT int16                      (low 16 bits)
//            | INTEGER  int32
//            | FLOAT | DATETIME | CURRENCY  IEEE 754 double
//            | BOOLEAN  byte, 0 false, any other byte true
//
// Integers and doubles are little-endian (host/base/coding.h).  Texts are bytes of
// the data's code page, unescaped.  There is no record count, no end marker
// and no version besides the magic: the formats below are frozen.
//
// Readers accept header lines ended by CR LF or a lone CR (a lone LF does not
// end a line), trim blanks and control characters from both ends of each
// line, and refuse text lengths above kMaxTextLength.
#pragma once

#include <cstdint>
#include <string_view>

#include "host/compress/compressor.h"
#include "host/base/field_types.h"

namespace instkit {

inline constexpr std::string_view kDataFileMagic = "IDF-DS";
inline constexpr std::string_view kTableNameKey = "TableName=";
inline constexpr std::string_view kLineEnd = "\r\n";
// The longest text value a reader accepts (10 MiB).
inline constexpr int32_t kMaxTextLength = 10 * 1024 * 1024;
// The highest field-type code that has a type name.
inline constexpr int kLastNamedFieldType = 17;

// The type name written for each field-type code 0..17.
inline constexpr const char* kFieldTypeNames[kLastNamedFieldType + 1] = {
    "STRING", "SMALLINT", "INTEGER", "FLOAT",    "DATETIME", "DATETIME", "CURRENCY", "STRING",  "STRING",
    "STRING", "INTEGER",  "INTEGER", "DATETIME", "DATETIME", "INTEGER",  "STRING",   "BOOLEAN", "SMALLINT"};

// The code a type name reads back as: the canonical code of each code 0..17.
// Only 0, 1, 2, 3, 5, 6 and 16 occur; each has one value encoding.
inline constexpr uint8_t kCanonicalFieldType[kLastNamedFieldType + 1] = {
    ftString, ftSmallInt, ftInteger, ftFloat,    ftDateTime, ftDateTime, ftCurrency, ftString,  ftString,
    ftString, ftInteger,  ftInteger, ftDateTime, ftDateTime, ftInteger,  ftString,   ftBoolean, ftSmallInt};

// Names accepted when reading (after trimming and upper-casing).  "WORD" is
// read as SMALLINT and never written.
struct TFieldTypeName {
  std::string_view name;
  uint8_t code;
};
inline constexpr TFieldTypeName kReadableFieldTypes[] = {
    {"STRING", ftString},   {"SMALLINT", ftSmallInt}, {"INTEGER", ftInteger},   {"WORD", ftSmallInt},
    {"BOOLEAN", ftBoolean}, {"FLOAT", ftFloat},       {"CURRENCY", ftCurrency}, {"DATETIME", ftDateTime}};

// How data files use the compressor: with the content checksum on (a damaged
// file fails instead of loading garbage), zstd level 3, and a minimum match
// of 7 bytes.  Records interleave small binary integers whose zero bytes make
// many short matches that cost more than they save; with 7 the file of a
// typical table is 6-8 % smaller at the same speed, within 5 % of gzip -6.
// Readers need none of this (any zstd frame decompresses); they only decode
// ahead on a worker thread while they parse.
inline void ConfigureDataFileCompressor(TCompressor& compressor) {
  compressor.SetChecksum(true);
  compressor.SetLevel(3);
  compressor.SetMinMatch(7);
  // One zstd worker compresses while the caller reads the table or builds
  // records; it is joined before the compressor returns.
  compressor.SetWorkers(1);
  compressor.SetReadAhead(true);
}

}  // namespace instkit

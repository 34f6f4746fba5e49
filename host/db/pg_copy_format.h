// PostgreSQL's binary COPY format, as the PostgreSQL tables read and write it.
//
// A binary COPY stream:
//   header  "PGCOPY\n\377\r\n\0", int32 flags (0), int32 extension length (0)
//   tuple*  int16 field count, then per field int32 length (-1: NULL) and
//           that many bytes of the type's binary form
//   trailer int16 -1
// All integers big-endian (host/base/coding.h).  The binary forms used here:
//   bool 1 byte; int2/int4/int8; float4/float8 (IEEE, big-endian);
//   date int32 days since 2000-01-01; time int64 microseconds of the day;
//   timestamp, timestamptz int64 microseconds since 2000-01-01 00:00 (UTC for
//   timestamptz); text-like types and bytea their bytes; numeric int16
//   digit count, int16 weight, int16 sign, int16 display scale, then base
//   10000 digits as int16.
//
// Which column types map to which field codes (the table for both engines is
// in docs/data-files.md):
//   bool 16; int2 1; int4 2; int8 3 (FLOAT, exact to 2^53); float4, float8 3;
//   numeric with scale 0 3 (FLOAT), other numeric 6; money 6; date 4; time
//   12; timestamp, timestamptz 5; text, varchar, char, name 0; bytea 9;
//   every other type 0, read as its text form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/base/variant.h"

namespace instkit {

class TField;

// Type OIDs of the built-in types (frozen by PostgreSQL).
namespace pg_oid {
constexpr uint32_t kBool = 16, kBytea = 17, kChar = 18, kName = 19, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25,
                   kFloat4 = 700, kFloat8 = 701, kMoney = 790, kBpchar = 1042, kVarchar = 1043, kDate = 1082,
                   kTime = 1083, kTimestamp = 1114, kTimestamptz = 1184, kNumeric = 1700;
}

// How a column's values travel on the wire.  Values of kOther columns are
// read through a cast to text, and written in COPY's text format (the
// server parses them), since their binary forms are the type's own.
enum class TPgKind : uint8_t {
  kBool,
  kInt2,
  kInt4,
  kInt8,
  kFloat4,
  kFloat8,
  kNumeric,
  kDate,
  kTime,
  kTimestamp,
  kText,
  kBytea,
  kOther
};

struct TPgColumn {
  std::string name;
  uint32_t oid = 0;
  int32_t typmod = -1;

  TPgKind Kind() const;
  // The field-type code of the column (list above).
  uint8_t FieldType() const;
  // The column in a COPY (SELECT ...) list, cast where its binary form is
  // not read here: numeric to float8 (scale 0: int8), money to float8,
  // other types to text.
  std::string SelectExpression() const;
  // The kind its SelectExpression delivers.
  TPgKind ReadKind() const;
};

constexpr std::string_view kPgCopyHeader{"PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0", 19};

// One value of a binary COPY tuple into `field`.  Text goes into the text
// the field holds (no allocation per row).  Raises EConvertError for a value
// the field cannot carry unchanged (an int8 beyond 2^53, an infinite date).
void ReadPgValue(TPgKind kind, std::string_view bytes, TField& field);

// Appends the binary form (length and bytes) of `value` for a column of
// `kind`; the empty value is NULL.  The value is of the column's field kind
// (bool, int32, double or text).  Raises EConvertError for a value the
// column cannot hold (outside int2, a fraction into int8, an infinity).
void PutPgBinaryValue(std::string& dst, TPgKind kind, const TVariant& value);

// Appends `value` in COPY's text format (escaped; "\N" for the empty value).
void PutPgTextValue(std::string& dst, TPgKind kind, const TVariant& value);

// Date-time doubles (days since 1899-12-30, host/base/date_time.h) and
// PostgreSQL's microseconds since 2000-01-01, rounded to the microsecond.
int64_t PgMicrosOfDateTime(double value);
double DateTimeOfPgMicros(int64_t micros);

}  // namespace instkit

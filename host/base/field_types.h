// Field-type codes of typed records (one byte).  The codes are frozen: they
// appear in IDF text files (as tags), data files (as type names) and tables.
#pragma once

#include <cstdint>

namespace instkit {

enum TFieldTypeCode : uint8_t {
  ftString = 0,       // text
  ftSmallInt = 1,     // 16-bit integer
  ftInteger = 2,      // 32-bit integer
  ftFloat = 3,        // double
  ftDate = 4,         // date, held as a double
  ftDateTime = 5,     // date and time, held as a double
  ftCurrency = 6,     // currency, held as a double
  ftMemo = 7,         // long text
  ftFixedChar = 8,    // fixed-width text
  ftBinary = 9,       // bytes held as text
  ftParameter = 10,   // a parameter that keeps whatever value it is given
  ftLargeInt = 11,    // integer (held in 32 bits here)
  ftTime = 12,        // time, held as a double
  ftTimeStamp = 13,   // time stamp, held as a double
  ftAutoInc = 14,     // integer
  ftWideString = 15,  // text
  ftBoolean = 16,     // Boolean
  ftWord = 17,        // unsigned 16-bit integer
};

// How a field of a type code holds its value.
enum class TValueClass : uint8_t {
  Text,     // 0, 7, 8, 9, 15
  Integer,  // 1, 2, 11, 14, 17
  Float,    // 3, 4, 5, 6, 12, 13
  Boolean,  // 16
  Any,      // 10 and codes above 17: the value keeps the kind it was given
};

constexpr TValueClass ValueClassOf(uint8_t code) {
  switch (code) {
    case ftString:
    case ftMemo:
    case ftFixedChar:
    case ftBinary:
    case ftWideString:
      return TValueClass::Text;
    case ftSmallInt:
    case ftInteger:
    case ftLargeInt:
    case ftAutoInc:
    case ftWord:
      return TValueClass::Integer;
    case ftFloat:
    case ftDate:
    case ftDateTime:
    case ftCurrency:
    case ftTime:
    case ftTimeStamp:
      return TValueClass::Float;
    case ftBoolean:
      return TValueClass::Boolean;
    default:
      return TValueClass::Any;
  }
}

}  // namespace instkit

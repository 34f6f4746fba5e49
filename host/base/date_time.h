// Dates and times as the typed records hold them, and as ISO-8601 text.
//
// A date-time value is a double: whole days since 1899-12-30 00:00, with the
// time of day as the fraction.  Before that day the whole part is negative
// and the fraction still counts forward from midnight: -1.25 is 1899-12-29
// 06:00 (the whole part is the day, the fraction's size the time).
//
// Texts follow ISO-8601 as SQLite's date functions read and write them:
//   date      YYYY-MM-DD
//   date-time YYYY-MM-DD HH:MM[:SS[.fff]]   ("T" may stand for the blank)
//   time      HH:MM[:SS[.fff]]              (on day 0, 1899-12-30)
// each optionally followed by "Z" or a zone "+HH:MM" / "-HH:MM", which is
// taken away (the value is the UTC time), as SQLite does.  Years run from 0001
// to 9999; fractions of a second are kept to the millisecond.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/base/export.h"

namespace instkit {

// The value of an ISO-8601 text; nothing when the text is not one of the
// forms above (or names a day that does not exist).
INSTKIT_API std::optional<double> ParseIsoDateTime(std::string_view text);

// Which form a value is written in.
enum class TIsoForm {
  kDate,      // YYYY-MM-DD, with the time added when the value has one
  kTime,      // HH:MM:SS, with the date added when the value is not on day 0
  kDateTime,  // YYYY-MM-DD HH:MM:SS
};

// The ISO-8601 text of a value, milliseconds added (".fff") when not zero.
// Raises EConvertError for a value outside the years 0001 to 9999 (or NaN).
INSTKIT_API std::string FormatIsoDateTime(double value, TIsoForm form);

}  // namespace instkit

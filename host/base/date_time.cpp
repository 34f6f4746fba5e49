#include "host/base/date_time.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "host/base/exception.h"
#include "host/base/format.h"

namespace instkit {

namespace {

constexpr int64_t kMsPerDay = 86400000;
// 1899-12-30 counted from 1970-01-01.
constexpr int64_t kEpochShift = -25569;

// Days since 1970-01-01 of a day of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int64_t DaysInMonth(int64_t y, int64_t m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// A cursor over the text with fixed-width digit groups.
struct TCursor {
  std::string_view text;
  size_t at = 0;

  bool Digits(size_t n, int64_t& value) {
    if (text.size() - at < n) return false;
    value = 0;
    for (size_t i = 0; i < n; ++i) {
      const char c = text[at + i];
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    at += n;
    return true;
  }
  bool Char(char c) {
    if (at < text.size() && text[at] == c) {
      ++at;
      return true;
    }
    return false;
  }
  bool AtEnd() const { return at == text.size(); }
};

// HH:MM[:SS[.fff...]] as milliseconds of the day.
bool ParseTime(TCursor& c, int64_t& ms) {
  int64_t h, mi, s = 0, frac = 0;
  if (!c.Digits(2, h) || !c.Char(':') || !c.Digits(2, mi) || h > 23 || mi > 59) return false;
  if (c.Char(':')) {
    if (!c.Digits(2, s) || s > 59) return false;
    if (c.Char('.')) {
      // Up to three digits count; more are read and dropped.
      int digits = 0;
      while (c.at < c.text.size() && c.text[c.at] >= '0' && c.text[c.at] <= '9') {
        if (digits < 3) frac = frac * 10 + (c.text[c.at] - '0');
        ++digits;
        ++c.at;
      }
      if (digits == 0) return false;
      for (int k = digits; k < 3; ++k) frac *= 10;
    }
  }
  ms = ((h * 60 + mi) * 60 + s) * 1000 + frac;
  return true;
}

// [Z | +HH:MM | -HH:MM] as milliseconds to subtract.
bool ParseZone(TCursor& c, int64_t& offset_ms) {
  offset_ms = 0;
  if (c.AtEnd()) return true;
  if (c.Char('Z') || c.Char('z')) return c.AtEnd();
  const bool minus = c.text[c.at] == '-';
  if (!c.Char('+') && !c.Char('-')) return false;
  int64_t h, m;
  if (!c.Digits(2, h) || !c.Char(':') || !c.Digits(2, m) || h > 14 || m > 59) return false;
  offset_ms = (h * 60 + m) * 60000 * (minus ? -1 : 1);
  return c.AtEnd();
}

}  // namespace

std::optional<double> ParseIsoDateTime(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  TCursor c{text};
  int64_t day = 0;  // days since 1899-12-30
  int64_t ms = 0;
  if (text.size() >= 3 && text[2] == ':') {
    if (!ParseTime(c, ms)) return std::nullopt;
  } else {
    int64_t y, m, d;
    if (!c.Digits(4, y) || !c.Char('-') || !c.Digits(2, m) || !c.Char('-') || !c.Digits(2, d)) return std::nullopt;
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return std::nullopt;
    day = DaysFromCivil(y, m, d) - kEpochShift;
    if ((c.Char(' ') || c.Char('T')) && !ParseTime(c, ms)) return std::nullopt;
  }
  int64_t offset = 0;
  if (!ParseZone(c, offset)) return std::nullopt;
  int64_t total = day * kMsPerDay + ms - offset;
  day = total >= 0 ? total / kMsPerDay : -((-total + kMsPerDay - 1) / kMsPerDay);
  ms = total - day * kMsPerDay;
  const double fraction = static_cast<double>(ms) / kMsPerDay;
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

std::string FormatIsoDateTime(double value, TIsoForm form) {
  // Day 1 of year 1 and the last day of 9999, counted from 1899-12-30.
  constexpr double kFirst = -693593.0;
  constexpr double kLast = 2958466.0;
  if (!(value > kFirst - 1 && value < kLast)) {
    throw EConvertError(Format("'%g' is not a valid date and time value", value));
  }
  int64_t day = static_cast<int64_t>(std::trunc(value));
  int64_t ms = std::llround(std::fabs(value - static_cast<double>(day)) * kMsPerDay);
  if (ms >= kMsPerDay) {  // rounded up to the next midnight
    ms -= kMsPerDay;
    ++day;
  }
  int64_t y, m, d;
  CivilFromDays(day + kEpochShift, y, m, d);
  if (y < 1 || y > 9999) throw EConvertError(Format("'%g' is not a valid date and time value", value));
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
  char time[16];
  const int64_t seconds = ms / 1000;
  if (ms % 1000 != 0) {
    std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60), static_cast<int>(ms % 1000));
  } else {
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  }
  if (form == TIsoForm::kDate && ms == 0) return date;
  if (form == TIsoForm::kTime && day == 0) return time;
  return std::string(date) + " " + time;
}

}  // namespace instkit

#include "host/db/pg_copy_format.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "host/base/coding.h"
#include "host/base/date_time.h"
#include "host/base/exception.h"
#include "host/base/field_types.h"
#include "host/base/format.h"
#include "host/base/record.h"
#include "host/base/text.h"
#include "host/db/sql_identifier.h"

namespace instkit {

namespace {

constexpr int64_t kDayMicros = int64_t{86400} * 1000000;
// 2000-01-01 counted in days since 1899-12-30.
constexpr int64_t kPgEpochDays = 36526;
constexpr int64_t kExactDoubleLimit = int64_t{1} << 53;
// Date-time values beyond this many days (about the year 275,000) would
// overflow the microseconds.
constexpr double kDayLimit = 1e8;

int NumericScale(int32_t typmod) { return typmod < 4 ? -1 : (typmod - 4) & 0xFFFF; }

void PutLength(std::string& dst, uint32_t n) { PutBig32(dst, n); }

double Float8Of(std::string_view b) {
  const uint64_t bits = DecodeBig64(b.data());
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

float Float4Of(std::string_view b) {
  const uint32_t bits = DecodeBig32(b.data());
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

void NeedBytes(std::string_view b, size_t n) {
  if (b.size() != n)
    throw EConvertError(Format("a value of %u bytes where %u were expected", static_cast<unsigned>(b.size()),
                               static_cast<unsigned>(n)));
}

// Appends the numeric binary form of a finite double, or NaN.
void PutNumeric(std::string& dst, double value) {
  if (std::isnan(value)) {
    PutLength(dst, 8);
    PutBig16(dst, 0), PutBig16(dst, 0), PutBig16(dst, 0xC000), PutBig16(dst, 0);
    return;
  }
  if (!std::isfinite(value)) throw EConvertError("an infinite value cannot be stored as numeric");
  // The shortest decimal text that reads back as the same double.
  char text[400];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::fixed);
  if (ec != std::errc()) throw EConvertError("a value too long for numeric");
  std::string digits;
  int point = -1;  // digits before the decimal point
  for (const char* p = text; p < end; ++p) {
    if (*p == '.') {
      point = static_cast<int>(digits.size());
    } else {
      digits += *p;
    }
  }
  if (point < 0) point = static_cast<int>(digits.size());
  const int scale = static_cast<int>(digits.size()) - point;
  // Align the digits to groups of four around the point.
  const int lead = (4 - point % 4) % 4;
  digits.insert(0, static_cast<size_t>(lead), '0');
  point += lead;
  digits.append((4 - digits.size() % 4) % 4, '0');
  std::vector<uint16_t> groups;
  for (size_t i = 0; i < digits.size(); i += 4) groups.push_back(static_cast<uint16_t>(std::stoi(digits.substr(i, 4))));
  int weight = point / 4 - 1;
  size_t first = 0;
  while (first < groups.size() && groups[first] == 0) ++first, --weight;
  size_t last = groups.size();
  while (last > first && groups[last - 1] == 0) --last;
  const size_t count = last - first;
  if (count == 0) weight = 0;
  PutLength(dst, static_cast<uint32_t>(8 + 2 * count));
  PutBig16(dst, static_cast<uint16_t>(count));
  PutBig16(dst, static_cast<uint16_t>(static_cast<int16_t>(weight)));
  PutBig16(dst, value < 0 && count > 0 ? 0x4000 : 0);
  PutBig16(dst, static_cast<uint16_t>(scale));
  for (size_t i = first; i < last; ++i) PutBig16(dst, groups[i]);
}

int64_t WholeInt64(double v) {
  if (std::trunc(v) != v || !(std::fabs(v) < 9.2233720368547758e18)) {
    throw EConvertError(Format("%s is not a whole number that bigint holds", DoubleToStr(v).c_str()));
  }
  return static_cast<int64_t>(v);
}

// ISO-8601 text of microseconds since 2000-01-01, to the microsecond, in
// whole-number arithmetic (the proleptic Gregorian calendar, as the server
// counts): "YYYY-MM-DD", "HH:MM:SS[.ffffff]" or both.
std::string IsoTextOfPgMicros(int64_t micros, TIsoForm form) {
  int64_t days = micros / kDayMicros;
  if (micros % kDayMicros < 0) --days;
  int64_t time = micros - days * kDayMicros;
  // Days since 0000-03-01 (2000-01-01 is day 730425) to year, month, day.
  const int64_t z = days + 730425;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  const int64_t fraction = time % 1000000;
  time /= 1000000;
  std::string text;
  if (form != TIsoForm::kTime) {
    text = Format("%04lld-%02lld-%02lld", static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day));
  }
  if (form == TIsoForm::kDate) return text;
  text += Format("%s%02lld:%02lld:%02lld", text.empty() ? "" : " ", static_cast<long long>(time / 3600),
                 static_cast<long long>(time / 60 % 60), static_cast<long long>(time % 60));
  return fraction == 0 ? text : text + Format(".%06lld", static_cast<long long>(fraction));
}

void PutShortest(std::string& dst, double v) {
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
  dst.append(text, ec == std::errc() ? end : text);
}

}  // namespace

TPgKind TPgColumn::Kind() const {
  switch (oid) {
    case pg_oid::kBool:
      return TPgKind::kBool;
    case pg_oid::kInt2:
      return TPgKind::kInt2;
    case pg_oid::kInt4:
      return TPgKind::kInt4;
    case pg_oid::kInt8:
      return TPgKind::kInt8;
    case pg_oid::kFloat4:
      return TPgKind::kFloat4;
    case pg_oid::kFloat8:
      return TPgKind::kFloat8;
    case pg_oid::kNumeric:
      return TPgKind::kNumeric;
    case pg_oid::kDate:
      return TPgKind::kDate;
    case pg_oid::kTime:
      return TPgKind::kTime;
    case pg_oid::kTimestamp:
    case pg_oid::kTimestamptz:
      return TPgKind::kTimestamp;
    case pg_oid::kText:
    case pg_oid::kVarchar:
    case pg_oid::kBpchar:
    case pg_oid::kName:
    case pg_oid::kChar:
      return TPgKind::kText;
    case pg_oid::kBytea:
      return TPgKind::kBytea;
    default:
      return TPgKind::kOther;
  }
}

uint8_t TPgColumn::FieldType() const {
  switch (Kind()) {
    case TPgKind::kBool:
      return ftBoolean;
    case TPgKind::kInt2:
      return ftSmallInt;
    case TPgKind::kInt4:
      return ftInteger;
    case TPgKind::kInt8:
    case TPgKind::kFloat4:
    case TPgKind::kFloat8:
      return ftFloat;
    case TPgKind::kNumeric:
      return NumericScale(typmod) == 0 ? ftFloat : ftCurrency;
    case TPgKind::kDate:
      return ftDate;
    case TPgKind::kTime:
      return ftTime;
    case TPgKind::kTimestamp:
      return ftDateTime;
    case TPgKind::kBytea:
      return ftBinary;
    case TPgKind::kText:
      return ftString;
    case TPgKind::kOther:
      return oid == pg_oid::kMoney ? ftCurrency : ftString;
  }
  return ftString;
}

TPgKind TPgColumn::ReadKind() const {
  const TPgKind kind = Kind();
  if (kind == TPgKind::kNumeric) return NumericScale(typmod) == 0 ? TPgKind::kInt8 : TPgKind::kFloat8;
  if (oid == pg_oid::kMoney) return TPgKind::kFloat8;
  return kind == TPgKind::kOther ? TPgKind::kText : kind;
}

std::string TPgColumn::SelectExpression() const {
  const std::string quoted = QuoteIdentifier(name);
  const TPgKind kind = Kind();
  if (kind == TPgKind::kNumeric) return quoted + (NumericScale(typmod) == 0 ? "::int8" : "::float8");
  if (oid == pg_oid::kMoney) return quoted + "::numeric::float8";
  return kind == TPgKind::kOther ? quoted + "::text" : quoted;
}

int64_t PgMicrosOfDateTime(double value) {
  if (!std::isfinite(value) || std::fabs(value) > kDayLimit) {
    throw EConvertError(Format("%s is not a date and time", DoubleToStr(value).c_str()));
  }
  const double day = std::trunc(value);
  const auto time = static_cast<int64_t>(std::llround(std::fabs(value - day) * static_cast<double>(kDayMicros)));
  return (static_cast<int64_t>(day) - kPgEpochDays) * kDayMicros + (day < 0 ? -time : time);
}

double DateTimeOfPgMicros(int64_t micros) {
  const int64_t total = micros + kPgEpochDays * kDayMicros;
  int64_t day = total / kDayMicros;
  if (total % kDayMicros < 0) --day;
  const double time = static_cast<double>(total - day * kDayMicros) / static_cast<double>(kDayMicros);
  return static_cast<double>(day) + (day < 0 ? -time : time);
}

void ReadPgValue(TPgKind kind, std::string_view b, TField& field) {
  switch (kind) {
    case TPgKind::kBool:
      NeedBytes(b, 1);
      field.SetAsBoolean(b[0] != 0);
      return;
    case TPgKind::kInt2:
      NeedBytes(b, 2);
      field.SetAsInteger(static_cast<int16_t>(DecodeBig16(b.data())));
      return;
    case TPgKind::kInt4:
      NeedBytes(b, 4);
      field.SetAsInteger(static_cast<int32_t>(DecodeBig32(b.data())));
      return;
    case TPgKind::kInt8: {
      NeedBytes(b, 8);
      const auto v = static_cast<int64_t>(DecodeBig64(b.data()));
      if (v > kExactDoubleLimit || v < -kExactDoubleLimit) {
        throw EConvertError(
            Format("%lld is beyond 2^53 and cannot be carried exactly as FLOAT", static_cast<long long>(v)));
      }
      field.SetAsFloat(static_cast<double>(v));
      return;
    }
    case TPgKind::kFloat4:
      NeedBytes(b, 4);
      field.SetAsFloat(Float4Of(b));
      return;
    case TPgKind::kFloat8:
      NeedBytes(b, 8);
      field.SetAsFloat(Float8Of(b));
      return;
    case TPgKind::kDate: {
      NeedBytes(b, 4);
      const auto days = static_cast<int32_t>(DecodeBig32(b.data()));
      if (days == std::numeric_limits<int32_t>::max() || days == std::numeric_limits<int32_t>::min()) {
        throw EConvertError("an infinite date cannot be carried as DATETIME");
      }
      field.SetAsFloat(static_cast<double>(days + kPgEpochDays));
      return;
    }
    case TPgKind::kTime:
      NeedBytes(b, 8);
      field.SetAsFloat(static_cast<double>(static_cast<int64_t>(DecodeBig64(b.data()))) /
                       static_cast<double>(kDayMicros));
      return;
    case TPgKind::kTimestamp: {
      NeedBytes(b, 8);
      const auto micros = static_cast<int64_t>(DecodeBig64(b.data()));
      if (micros == std::numeric_limits<int64_t>::max() || micros == std::numeric_limits<int64_t>::min()) {
        throw EConvertError("an infinite time stamp cannot be carried as DATETIME");
      }
      field.SetAsFloat(DateTimeOfPgMicros(micros));
      return;
    }
    case TPgKind::kNumeric:
    case TPgKind::kOther:
      throw EConvertError("a value of this type is read through a cast");
    case TPgKind::kText:
    case TPgKind::kBytea:
      field.SetAsText(b);
      return;
  }
}

void PutPgBinaryValue(std::string& dst, TPgKind kind, const TVariant& value) {
  // A fixed-width value goes out with its length in one append.
  char fixed[12];
  const auto put = [&](size_t n, uint64_t bits) {
    fixed[0] = fixed[1] = fixed[2] = 0;
    fixed[3] = static_cast<char>(n);
    for (size_t i = 0; i < n; ++i) fixed[4 + i] = static_cast<char>(bits >> (8 * (n - 1 - i)));
    dst.append(fixed, 4 + n);
  };
  const auto* integer = std::get_if<int32_t>(&value);
  const auto* real = std::get_if<double>(&value);
  switch (IsEmpty(value) ? TPgKind::kOther : kind) {
    case TPgKind::kBool: {
      const auto* flag = std::get_if<bool>(&value);
      put(1, (flag != nullptr ? *flag : VariantToBoolean(value)) ? 1 : 0);
      return;
    }
    case TPgKind::kInt2: {
      const int32_t v = integer != nullptr ? *integer : VariantToInteger(value);
      if (v < -32768 || v > 32767) throw EConvertError(Format("%d is out of range for smallint", v));
      put(2, static_cast<uint16_t>(v));
      return;
    }
    case TPgKind::kInt4:
      put(4, static_cast<uint32_t>(integer != nullptr ? *integer : VariantToInteger(value)));
      return;
    case TPgKind::kInt8:
      put(8, static_cast<uint64_t>(integer != nullptr ? *integer : WholeInt64(VariantToFloat(value))));
      return;
    case TPgKind::kFloat4: {
      const auto v = static_cast<float>(real != nullptr ? *real : VariantToFloat(value));
      uint32_t bits;
      std::memcpy(&bits, &v, sizeof bits);
      put(4, bits);
      return;
    }
    case TPgKind::kFloat8: {
      const double v = real != nullptr ? *real : VariantToFloat(value);
      uint64_t bits;
      std::memcpy(&bits, &v, sizeof bits);
      put(8, bits);
      return;
    }
    case TPgKind::kNumeric:
      PutNumeric(dst, VariantToFloat(value));
      return;
    case TPgKind::kDate: {
      const double v = VariantToFloat(value);
      if (!std::isfinite(v) || std::fabs(v) > kDayLimit)
        throw EConvertError(Format("%s is not a date", DoubleToStr(v).c_str()));
      put(4, static_cast<uint32_t>(static_cast<int32_t>(std::trunc(v)) - static_cast<int32_t>(kPgEpochDays)));
      return;
    }
    case TPgKind::kTime: {
      const double v = VariantToFloat(value);
      if (!std::isfinite(v)) throw EConvertError("not a time");
      const auto micros = std::llround(std::fabs(v - std::trunc(v)) * static_cast<double>(kDayMicros));
      put(8, static_cast<uint64_t>(std::min<int64_t>(micros, kDayMicros)));
      return;
    }
    case TPgKind::kTimestamp:
      put(8, static_cast<uint64_t>(PgMicrosOfDateTime(VariantToFloat(value))));
      return;
    case TPgKind::kText:
    case TPgKind::kBytea:
    case TPgKind::kOther: {
      if (IsEmpty(value)) {
        PutBig32(dst, 0xFFFFFFFFu);
      } else if (const auto* text = std::get_if<std::string>(&value)) {
        PutLength(dst, static_cast<uint32_t>(text->size()));
        dst += *text;
      } else {
        const std::string converted = VariantToString(value);
        PutLength(dst, static_cast<uint32_t>(converted.size()));
        dst += converted;
      }
      return;
    }
  }
}

void PutPgTextValue(std::string& dst, TPgKind kind, const TVariant& value) {
  if (IsEmpty(value)) {
    dst += "\\N";
    return;
  }
  std::string text;
  switch (kind) {
    case TPgKind::kBool:
      text = VariantToBoolean(value) ? "t" : "f";
      break;
    case TPgKind::kInt2:
    case TPgKind::kInt4:
      text = IntToStr(VariantToInteger(value));
      break;
    case TPgKind::kInt8:
      text = std::holds_alternative<int32_t>(value) ? IntToStr(std::get<int32_t>(value))
                                                    : IntToStr(WholeInt64(VariantToFloat(value)));
      break;
    case TPgKind::kFloat4:
    case TPgKind::kFloat8:
    case TPgKind::kNumeric:
      PutShortest(text, VariantToFloat(value));
      break;
    case TPgKind::kDate:
      text = IsoTextOfPgMicros(PgMicrosOfDateTime(std::trunc(VariantToFloat(value))), TIsoForm::kDate);
      break;
    case TPgKind::kTime:
      text = IsoTextOfPgMicros(PgMicrosOfDateTime(std::fabs(std::fmod(VariantToFloat(value), 1.0))), TIsoForm::kTime);
      break;
    case TPgKind::kTimestamp:
      text = IsoTextOfPgMicros(PgMicrosOfDateTime(VariantToFloat(value)), TIsoForm::kDateTime);
      break;
    case TPgKind::kBytea: {
      static const char kHex[] = "0123456789abcdef";
      text = "\\x";
      for (unsigned char c : VariantToString(value)) text += kHex[c >> 4], text += kHex[c & 15];
      break;
    }
    case TPgKind::kText:
    case TPgKind::kOther:
      text = VariantToString(value);
      break;
  }
  for (char c : text) {
    switch (c) {
      case '\\':
        dst += "\\\\";
        break;
      case '\t':
        dst += "\\t";
        break;
      case '\n':
        dst += "\\n";
        break;
      case '\r':
        dst += "\\r";
        break;
      default:
        dst += c;
    }
  }
}

}  // namespace instkit

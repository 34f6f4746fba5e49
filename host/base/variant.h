// The value of one typed field: empty, text, integer, double or Boolean.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "host/base/export.h"

namespace instkit {

using TVariant = std::variant<std::monostate, std::string, int32_t, double, bool>;

inline bool IsEmpty(const TVariant& v) { return std::holds_alternative<std::monostate>(v); }

// Conversions between the kinds.  Each raises EConvertError with the usual
// "'<text>' is not a valid <kind> value" message when it cannot be done.
// Empty converts to "", 0, 0.0 and false.
INSTKIT_API std::string VariantToString(const TVariant& v);
INSTKIT_API int32_t VariantToInteger(const TVariant& v);
INSTKIT_API double VariantToFloat(const TVariant& v);
INSTKIT_API bool VariantToBoolean(const TVariant& v);

// Text to value; the same rules the fields use.  Integer texts are strict
// (ParseInt32: an optional sign and digits, no blanks: "12 " fails);
// floating-point and Boolean texts may carry blanks around them.
INSTKIT_API int32_t StrToInt(const std::string& text);
INSTKIT_API double StrToFloat(const std::string& text);
INSTKIT_API bool StrToBool(const std::string& text);
// "TRUE" / "FALSE".
INSTKIT_API const char* BoolToStr(bool value);

}  // namespace instkit

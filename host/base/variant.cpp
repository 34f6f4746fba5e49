#include "host/base/variant.h"

#include <cmath>

#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/text.h"

namespace instkit {

int32_t StrToInt(const std::string& text) {
  if (auto value = ParseInt32(text)) return *value;
  throw EConvertError(Format("'%s' is not a valid integer value", text.c_str()));
}

double StrToFloat(const std::string& text) {
  if (auto value = ParseDouble(Trim(text))) return *value;
  throw EConvertError(Format("'%s' is not a valid floating point value", text.c_str()));
}

bool StrToBool(const std::string& text) {
  const std::string upper = AsciiUpper(Trim(text));
  if (upper == "TRUE" || upper == "1") return true;
  if (upper == "FALSE" || upper == "0") return false;
  throw EConvertError(Format("'%s' is not a valid boolean value", text.c_str()));
}

const char* BoolToStr(bool value) { return value ? "TRUE" : "FALSE"; }

std::string VariantToString(const TVariant& v) {
  struct Visitor {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(int32_t i) const { return IntToStr(i); }
    std::string operator()(double d) const { return DoubleToStr(d); }
    std::string operator()(bool b) const { return BoolToStr(b); }
  };
  return std::visit(Visitor{}, v);
}

int32_t VariantToInteger(const TVariant& v) {
  struct Visitor {
    int32_t operator()(std::monostate) const { return 0; }
    int32_t operator()(const std::string& s) const { return s.empty() ? 0 : StrToInt(s); }
    int32_t operator()(int32_t i) const { return i; }
    int32_t operator()(double d) const {
      const double rounded = std::nearbyint(d);
      if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
        throw EConvertError(Format("'%s' is not a valid integer value", DoubleToStr(d).c_str()));
      }
      return static_cast<int32_t>(rounded);
    }
    int32_t operator()(bool b) const { return b ? 1 : 0; }
  };
  return std::visit(Visitor{}, v);
}

double VariantToFloat(const TVariant& v) {
  struct Visitor {
    double operator()(std::monostate) const { return 0.0; }
    double operator()(const std::string& s) const { return s.empty() ? 0.0 : StrToFloat(s); }
    double operator()(int32_t i) const { return i; }
    double operator()(double d) const { return d; }
    double operator()(bool b) const { return b ? 1.0 : 0.0; }
  };
  return std::visit(Visitor{}, v);
}

bool VariantToBoolean(const TVariant& v) {
  struct Visitor {
    bool operator()(std::monostate) const { return false; }
    bool operator()(const std::string& s) const { return s.empty() ? false : StrToBool(s); }
    bool operator()(int32_t i) const { return i != 0; }
    bool operator()(double d) const { return d != 0.0; }
    bool operator()(bool b) const { return b; }
  };
  return std::visit(Visitor{}, v);
}

}  // namespace instkit

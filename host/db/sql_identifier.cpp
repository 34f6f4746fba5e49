#include "host/db/sql_identifier.h"

namespace instkit {

std::string QuoteIdentifier(std::string_view name) {
  std::string quoted;
  quoted.reserve(name.size() + 2);
  quoted += '"';
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string QualifiedIdentifier(std::string_view schema, std::string_view name) {
  if (schema.empty()) return QuoteIdentifier(name);
  return QuoteIdentifier(schema) + "." + QuoteIdentifier(name);
}

}  // namespace instkit

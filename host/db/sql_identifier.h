// SQL identifiers in statements built from names the host or a data file
// supplies (tables, columns, schemas).  Every engine quotes through this one
// function: SQLite and the SQL standard agree on double quotes with inner
// quotes doubled, so a name can never end the identifier early and turn into
// SQL of its own.
#pragma once

#include <string>
#include <string_view>

namespace instkit {

// "name" with inner double quotes doubled: safe as any table, column or
// schema identifier, whatever bytes the name holds.
std::string QuoteIdentifier(std::string_view name);

// "schema"."name", or "name" alone when the schema is empty.
std::string QualifiedIdentifier(std::string_view schema, std::string_view name);

}  // namespace instkit

// Where a data command finds its database: an SQLite file, or a PostgreSQL
// server named by a connection string.
//
// Forms accepted (everything else is an SQLite file path):
//   postgresql://[user[:password]@][host][:port][/dbname][?param=value&...]
//   postgres://...                      (the same URI, libpq's short scheme)
//   pg:<libpq connection string>        ("pg:host=/run/db dbname=app",
//                                        "pg:" alone: libpq's environment)
// The text after "pg:" and the URIs are handed to libpq unchanged, so every
// libpq parameter and environment variable (PGHOST, PGPASSWORD, PGPASSFILE,
// PGSERVICE, PGCLIENTENCODING...) applies.
//
// Passwords: the program never asks for one and never prints one.  libpq
// takes it from its own sources (PGPASSWORD, ~/.pgpass or PGPASSFILE, a
// service file); a password written into the connection string itself is
// accepted but masked as "***" wherever the string is shown.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/base/export.h"

namespace instkit {

// The libpq connection string of a server address (a URI as it is, or the
// text after "pg:"); nothing for an SQLite file path.
INSTKIT_API std::optional<std::string> ServerConnectionString(std::string_view address);

// The address with every password in it replaced by "***": the password of
// a URI's user information, a URI's "password" parameter, and the
// "password" keyword of a keyword=value string (quoted or not).  Other text
// is kept byte for byte; a text that is not a server address is returned
// unchanged.
INSTKIT_API std::string MaskPassword(std::string_view address);

// `message` with every occurrence of the password of `address` replaced by
// "***": for messages that quote what the server or libpq said.
INSTKIT_API std::string MaskPasswordIn(std::string_view message, std::string_view address);

}  // namespace instkit

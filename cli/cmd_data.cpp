// instkit data export|import|show: IDF data files and database tables (an
// SQLite file or a PostgreSQL server, host/db/open_database.h).
//
// Transfers show a progress bar on stderr when run on a terminal; Ctrl-C
// makes the progress function answer "stop".  Exit status: 0 complete,
// 1 failed (nothing changed), 2 incomplete (rows that failed to insert, or
// cancelled).
//
// What the commands promise beyond the library's transfers (which keep their
// own contracts, Didf/data_file.h):
// - export replaces the output file only when it completes: a failure, a
//   cancel (Ctrl-C) or a kill leaves the previous file (KeepFileOnCancel).
//   NULLs are written as empty values and counted on stderr; --strict
//   refuses them (RefuseNulls).
// - import runs in one transaction of its own that begins by taking the
//   database's write lock (SQLite; PostgreSQL locks the table at its first
//   row), waiting for another writer once: it adds all the
//   file's rows, less those that fail on their own (counted and reported),
//   or none at all: on a failure, a full disk, a lock held past the wait, a
//   file that does not parse to its end, or Ctrl-C.  A missing table is
//   created inside that transaction, so concurrent imports cannot race on it.
// - show streams the records (memory stays small whatever the file holds)
//   and fails, after what it could show, when the file does not parse to its
//   end.
// - --db is an SQLite file or a server address; a password is never asked
//   for or printed (messages show the address with "***" for it).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "Didf/data_file.h"
#include "cli/command.h"
#include "cli/json_writer.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/base/date_time.h"
#include "host/base/text.h"
#include "host/db/connection_string.h"
#include "host/db/open_database.h"
#include "host/platform/interrupt.h"

namespace instkit::cli {

namespace {

constexpr int kComplete = 0;
constexpr int kFailed = 1;
constexpr int kIncomplete = 2;

// ---- Progress and Ctrl-C ----

// The Ctrl-C watch of the transfer under way: the progress function, a plain
// function pointer, asks it whether to go on.
const TInterruptWatch* g_watch = nullptr;
bool g_draw_bar = false;
int g_last_percent = -1;

bool TransferInterrupted() { return g_watch != nullptr && g_watch->Count() > 0; }

int32_t TransferProgress(int32_t percent, const char* text, int32_t) {
  if (TransferInterrupted()) return 0;
  if (g_draw_bar && percent != g_last_percent) {
    g_last_percent = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", text, filled, "########################################",
                 kWidth - filled, "", percent);
    std::fflush(stderr);
  }
  return 1;
}

// Installs the progress function and watches Ctrl-C for one transfer: an
// interrupt makes the progress function answer "stop", and the transfer
// ends cleanly through its cancel path.
class TTransferSession {
 public:
  TTransferSession(TIDFDataFile& data, const std::string& label) {
    g_watch = &watch_;
    g_last_percent = -1;
    g_draw_bar = IsInteractive();
    // Without a bar nobody sees the percentage: the table's rows are not
    // counted first (a database's second pass over them).
    data.CountRows = g_draw_bar;
    data.ProgressText = label;
    data.SetCallBack(reinterpret_cast<intptr_t>(&TransferProgress));
  }
  ~TTransferSession() {
    g_watch = nullptr;
    if (g_draw_bar && g_last_percent >= 0) std::fputc('\n', stderr);
  }
  bool Interrupted() const { return watch_.Count() > 0; }

 private:
  TInterruptWatch watch_;
};

// Sets BaseMng for the life of a command.
class TManagerScope {
 public:
  explicit TManagerScope(TApplicationManager* manager) { BaseMng = manager; }
  ~TManagerScope() { BaseMng = nullptr; }
};

// A data file's error message as the operator reads it: its lines indented
// under the first, and without the class names of the errors it quotes
// ("EInOutError: Cannot open file ..." shows as "Cannot open file ...").
std::string Shown(const std::string& message) {
  std::string text;
  size_t start = 0;
  while (start <= message.size()) {
    size_t end = message.find("\r\n", start);
    if (end == std::string::npos) end = message.size();
    std::string_view line(message.data() + start, end - start);
    const size_t colon = line.find(": ");
    const bool class_name = colon != std::string_view::npos && colon > 2 && line[0] == 'E' &&
                            std::isupper(static_cast<unsigned char>(line[1])) != 0 &&
                            std::all_of(line.begin() + 2, line.begin() + static_cast<std::ptrdiff_t>(colon),
                                        [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    if (class_name) line.remove_prefix(colon + 2);
    text += (start == 0 ? "" : "\n  ") + std::string(line);
    start = end + 2;
  }
  return text;
}

std::unique_ptr<TApplicationManager> OpenDatabase(const std::string& address, bool create) {
  try {
    return OpenApplicationManager(address, create);
  } catch (const Exception& e) {
    PrintError("instkit: " + e.Message());
    return nullptr;
  }
}

// ---- export ----

int Export(const std::string& db, const std::string& table, const std::string& filter, const std::string& schema,
           const std::string& out, bool strict) {
  auto manager = OpenDatabase(db, false);
  if (!manager) return kFailed;
  TManagerScope scope(manager.get());
  TIDFDataFile data;
  data.FileName = out;
  data.TableName = table;
  data.TableQualifier = schema;
  data.Filter = filter;
  data.KeepFileOnCancel = true;
  data.RefuseNulls = strict;
  bool done;
  bool interrupted;
  {
    TTransferSession session(data, "export " + table);
    done = data.FromTableToFile();
    interrupted = session.Interrupted();
  }
  if (done) {
    if (data.NullsWritten > 0) {
      PrintError("instkit: " + std::to_string(data.NullsWritten) +
                 " NULL value(s) written as empty values (0, \"\" or false); --strict refuses them");
    }
    return kComplete;
  }
  if (interrupted) {
    PrintError("instkit: export cancelled, previous file kept");
    return kIncomplete;
  }
  if (data.ErrorMessage.empty()) {
    PrintError("instkit: table '" + table + "' not found in " + MaskPassword(db));
  } else {
    PrintError("instkit: " + Shown(data.ErrorMessage) + "\n  " + out + " was left as it was");
  }
  return kFailed;
}

// ---- import ----

// Creates the table that a data file names when the database lacks it, with
// columns from the file's header.  A file whose header cannot be read is left
// for the transfer to report.
void CreateTableIfMissing(TApplicationManager& manager, const std::string& file, const std::string& schema) {
  TIDFDataFile probe;
  probe.FileName = file;
  if (!probe.ReadFileRecords([] { return false; }, [](uint8_t) { return false; }) || Trim(probe.TableName).empty() ||
      probe.Structure->GetFieldCount() == 0) {
    return;
  }
  manager.CreateTableIfMissing(probe.TableName, schema, *probe.Structure);
}

int Import(const std::string& file, const std::string& db, const std::string& schema) {
  auto manager = OpenDatabase(db, true);
  if (!manager) return kFailed;
  TManagerScope scope(manager.get());
  try {
    manager->BeginWrite();
  } catch (const Exception& e) {
    PrintError("instkit: " + e.Message());
    return kFailed;
  }
  const auto fail = [&](const std::string& message) {
    try {
      manager->RollbackWrite();
    } catch (const Exception&) {
      // SQLite undoes an unfinished transaction when the database is closed.
    }
    PrintError("instkit: " + message + "\n  no rows were added");
  };
  try {
    CreateTableIfMissing(*manager, file, schema);
  } catch (const Exception& e) {
    fail("cannot create the table: " + e.Message());
    return kFailed;
  }
  TIDFDataFile data;
  data.FileName = file;
  data.TableQualifier = schema;
  bool done;
  bool interrupted;
  {
    TTransferSession session(data, "import " + file);
    done = data.FromFileToTable();
    interrupted = session.Interrupted();
  }
  if (interrupted) {
    fail("import cancelled");
    return kIncomplete;
  }
  if (!done) {
    if (data.TableName.empty() && data.ErrorMessage.empty()) {
      fail(file + ": not an IDF data file");
    } else if (data.ErrorMessage.empty()) {
      fail("table '" + data.TableName + "' not available in " + MaskPassword(db));
    } else {
      fail(Shown(data.ErrorMessage));
    }
    return kFailed;
  }
  if (!data.LastRead.complete) {
    fail(file + ": " + data.LastRead.problem);
    return kFailed;
  }
  try {
    manager->CommitWrite();
  } catch (const Exception& e) {
    PrintError("instkit: " + e.Message() + "\n  no rows were added");
    return kFailed;
  }
  if (data.FailedRecords > 0) {
    PrintError("instkit: " + std::to_string(data.FailedRecords) + " row(s) failed and were not added; " +
               std::to_string(data.LastRead.records - data.FailedRecords) + " were; last error:\n  " +
               Shown(data.ErrorMessage));
    return kIncomplete;
  }
  return kComplete;
}

// ---- show ----

// Texts of a data file are bytes of the data's code page: UTF-8 texts (as
// SQLite keeps them) are shown as they are, others are taken as Windows-1251.
bool IsUtf8(const std::string& bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    size_t extra;
    if (c < 0x80) {
      extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
    } else {
      return false;
    }
    if (extra > bytes.size() - i - 1) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

std::string TextForDisplay(const std::string& bytes) { return IsUtf8(bytes) ? bytes : Cp1251ToUtf8(bytes); }

std::string CsvQuoted(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// A date-time value as ISO-8601 text (the date, and the time when there is
// one); a value outside the years 1 to 9999 as its number.
std::string DateForDisplay(const TField& field) {
  try {
    return FormatIsoDateTime(field.GetAsFloat(), TIsoForm::kDate);
  } catch (const Exception&) {
    return field.GetAsString();
  }
}

// A FLOAT value that is a whole number held exactly (wide integers travel as
// FLOAT), to be shown as its digits.
std::optional<int64_t> WholeNumber(const TField& field) {
  const double value = field.GetAsFloat();
  if (std::trunc(value) != value || std::fabs(value) > 9007199254740992.0) return std::nullopt;
  return static_cast<int64_t>(value);
}

// The value of a field as shown: by its canonical encoding.
std::string PlainValue(const TField& field) {
  switch (TIDFDataFile::StringToFieldType(TIDFDataFile::FieldTypeToString(field.FieldType()))) {
    case ftString:
      return TextForDisplay(field.GetAsString());
    case ftBoolean:
      return field.GetAsBoolean() ? "true" : "false";
    case ftDateTime:
      return DateForDisplay(field);
    case ftFloat:
      if (const std::optional<int64_t> whole = WholeNumber(field)) return IntToStr(*whole);
      return field.GetAsString();
    default:
      return field.GetAsString();
  }
}

void JsonValue(TJsonWriter& json, const TField& field) {
  switch (TIDFDataFile::StringToFieldType(TIDFDataFile::FieldTypeToString(field.FieldType()))) {
    case ftString:
      json.String(TextForDisplay(field.GetAsString()));
      break;
    case ftDateTime:
      json.String(DateForDisplay(field));
      break;
    case ftFloat:
      if (const std::optional<int64_t> whole = WholeNumber(field)) {
        json.Int(*whole);
      } else {
        json.Double(field.GetAsFloat());
      }
      break;
    case ftSmallInt:
    case ftInteger:
      json.Int(field.GetAsInteger());
      break;
    case ftBoolean:
      json.Bool(field.GetAsBoolean());
      break;
    default:
      json.Double(field.GetAsFloat());
      break;
  }
}

// Prints a data file as it is read, one record at a time.
int Show(const std::string& file, bool as_json, bool as_csv, int64_t limit) {
  TIDFDataFile data;
  data.FileName = file;
  const TDIDFRecord& fields = *data.Structure;
  int64_t shown = 0;
  bool header_shown = false;
  bool truncated = false;
  TJsonWriter json;
  const char separator = as_csv ? ',' : '\t';
  auto line = [&](auto&& cell_of) {
    std::string text;
    for (int32_t i = 0; i < fields.GetFieldCount(); ++i) {
      if (i > 0) text += separator;
      const std::string cell = cell_of(*fields.GetFields(i));
      text += as_csv ? CsvQuoted(cell) : cell;
    }
    PrintUtf8(text + "\n");
  };
  const auto on_header = [&] {
    if (as_json) {
      json.BeginObject();
      json.Key("table");
      json.String(TextForDisplay(data.TableName));
      json.Key("fields");
      json.BeginArray();
      for (int32_t i = 0; i < fields.GetFieldCount(); ++i) {
        json.BeginObject();
        json.Key("name");
        json.String(TextForDisplay(fields.GetFields(i)->Name()));
        json.Key("type");
        json.String(TIDFDataFile::FieldTypeToString(fields.GetFields(i)->FieldType()));
        json.EndObject();
      }
      json.EndArray();
      json.Key("records");
      json.BeginArray();
      PrintUtf8(json.Take());
    } else {
      if (!as_csv) {
        PrintUtf8("Table: " + TextForDisplay(data.TableName) + "\n");
        PrintUtf8("Fields: " + TextForDisplay(data.GetFieldsString()) + "\n");
        PrintUtf8("Types: " + data.GetFieldTypesString() + "\n");
      }
      line([](const TField& f) { return TextForDisplay(f.Name()); });
    }
    header_shown = true;
    truncated = limit == 0;
    return limit != 0;
  };
  const auto on_record = [&](uint8_t) {
    if (as_json) {
      json.BeginArray();
      for (int32_t i = 0; i < fields.GetFieldCount(); ++i) JsonValue(json, *fields.GetFields(i));
      json.EndArray();
      PrintUtf8(json.Take());
    } else {
      line([](const TField& f) { return PlainValue(f); });
    }
    ++shown;
    truncated = limit >= 0 && shown >= limit;
    return !truncated;
  };
  const bool read = data.ReadFileRecords(on_header, on_record);
  std::string problem;
  if (!read) {
    problem = data.ErrorMessage.empty() ? "not an IDF data file" : Shown(data.ErrorMessage);
  } else if (!truncated && !data.LastRead.complete) {
    problem = data.LastRead.problem;
  }
  if (as_json && header_shown) {
    json.EndArray();
    json.Key("complete");
    json.Bool(!truncated && problem.empty());
    if (!problem.empty()) {
      json.Key("error");
      json.String(problem);
    }
    json.EndObject();
    PrintUtf8(json.Take() + "\n");
  } else if (!as_json && !as_csv && header_shown) {
    PrintUtf8("Records" + std::string(truncated ? " shown" : "") + ": " + std::to_string(shown) + "\n");
  }
  if (!problem.empty()) {
    PrintError("instkit: " + file + ": " + problem);
    return kFailed;
  }
  return kComplete;
}

constexpr const char* kDbHelp =
    "SQLite database file, or a PostgreSQL server: postgresql://[user@]host[:port]/dbname, postgres://..., "
    "or pg:CONNINFO (libpq keyword=value string; passwords from PGPASSWORD or ~/.pgpass)";
constexpr const char* kSchemaHelp =
    "Schema of the table (PostgreSQL; SQLite: main or temp); default: the search path / main";

const TCommandRegistrar kRegistrar(60, [](CLI::App& app, int* status) {
  auto* data = app.add_subcommand("data", "Move table rows between databases (SQLite, PostgreSQL) and IDF data files");
  data->require_subcommand(1);

  auto* exp = data->add_subcommand("export", "Write a table's rows to a new IDF data file");
  auto db = std::make_shared<std::string>();
  auto table = std::make_shared<std::string>();
  auto filter = std::make_shared<std::string>();
  auto schema = std::make_shared<std::string>();
  auto out = std::make_shared<std::string>();
  exp->add_option("--db", *db, kDbHelp)->required();
  exp->add_option("--table", *table, "Table (or view) to export")->required();
  exp->add_option("--filter", *filter, "SQL expression selecting the rows (WHERE clause)");
  exp->add_option("--schema", *schema, kSchemaHelp);
  exp->add_option("-o,--output", *out, "Data file to write")->required();
  auto strict = std::make_shared<bool>(false);
  exp->add_flag("--strict", *strict, "Refuse NULLs instead of writing them as empty values (0, \"\" or false)");
  exp->callback([=] { *status = Export(*db, *table, *filter, *schema, *out, *strict); });

  auto* imp = data->add_subcommand("import", "Append the rows of an IDF data file to the table it names");
  auto file = std::make_shared<std::string>();
  auto imp_db = std::make_shared<std::string>();
  auto imp_schema = std::make_shared<std::string>();
  imp->add_option("FILE", *file, "IDF data file")->required();
  imp->add_option("--db", *imp_db, std::string(kDbHelp) + "; an SQLite file is created when missing")->required();
  imp->add_option("--schema", *imp_schema, kSchemaHelp);
  imp->callback([=] { *status = Import(*file, *imp_db, *imp_schema); });

  auto* show = data->add_subcommand("show", "Show the header and records of an IDF data file");
  auto show_file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto csv = std::make_shared<bool>(false);
  auto limit = std::make_shared<int64_t>(-1);
  show->add_option("FILE", *show_file, "IDF data file")->required();
  auto* json_flag = show->add_flag("--json", *json, "Print one JSON object");
  auto* csv_flag = show->add_flag("--csv", *csv, "Print CSV: a header row, then one row per record");
  json_flag->excludes(csv_flag);
  show->add_option("--limit", *limit, "Show at most N records")->check(CLI::NonNegativeNumber);
  show->add_flag_callback(
      "--raw", [] { SetRawOutput(true); }, kRawOutputHelp);
  show->callback([=] { *status = Show(*show_file, *json, *csv, *limit); });
});

}  // namespace
}  // namespace instkit::cli

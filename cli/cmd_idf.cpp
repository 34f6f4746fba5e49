// instkit idf show|fmt: look at and normalise IDF text files.
#include <memory>
#include <string>

#include "Tidf/description_encoding.h"
#include "cli/command.h"
#include "cli/description_file.h"
#include "cli/json_writer.h"
#include "cli/terminal.h"
#include "host/base/binary_text.h"
#include "host/base/codepage.h"
#include "host/base/settings.h"
#include "host/platform/process_args.h"

namespace instkit::cli {

namespace {

const char* TypeName(uint8_t code) {
  switch (code) {
    case ftString:
      return "text";
    case ftInteger:
      return "integer";
    case ftFloat:
      return "double";
    case ftBinary:
      return "binary";
    case ftBoolean:
      return "boolean";
    default:
      return "other";
  }
}

void WriteParamJson(TJsonWriter& json, const TField& field) {
  json.BeginObject();
  json.Key("name");
  json.String(Cp1251ToUtf8(field.Name()));
  json.Key("type");
  json.Int(field.FieldType());
  json.Key("value");
  switch (field.FieldType()) {
    case ftBoolean:
      json.Bool(field.GetAsBoolean());
      break;
    case ftSmallInt:
    case ftInteger:
      json.Int(field.GetAsInteger());
      break;
    case ftFloat:
      json.Double(field.GetAsFloat());
      break;
    case ftBinary: {
      const std::string bytes = field.GetAsString();
      json.String(Base64Encode(bytes.data(), bytes.size()));
      break;
    }
    default:
      json.String(Cp1251ToUtf8(field.GetAsString()));
      break;
  }
  json.EndObject();
}

void WriteRecordJson(TJsonWriter& json, const TRecord& record) {
  json.BeginArray();
  for (int32_t i = 0; i < record.GetFieldCount(); ++i) WriteParamJson(json, *record.GetFields(i));
  json.EndArray();
}

std::string ShownValue(const TField& field) {
  if (field.FieldType() == ftBinary) {
    const std::string bytes = field.GetAsString();
    return std::to_string(bytes.size()) + " bytes: " + Base64Encode(bytes.data(), bytes.size());
  }
  return Cp1251ToUtf8(field.GetAsString());
}

void PrintRecord(const TRecord& record) {
  for (int32_t i = 0; i < record.GetFieldCount(); ++i) {
    const TField& field = *record.GetFields(i);
    PrintUtf8("  " + Cp1251ToUtf8(field.Name()) + " (" + TypeName(field.FieldType()) + ") = " + ShownValue(field) +
              "\n");
  }
}

int Show(const std::string& path, bool as_json) {
  auto file = LoadDescriptionOrReport(path);
  if (!file) return 1;
  if (as_json) {
    TJsonWriter json;
    json.BeginObject();
    json.Key("header");
    WriteRecordJson(json, *file->Header);
    json.Key("sections");
    json.BeginArray();
    for (int32_t i = 0; i < file->GetSectionCount(); ++i) {
      const TIDFSection& section = *file->GetSection(i);
      json.BeginObject();
      json.Key("name");
      json.String(Cp1251ToUtf8(section.SectionName));
      json.Key("tree");
      json.Bool(section.IsTree);
      json.Key("params");
      WriteRecordJson(json, section);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    PrintUtf8(json.Text() + "\n");
    return 0;
  }
  if (file->Header->GetFieldCount() > 0) {
    PrintUtf8("(header)\n");
    PrintRecord(*file->Header);
  }
  for (int32_t i = 0; i < file->GetSectionCount(); ++i) {
    const TIDFSection& section = *file->GetSection(i);
    PrintUtf8("[" + Cp1251ToUtf8(section.SectionName) + "]" + (section.IsTree ? " (tree)" : "") + "\n");
    PrintRecord(section);
  }
  return 0;
}

int Fmt(const std::string& path, const std::string& out, bool cps, bool fps, bool utf8) {
  auto file = LoadDescriptionOrReport(path);
  if (!file) return 1;
  // The header line follows the argument count; a command line always has
  // arguments, so FPS unless --cps asks otherwise.
  Settings().SetArgumentCountOverride(cps ? 0 : 1);
  (void)fps;
  const std::string target = out.empty() ? path : out;
  const bool saved = SaveDescription(*file, target, utf8 ? TTextEncoding::kUtf8 : TTextEncoding::kWindows1251);
  Settings().SetArgumentCountOverride(std::nullopt);
  if (!saved) {
    PrintError("instkit: " + target + ": " + Cp1251ToUtf8(file->LastError));
    return 1;
  }
  return 0;
}

const TCommandRegistrar kRegistrar(10, [](CLI::App& app, int* status) {
  auto* idf = app.add_subcommand("idf", "Show or normalise IDF text files");
  idf->require_subcommand(1);

  auto* show = idf->add_subcommand("show", "Show the header parameters and sections of an IDF text file");
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  show->add_option("FILE", *file, "IDF text file")->required();
  show->add_flag("--json", *json, "Print one JSON object");
  show->add_flag_callback(
      "--raw", [] { SetRawOutput(true); }, kRawOutputHelp);
  show->callback([=] { *status = Show(*file, *json); });

  auto* fmt = idf->add_subcommand(
      "fmt", "Load and save an IDF text file (normalises it; a UTF-8 file is written back in Windows-1251)");
  auto fmt_file = std::make_shared<std::string>();
  auto out = std::make_shared<std::string>();
  auto cps = std::make_shared<bool>(false);
  auto fps = std::make_shared<bool>(false);
  auto utf8 = std::make_shared<bool>(false);
  fmt->add_option("FILE", *fmt_file, "IDF text file")->required();
  fmt->add_option("-o,--output", *out, "Write here instead of over FILE");
  auto* cps_flag = fmt->add_flag("--cps", *cps, "Write the IDF-CPS-text header");
  auto* fps_flag = fmt->add_flag("--fps", *fps, "Write the IDF-FPS-text header (default)");
  cps_flag->excludes(fps_flag);
  fmt->add_flag("--utf8", *utf8, "Write UTF-8 (for editing) instead of Windows-1251");
  fmt->callback([=] { *status = Fmt(*fmt_file, *out, *cps, *fps, *utf8); });
});

}  // namespace
}  // namespace instkit::cli

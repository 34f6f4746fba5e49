// instkit plan FILE [--select ...] [--deselect ...] [--none] [--json]: what a
// run with that selection would do, without running anything.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Syslist/archives.h"
#include "Syslist/syslist.h"
#include "Tidf/idf_text_file.h"
#include "cli/command.h"
#include "cli/json_writer.h"
#include "cli/selection.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"

namespace instkit::cli {

namespace {

// What the selected subsystems bring along.  The catalogue's queries list
// the subsystems whose Checked is false, so they run on the read-back copy
// with its ticks cleared.
struct TPlanMaterial {
  std::vector<std::string> sections;
  std::vector<std::string> short_names;
  std::vector<std::string> menu_links;
  std::vector<std::string> desktop_links;
  TArchiveList archives;
};

void Gather(TSysTree& selected, TPlanMaterial& out) {
  selected.GetSaveName(out.sections, true);
  selected.ClearChecked();
  selected.GetSystemName(out.short_names);
  selected.GetArhiveName(&out.archives);
  selected.GetLinks(out.menu_links, false);
  selected.GetLinks(out.desktop_links, true);
}

std::string JoinUtf8(const std::vector<std::string>& texts) {
  if (texts.empty()) return "-";
  std::string out;
  for (const std::string& t : texts) out += (out.empty() ? "" : ", ") + Cp1251ToUtf8(t);
  return out;
}

void StringArray(TJsonWriter& json, const char* key, const std::vector<std::string>& texts) {
  json.Key(key);
  json.BeginArray();
  for (const std::string& t : texts) json.String(Cp1251ToUtf8(t));
  json.EndArray();
}

void PrintJson(const std::string& path, const TSelectionRequest& request, const TSelection& selection,
               const TPlanMaterial& material) {
  TJsonWriter json;
  json.BeginObject();
  json.Key("file");
  json.String(path);
  json.Key("start");
  json.String(request.none ? "none" : "all");
  json.Key("steps");
  json.BeginArray();
  for (const TSelectionStep& step : request.steps) {
    json.BeginObject();
    json.Key(step.select ? "select" : "deselect");
    json.BeginArray();
    for (int32_t n : step.numbers) json.Int(n);
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  json.Key("subsystems");
  json.BeginArray();
  for (const TSubsystemChoice& c : selection.choices) {
    json.BeginObject();
    json.Key("number");
    json.Int(c.sys_index);
    json.Key("short_name");
    json.String(Cp1251ToUtf8(c.short_name));
    json.Key("depth");
    json.Int(c.depth);
    json.Key("selected");
    json.Bool(c.selected);
    json.Key("reason");
    json.String(c.reason);
    json.EndObject();
  }
  json.EndArray();
  StringArray(json, "install_set", material.short_names);
  StringArray(json, "sections", material.sections);
  json.Key("archives");
  json.BeginArray();
  for (int32_t i = 0; i < material.archives.Count(); ++i) {
    const TArchive* archive = material.archives.GetArcItem(i);
    json.BeginObject();
    json.Key("name");
    json.String(Cp1251ToUtf8(archive->Name));
    json.Key("subsystems");
    json.BeginArray();
    for (int32_t j = 0; j < archive->Count(); ++j) json.Int(archive->GetSysItem(j)->SysIndex);
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  StringArray(json, "menu_links", material.menu_links);
  StringArray(json, "desktop_links", material.desktop_links);
  json.EndObject();
  PrintUtf8(json.Text() + "\n");
}

void PrintText(const std::string& path, const TSelectionRequest& request, const TSelection& selection,
               const TPlanMaterial& material) {
  size_t chosen = 0;
  size_t name_width = 0;
  size_t number_width = 0;
  for (const TSubsystemChoice& c : selection.choices) {
    chosen += c.selected ? 1 : 0;
    number_width = std::max(number_width, std::to_string(c.sys_index).size());
    const std::string shown = Cp1251ToUtf8(c.short_name);
    size_t width = static_cast<size_t>(c.depth) * 2;
    for (unsigned char ch : shown) width += (ch & 0xC0) != 0x80 ? 1 : 0;
    name_width = std::max(name_width, width);
  }
  std::string out = "plan " + path + ": " + std::to_string(chosen) + " of " + std::to_string(selection.choices.size()) +
                    " subsystems selected (start: " + (request.none ? "none" : "all") + " ticked)\n";
  for (const TSubsystemChoice& c : selection.choices) {
    std::string name = std::string(static_cast<size_t>(c.depth) * 2, ' ') + Cp1251ToUtf8(c.short_name);
    size_t width = 0;
    for (unsigned char ch : name) width += (ch & 0xC0) != 0x80 ? 1 : 0;
    name += std::string(name_width - width + 2, ' ');
    const std::string number = std::to_string(c.sys_index);
    out += std::string("  [") + (c.selected ? "x" : " ") + "] " + std::string(number_width - number.size(), ' ') +
           number + "  " + name + c.reason + "\n";
  }
  out += "install set: " + JoinUtf8(material.short_names) + "\n";
  out += "sections: " + JoinUtf8(material.sections) + "\n";
  out += "archives:";
  if (material.archives.Count() == 0) out += " -";
  out += "\n";
  for (int32_t i = 0; i < material.archives.Count(); ++i) {
    const TArchive* archive = material.archives.GetArcItem(i);
    std::vector<std::string> names;
    for (int32_t j = 0; j < archive->Count(); ++j) names.push_back(archive->GetSysItem(j)->ShortName);
    out += "  " + (archive->Name.empty() ? std::string("(empty name)") : Cp1251ToUtf8(archive->Name)) + ": " +
           JoinUtf8(names) + "\n";
  }
  out += "menu links: " + JoinUtf8(material.menu_links) + "\n";
  out += "desktop links: " + JoinUtf8(material.desktop_links) + "\n";
  PrintUtf8(out);
}

int Plan(const std::string& path, const TSelectionRequest& request, bool as_json) {
  if (!request.error.empty()) {
    PrintError("instkit: " + request.error);
    return 2;
  }
  TIDFTextFile description;
  if (!description.LoadFromFile(Utf8ToCp1251(path))) {
    const std::string reason = description.LastError.empty() ? "not a valid IDF text file" : description.LastError;
    PrintError("instkit: " + path + ": " + Cp1251ToUtf8(reason));
    return 2;
  }
  TSysTree catalogue;
  try {
    if (!catalogue.LoadFromIDFFile(&description)) {
      PrintError("instkit: " + path + ": the subsystem catalogue cannot be read");
      return 2;
    }
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    PrintError("instkit: " + path + ": " + failure.class_name + ": " + Cp1251ToUtf8(failure.message));
    return 2;
  }
  TSelection selection;
  if (!selection.Apply(catalogue, request)) {
    PrintError("instkit: " + path + ": " + selection.error);
    return 1;
  }
  TPlanMaterial material;
  Gather(*selection.selected, material);
  if (as_json) {
    PrintJson(path, request, selection, material);
  } else {
    PrintText(path, request, selection, material);
  }
  return 0;
}

const TCommandRegistrar kRegistrar(40, [](CLI::App& app, int* status) {
  auto* plan = app.add_subcommand("plan", "Show what a run with a selection would do, without running anything");
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto request = std::make_shared<TSelectionRequest>();
  plan->add_option("FILE", *file, "Installation description (IDF text file)")->required();
  AddSelectionOptions(*plan, request);
  plan->add_flag("--json", *json, "Print one JSON object");
  plan->callback([=] { *status = Plan(*file, *request, *json); });
});

}  // namespace
}  // namespace instkit::cli

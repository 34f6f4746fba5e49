// instkit status [--registry FILE] [--json]: what the registry records: each
// product with where, when, from which description and by which instkit
// version it was installed and its installed subsystems
// (Engine/run_record.h), then any other key that holds values.
#include <memory>
#include <string>
#include <vector>

#include "Engine/run_record.h"
#include "cli/command.h"
#include "cli/json_writer.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/platform/registry.h"

namespace instkit::cli {

namespace {

struct TKeyValues {
  std::string key;
  std::vector<std::pair<std::string, std::string>> values;  // name, data (Windows-1251)
};

bool IsProductKey(const std::string& key) {
  for (const char* root : {"Software\\instkit\\Installed\\", "Software\\instkit\\Products\\"}) {
    if (key.size() > std::string(root).size() && key.compare(0, std::string(root).size(), root) == 0) return true;
  }
  return false;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void PrintJson(const std::string& path, bool exists, const std::vector<TProductRecord>& products,
               const std::vector<TKeyValues>& keys) {
  TJsonWriter json;
  json.BeginObject();
  json.Member("registry", path);
  json.Member("exists", exists);
  json.Key("products");
  json.BeginArray();
  for (const TProductRecord& p : products) {
    json.BeginObject();
    json.Member("name", Cp1251ToUtf8(p.product));
    json.Member("path", p.path);
    json.Member("installed_at", p.installed_at);
    json.Member("description", p.description);
    json.Member("version", p.version);
    json.Member("answers", Lines(p.answers));
    json.Member("subsystems", Utf8Texts(p.installed));
    json.EndObject();
  }
  json.EndArray();
  json.Key("keys");
  json.BeginArray();
  for (const TKeyValues& entry : keys) {
    json.BeginObject();
    json.Member("key", Cp1251ToUtf8(entry.key));
    json.Key("values");
    json.BeginArray();
    for (const auto& [name, data] : entry.values) {
      json.BeginObject();
      json.Member("name", Cp1251ToUtf8(name));
      json.Member("data", Cp1251ToUtf8(data));
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  PrintUtf8(json.Text() + "\n");
}

int Status(std::string path, bool as_json) {
  if (path.empty()) path = TRegistry::DefaultPath();
  if (path.empty()) {
    PrintError("instkit: no registry location: give --registry FILE (no home folder is known)");
    return 2;
  }
  const bool exists = TRegistry::StoreExists(path);
  std::vector<TProductRecord> products;
  std::vector<TKeyValues> keys;
  if (exists) {
    try {
      products = ReadProducts(path);
      // Reading only: the store exists, so nothing is created.
      TRegistry registry(path);
      for (const std::string& key : registry.GetAllKeyPaths()) {
        if (IsProductKey(key)) continue;
        registry.OpenKey(key, false);
        TKeyValues entry{key, {}};
        for (const std::string& name : registry.GetValueNames())
          entry.values.emplace_back(name, registry.ReadString(name));
        if (!entry.values.empty()) keys.push_back(std::move(entry));
      }
    } catch (...) {
      const CaughtFailure failure = DescribeCurrentException();
      PrintError("instkit: cannot read the registry " + path + ": " + Cp1251ToUtf8(failure.message));
      return 2;
    }
  }
  if (as_json) {
    PrintJson(path, exists, products, keys);
    return 0;
  }
  std::string out = "registry " + path + (exists ? "" : " (none yet)") + "\n";
  if (products.empty() && keys.empty()) out += "nothing recorded\n";
  for (const TProductRecord& p : products) {
    out += Cp1251ToUtf8(p.product) + "\n";
    if (!p.installed_at.empty()) {
      out += "  installed in " + p.path + " at " + p.installed_at + "\n  from " + p.description + " by instkit " +
             p.version + "\n";
    }
    for (const std::string& line : Lines(p.answers)) out += "  answered " + line + "\n";
    if (p.installed.empty()) out += "  no subsystem installed\n";
    for (const std::string& name : p.installed) out += "  " + Cp1251ToUtf8(name) + " = Installed\n";
  }
  for (const TKeyValues& entry : keys) {
    out += Cp1251ToUtf8(entry.key) + "\n";
    for (const auto& [name, data] : entry.values) out += "  " + Cp1251ToUtf8(name) + " = " + Cp1251ToUtf8(data) + "\n";
  }
  PrintUtf8(out);
  return 0;
}

const TCommandRegistrar kRegistrar(41, [](CLI::App& app, int* status) {
  auto* cmd = app.add_subcommand("status", "Show the installed products and subsystems that the registry records");
  auto registry = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  cmd->add_option("--registry", *registry, "Registry file (default: $XDG_STATE_HOME/instkit/registry.db)");
  cmd->add_flag("--json", *json, "Print one JSON object");
  cmd->callback([=] { *status = Status(*registry, *json); });
});

}  // namespace
}  // namespace instkit::cli

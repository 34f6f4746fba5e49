// instkit status [--registry FILE] [--json]: what the registry records.
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/json_writer.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/platform/file.h"
#include "host/platform/registry.h"

namespace instkit::cli {

namespace {

struct TKeyValues {
  std::string key;
  std::vector<std::pair<std::string, std::string>> values;  // name, data (Windows-1251)
};

int Status(std::string path, bool as_json) {
  if (path.empty()) path = TRegistry::DefaultPath();
  if (path.empty()) {
    PrintError("instkit: no registry location: give --registry FILE (no home folder is known)");
    return 2;
  }
  std::vector<TKeyValues> keys;
  const bool exists = FileExists(path);
  if (exists) {
    try {
      // Reading only: the store is not created when it is missing.
      TRegistry registry(path);
      for (const std::string& key : registry.GetAllKeyPaths()) {
        registry.OpenKey(key, false);
        TKeyValues entry{key, {}};
        for (const std::string& name : registry.GetValueNames()) entry.values.emplace_back(name, registry.ReadString(name));
        if (!entry.values.empty()) keys.push_back(std::move(entry));
      }
    } catch (...) {
      const CaughtFailure failure = DescribeCurrentException();
      PrintError("instkit: " + path + ": " + failure.class_name + ": " + failure.message);
      return 2;
    }
  }
  if (as_json) {
    TJsonWriter json;
    json.BeginObject();
    json.Key("registry");
    json.String(path);
    json.Key("exists");
    json.Bool(exists);
    json.Key("keys");
    json.BeginArray();
    for (const TKeyValues& entry : keys) {
      json.BeginObject();
      json.Key("key");
      json.String(Cp1251ToUtf8(entry.key));
      json.Key("values");
      json.BeginArray();
      for (const auto& [name, data] : entry.values) {
        json.BeginObject();
        json.Key("name");
        json.String(Cp1251ToUtf8(name));
        json.Key("data");
        json.String(Cp1251ToUtf8(data));
        json.EndObject();
      }
      json.EndArray();
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    PrintUtf8(json.Text() + "\n");
    return 0;
  }
  std::string out = "registry " + path + (exists ? "" : " (none yet)") + "\n";
  if (keys.empty()) out += "nothing recorded\n";
  for (const TKeyValues& entry : keys) {
    out += Cp1251ToUtf8(entry.key) + "\n";
    for (const auto& [name, data] : entry.values) out += "  " + Cp1251ToUtf8(name) + " = " + Cp1251ToUtf8(data) + "\n";
  }
  PrintUtf8(out);
  return 0;
}

const TCommandRegistrar kRegistrar(41, [](CLI::App& app, int* status) {
  auto* cmd = app.add_subcommand("status", "Show the installed subsystems that the registry records");
  auto registry = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  cmd->add_option("--registry", *registry, "Registry file (default: $XDG_STATE_HOME/instkit/registry.db)");
  cmd->add_flag("--json", *json, "Print one JSON object");
  cmd->callback([=] { *status = Status(*registry, *json); });
});

}  // namespace
}  // namespace instkit::cli

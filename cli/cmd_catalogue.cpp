// instkit catalogue | check | image: the subsystem catalogue of an
// installation description.
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Engine/plan.h"
#include "Engine/run_input.h"
#include "Media/media_folder.h"
#include "Syslist/archives.h"
#include "Syslist/catalogue_check.h"
#include "Syslist/node_walk.h"
#include "Syslist/syslist.h"
#include "Tidf/idf_text_file.h"
#include "cli/command.h"
#include "cli/description_file.h"
#include "cli/json_writer.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/base/settings.h"
#include "host/platform/file.h"
#include "host/base/format.h"
#include "host/base/number_list.h"
#include "host/base/tree_indent.h"
#include "host/platform/message_box.h"

namespace instkit::cli {

namespace {

// Reads the catalogue; on failure says why and gives null.  The library's
// message box (duplicate numbers) is turned into an error line.
std::unique_ptr<TSysTree> LoadCatalogue(const std::string& path, const TIDFTextFile& file) {
  auto tree = std::make_unique<TSysTree>();
  std::string shown;
  const TMessageBoxHandler previous =
      Settings().SetMessageBoxHandler([&shown](uintptr_t, const std::string& text, const std::string&, uint32_t) {
        shown = text;
        return kIdOk;
      });
  bool ok = false;
  std::string failure;
  try {
    ok = tree->LoadFromIDFFile(&file);
  } catch (...) {
    failure = "the subsystem catalogue cannot be read: " + DescribeCurrentException().message;
  }
  Settings().SetMessageBoxHandler(previous);
  if (ok) return tree;
  if (failure.empty()) failure = shown.empty() ? "the subsystem catalogue cannot be read" : shown;
  PrintError("instkit: " + path + ": " + Cp1251ToUtf8(failure));
  return nullptr;
}

std::string U(const std::string& cp1251) { return Cp1251ToUtf8(cp1251); }

// Each subsystem as a line with its number and names, indented by depth,
// and one line per detail that is set.
void PrintTree(const TSysTree& tree) {
  size_t depth = 0;
  WalkNodesBelow(
      &tree,
      [&](const TSysNode* node) {
        const TSubsystemInfo& i = *node->Info;
        const std::string pad = TreeIndent(depth);
        std::string line = pad + TreeLevelMark(depth) + std::to_string(i.SysIndex) + " " + U(i.ShortName);
        if (!i.FullName.empty()) line += " - " + U(i.FullName);
        line += "  [" + U(i.SaveName) + "]\n";
        auto detail = [&](const char* label, const std::string& value) {
          if (!value.empty()) line += pad + "    " + label + ": " + U(value) + "\n";
        };
        detail("library", i.Library);
        detail("parameter", i.Parameter);
        detail("depends on", i.Depend);
        detail("needed by", i.BackRef);
        detail("archives", i.Archive);
        detail("links", i.Links);
        PrintUtf8(line);
        ++depth;
      },
      [&](const TSysNode*) { --depth; });
}

// {"subsystems":[...]}: every field of each subsystem under the record's own
// name with its text as it is, the parsed forms beside them, its children
// nested (docs/json.md).
std::string TreeJson(const TSysTree& tree) {
  TJsonWriter json;
  json.BeginObject();
  json.Key("subsystems");
  json.BeginArray();
  WalkNodesBelow(
      &tree,
      [&](const TSysNode* node) {
        const TSubsystemInfo& i = *node->Info;
        auto number = [&](const char* key, int32_t value) {
          json.Key(key);
          json.Int(value);
        };
        auto text = [&](const char* key, const std::string& value) {
          json.Key(key);
          json.String(U(value));
        };
        auto flag = [&](const char* key, bool value) {
          json.Key(key);
          json.Bool(value);
        };
        // A number list read as the catalogue reads it (blanks before an
        // item skipped, none allowed before a comma: TListBlanks::kTrimRest):
        // the numbers, then the items that are not numbers (check reports them).
        auto numbers = [&](const char* numbers_key, const char* invalid_key, const std::string& value) {
          std::vector<std::string> invalid;
          json.Key(numbers_key);
          json.BeginArray();
          TNumberList items(value, TListBlanks::kTrimRest);
          for (TNumberItem item; items.Next(item);) {
            if (item.number) {
              json.Int(*item.number);
            } else {
              invalid.push_back(U(std::string(item.text)));
            }
          }
          json.EndArray();
          if (invalid_key != nullptr) json.Member(invalid_key, invalid);
        };
        json.BeginObject();
        number("SysIndex", i.SysIndex);
        text("SaveName", i.SaveName);
        text("ShortName", i.ShortName);
        text("FullName", i.FullName);
        number("Parent", i.Parent);
        text("Depend", i.Depend);
        numbers("DependNumbers", "DependInvalid", i.Depend);
        text("BackRef", i.BackRef);
        numbers("BackRefNumbers", nullptr, i.BackRef);
        text("Library", i.Library);
        text("Parameter", i.Parameter);
        text("Archive", i.Archive);
        json.Key("ArchiveNames");
        json.BeginArray();
        for (const std::string& name : ArchiveNamesOf(i.Archive)) json.String(U(name));
        json.EndArray();
        text("Links", i.Links);
        json.Key("LinkItems");
        json.BeginArray();
        for (const TLinkItem& link : LinkItemsOf(i.Links)) {
          const size_t bar = link.value.find('|');
          json.BeginObject();
          json.Member("kind", link.desktop ? "desktop" : "menu");
          json.Member("title", U(link.value.substr(0, bar)));
          json.Key("command");
          if (bar == std::string::npos) {
            json.Null();
          } else {
            json.String(U(link.value.substr(bar + 1)));
          }
          json.EndObject();
        }
        json.EndArray();
        flag("Checked", i.Checked);
        flag("AllCheck", i.AllCheck);
        flag("IsInst", i.IsInst);
        json.Key("children");
        json.BeginArray();
      },
      [&](const TSysNode*) {
        json.EndArray();
        json.EndObject();
      });
  json.EndArray();
  json.EndObject();
  return json.Text() + "\n";
}

std::string DotQuote(const std::string& utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Tree edges solid, dependency edges dashed from the dependent subsystem to
// the one it needs.  Nodes are named by position, since numbers can repeat;
// a dependency goes to the first subsystem of its number in pre-order, and
// items that are not numbers are left out.
std::string TreeDot(const TSysTree& tree) {
  std::string out = "digraph catalogue {\n  rankdir=LR;\n  node [shape=box];\n";
  std::unordered_map<int32_t, std::string> id_of;
  std::vector<std::pair<std::string, const TSubsystemInfo*>> all;
  std::vector<std::string> parents;  // the ids of the nodes the walk is inside of
  WalkNodesBelow(
      &tree,
      [&](const TSysNode* node) {
        const std::string id = "s" + std::to_string(all.size());
        id_of.emplace(node->Info->SysIndex, id);
        all.emplace_back(id, node->Info.get());
        const std::string label = std::to_string(node->Info->SysIndex) + " " + U(node->Info->ShortName);
        out += "  " + id + " [label=" + DotQuote(label) + "];\n";
        if (!parents.empty()) out += "  " + parents.back() + " -> " + id + ";\n";
        parents.push_back(id);
      },
      [&](const TSysNode*) { parents.pop_back(); });
  for (const auto& [id, info] : all) {
    TNumberList depend(info->Depend);
    for (TNumberItem ref; depend.Next(ref);) {
      if (!ref.number) continue;
      auto target = id_of.find(*ref.number);
      if (target != id_of.end()) out += "  " + id + " -> " + target->second + " [style=dashed, color=blue];\n";
    }
  }
  out += "}\n";
  return out;
}

int ShowCatalogue(const std::string& path, bool as_json, bool as_dot) {
  auto file = LoadDescriptionOrReport(path);
  if (!file) return 1;
  auto tree = LoadCatalogue(path, *file);
  if (!tree) return 1;
  if (as_dot) {
    PrintUtf8(TreeDot(*tree));
  } else if (as_json) {
    PrintUtf8(TreeJson(*tree));
  } else {
    PrintTree(*tree);
  }
  return 0;
}

// Archives the catalogue names that `media` (default: the description's
// folder) lacks: an install would fail for the subsystems that need them.
int MissingArchives(const std::string& path, const TIDFTextFile& file, std::string media) {
  TSysTree catalogue;
  TInputError error;
  if (!BuildCatalogue(file, path, catalogue, error)) return 0;  // the findings above say why
  if (media.empty()) media = std::filesystem::absolute(std::filesystem::path(path)).parent_path().string();
  TPlan plan;
  GatherPlanMaterial(catalogue, plan);
  int missing = 0;
  for (const TPlanArchive& archive : plan.archives) {
    if (!FindArchiveFile(media, archive.name).empty()) continue;
    ++missing;
    PrintUtf8(path + ": error: archive " + (archive.name.empty() ? std::string("(empty name)") : U(archive.name)) +
              " (" + U(archive.short_names.empty() ? std::string() : archive.short_names.front()) +
              (archive.short_names.size() > 1 ? ", ..." : "") + "): not found in " + media + "\n");
  }
  return missing;
}

int Check(const std::string& path, const std::string& media) {
  TDescriptionFormat format;
  auto file = LoadDescriptionOrReport(path, &format);
  if (!file) return 2;
  PrintUtf8(path + ": read as " + DescribeFormat(format) + "\n");
  const std::vector<TCatalogueFinding> findings = CheckCatalogue(*file);
  int errors = 0, warnings = 0;
  for (const TCatalogueFinding& f : findings) {
    const bool error = f.severity == TCatalogueFinding::Error;
    (error ? errors : warnings)++;
    std::string where = "[" + f.section + "]";
    if (!f.key.empty()) where += " " + f.key;
    PrintUtf8(path + ": " + (error ? "error: " : "warning: ") + U(where) + ": " + U(f.message) + "\n");
  }
  errors += MissingArchives(path, *file, media);
  PrintUtf8(Format("%s: %d error(s), %d warning(s)\n", path.c_str(), errors, warnings));
  return errors > 0 ? 2 : warnings > 0 ? 1 : 0;
}

std::string HexDump(const std::string& bytes) {
  std::string out;
  for (size_t row = 0; row < bytes.size(); row += 16) {
    out += Format("%08zx ", row);
    std::string ascii;
    for (size_t i = row; i < row + 16; ++i) {
      if (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        out += Format(" %02x", c);
        ascii += c >= 32 && c < 127 ? static_cast<char>(c) : '.';
      } else {
        out += "   ";
      }
    }
    out += "  " + ascii + "\n";
  }
  return out;
}

int Image(const std::string& path, int32_t number, const std::string& output) {
  auto file = LoadDescriptionOrReport(path);
  if (!file) return 1;
  auto tree = LoadCatalogue(path, *file);
  if (!tree) return 1;
  const TSysNode* node = tree->GetNodeBySysIndex(number);
  if (node == nullptr) {
    PrintError(Format("instkit: %s: no subsystem number %d in the catalogue", path.c_str(), number));
    return 1;
  }
  std::string block(static_cast<size_t>(node->GetSize()), '\0');
  if (node->SaveToPointer(block.data(), block.size()) != static_cast<int32_t>(block.size())) {
    PrintError(Format("instkit: %s: the image of subsystem %d could not be written", path.c_str(), number));
    return 1;
  }
  if (output.empty()) {
    PrintUtf8(HexDump(block));
    return 0;
  }
  try {
    WriteWholeFileAtomically(output, block);
  } catch (const Exception& e) {
    PrintError("instkit: " + output + ": " + Cp1251ToUtf8(e.Message()));
    return 1;
  }
  return 0;
}

const TCommandRegistrar kCatalogue(20, [](CLI::App& app, int* status) {
  auto* cmd = app.add_subcommand("catalogue", "Show the subsystem catalogue of an installation description");
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto dot = std::make_shared<bool>(false);
  cmd->add_option("FILE", *file, "IDF text file")->required();
  auto* json_flag = cmd->add_flag("--json", *json, "Print one JSON object");
  auto* dot_flag = cmd->add_flag("--dot", *dot, "Print a Graphviz graph of the tree and its dependencies");
  json_flag->excludes(dot_flag);
  cmd->add_flag_callback(
      "--raw", [] { SetRawOutput(true); }, kRawOutputHelp);
  cmd->callback([=] { *status = ShowCatalogue(*file, *json, *dot); });
});

const TCommandRegistrar kCheck(21, [](CLI::App& app, int* status) {
  auto* cmd =
      app.add_subcommand("check", "Validate the catalogue of a description (exit 0 clean, 1 warnings, 2 errors)");
  auto file = std::make_shared<std::string>();
  auto media = std::make_shared<std::string>();
  cmd->add_option("FILE", *file, "IDF text file")->required();
  cmd->add_option("--media", *media,
                  "Folder that should hold the archives it names (default: the description's folder)")
      ->type_name("DIR");
  cmd->callback([=] { *status = Check(*file, *media); });
});

const TCommandRegistrar kImage(22, [](CLI::App& app, int* status) {
  auto* cmd = app.add_subcommand("image", "Write the flat tree image of one subsystem");
  auto file = std::make_shared<std::string>();
  auto number = std::make_shared<int32_t>(0);
  auto out = std::make_shared<std::string>();
  cmd->add_option("FILE", *file, "IDF text file")->required();
  cmd->add_option("NUMBER", *number, "Subsystem number")->required();
  cmd->add_option("-o,--output", *out, "Write the image here (a hex dump on stdout without it)");
  cmd->callback([=] { *status = Image(*file, *number, *out); });
});

}  // namespace
}  // namespace instkit::cli

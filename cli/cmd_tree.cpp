// instkit tree: form-manager trees between a form store (SQLite), tree files
// and tree sections of IDF text files.
//
//   tree save     --db DB --form N --name NAME -o FILE     store -> tree file
//   tree load     FILE --db DB --form N --name NAME        tree file -> store
//   tree show     FILE [--json]                            print a tree file
//   tree to-idf   --db DB --form N --name NAME --idf FILE --section S
//   tree from-idf --idf FILE --section S --db DB --form N --name NAME [--merge]
//   tree list     --db DB
//
// A stored form's key is --form, --name, --group and --owner (the last two
// default to empty; they are the IDF file object's TreeParam2 and
// TreeParam1).  Names and paths are given in UTF-8 and used as Windows-1251.
#include <memory>
#include <string>

#include "Tidf/idf_text_file.h"
#include "Tidf/tree_file_format.h"
#include "cli/command.h"
#include "cli/description_file.h"
#include "cli/json_writer.h"
#include "cli/terminal.h"
#include "host/base/binary_text.h"
#include "host/base/codepage.h"
#include "host/base/settings.h"
#include "host/forms/dsp_node.h"
#include "host/base/exception.h"
#include "host/platform/file.h"
#include "host/forms/form_manager.h"
#include "host/forms/form_store.h"
#include "host/forms/form_util.h"
#include "host/base/text.h"

namespace instkit::cli {

namespace {

// The options that name one stored form.
struct TFormOptions {
  std::string db;
  int32_t form = 0;
  std::string name;
  std::string group;
  std::string owner;

  void AddTo(CLI::App* command) {
    command->add_option("--db", db, "Form store (SQLite database file)")->required();
    command->add_option("--form", form, "Form index")->required();
    command->add_option("--name", name, "Form name")->required();
    command->add_option("--group", group, "Third key setting (TreeParam2); default empty");
    command->add_option("--owner", owner, "Fourth key setting (TreeParam1); default empty");
  }
  // "form 3 'Main'" plus the group and owner when set, for messages.
  std::string Describe() const {
    std::string text = "form " + std::to_string(form) + " '" + name + "'";
    if (!group.empty() || !owner.empty()) text += " (group '" + group + "', owner '" + owner + "')";
    return text;
  }
  void Configure(TDSPManager& manager) const {
    manager.FormIndex = form;
    manager.FormName = Utf8ToCp1251(name);
    manager.FormGroup = Utf8ToCp1251(group);
    manager.FormOwner = Utf8ToCp1251(owner);
  }
  void Configure(TIDFTextFile& file) const {
    file.TreeParam2 = Utf8ToCp1251(group);
    file.TreeParam1 = Utf8ToCp1251(owner);
  }
};

void Fail(const std::string& utf8_message) { PrintError("instkit: " + utf8_message); }

std::string Escaped(const std::string& cp1251) {
  std::string out;
  for (const char c : Cp1251ToUtf8(cp1251)) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (b < 32 || b == 127) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string ShownValue(const TDSPNode& node) {
  switch (node.GetValueKind()) {
    case dvkString:
      return "\"" + Escaped(node.GetAsString()) + "\"";
    case dvkBinary: {
      const std::string bytes = node.GetAsString();
      return std::to_string(bytes.size()) + " bytes: " + Base64Encode(bytes.data(), bytes.size());
    }
    default:
      return node.GetAsString();
  }
}

void PrintBranch(const TDSPNode& node, int depth) {
  std::string line(static_cast<size_t>(depth) * 2, ' ');
  if (depth == 0) {
    line += node.GetName().empty() ? "(root)" : "(root) " + Escaped(node.GetName());
  } else {
    line += Escaped(node.GetName());
  }
  if (node.GetValueKind() != dvkNone) {
    line += " (" + DSPValueKindName(node.GetValueKind()) + ") = " + ShownValue(node);
  }
  PrintUtf8(line + "\n");
  for (int32_t i = 0; i < node.GetCount(); ++i) PrintBranch(*node.GetNodes(i), depth + 1);
}

void WriteBranchJson(TJsonWriter& json, const TDSPNode& node) {
  json.BeginObject();
  json.Key("name");
  json.String(Cp1251ToUtf8(node.GetName()));
  json.Key("kind");
  json.Int(node.GetValueKind());
  if (node.GetValueKind() != dvkNone) {
    json.Key("value");
    switch (node.GetValueKind()) {
      case dvkInteger:
        json.Int(node.GetAsInteger());
        break;
      case dvkBoolean:
        json.Bool(node.GetAsBoolean());
        break;
      case dvkDouble:
      case dvkDateTime:
        json.Double(node.GetAsDouble());
        break;
      case dvkBinary: {
        const std::string bytes = node.GetAsString();
        json.String(Base64Encode(bytes.data(), bytes.size()));
        break;
      }
      default:
        json.String(Cp1251ToUtf8(node.GetAsString()));
        break;
    }
  }
  if (node.GetCount() > 0) {
    json.Key("children");
    json.BeginArray();
    for (int32_t i = 0; i < node.GetCount(); ++i) WriteBranchJson(json, *node.GetNodes(i));
    json.EndArray();
  }
  json.EndObject();
}

int Show(const std::string& path, bool as_json) {
  TDSPNode root;
  try {
    const std::string bytes = ReadWholeFile(path);
    if (!IsTreeFileHeader(std::string_view(bytes).substr(0, kTreeFileHeaderBytes))) {
      Fail(path + ": not a tree file (it does not begin with IDF-FPS-tree)");
      return 1;
    }
    DecodeBranch(bytes.substr(kTreeFileHeaderBytes), &root);
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    Fail(path + ": " + Cp1251ToUtf8(failure.message));
    return 1;
  }
  if (as_json) {
    TJsonWriter json;
    WriteBranchJson(json, root);
    PrintUtf8(json.Text() + "\n");
  } else {
    PrintBranch(root, 0);
  }
  return 0;
}

int Save(const TFormOptions& form, const std::string& out) {
  Settings().SetDefaultFormDatabase(Utf8ToCp1251(form.db));
  TIDFTextFile file;
  form.Configure(file);
  if (!file.SaveTree(form.form, Utf8ToCp1251(form.name), Utf8ToCp1251(out))) {
    Fail(file.LastError.empty() ? "no " + form.Describe() + " in " + form.db : Cp1251ToUtf8(file.LastError));
    return 1;
  }
  PrintUtf8("saved " + form.Describe() + " to " + out + "\n");
  return 0;
}

int Load(const TFormOptions& form, const std::string& path) {
  Settings().SetDefaultFormDatabase(Utf8ToCp1251(form.db));
  TIDFTextFile file;
  form.Configure(file);
  if (!file.LoadTree(form.form, Utf8ToCp1251(form.name), Utf8ToCp1251(path))) {
    Fail(Cp1251ToUtf8(file.LastError));
    return 1;
  }
  PrintUtf8("stored " + path + " as " + form.Describe() + " in " + form.db + "\n");
  return 0;
}

// Nodes whose value a tree section cannot carry: leaves of kinds 0 and 5,
// and inner nodes that hold a value.
int CountUncarried(const TDSPNode& node, bool is_root) {
  int count = 0;
  if (!is_root) {
    if (node.GetCount() == 0) {
      count += node.GetValueKind() == dvkNone || node.GetValueKind() == dvkDateTime ? 1 : 0;
    } else {
      count += node.GetValueKind() != dvkNone ? 1 : 0;
    }
  }
  for (int32_t i = 0; i < node.GetCount(); ++i) count += CountUncarried(*node.GetNodes(i), false);
  return count;
}

int ToIdf(const TFormOptions& form, const std::string& idf_path, const std::string& section_name) {
  const std::string idf = Utf8ToCp1251(idf_path);
  const std::string section = Utf8ToCp1251(section_name);
  TIDFTextFile file;
  if (FileExists(idf) && !file.LoadFromFile(idf)) {
    Fail(idf_path + ": " + (file.LastError.empty() ? "not a valid IDF text file" : Cp1251ToUtf8(file.LastError)));
    return 1;
  }
  TDSPFormManager manager;
  manager.DatabasePath = Utf8ToCp1251(form.db);
  form.Configure(manager);
  try {
    if (!manager.Fetch()) {
      Fail("no " + form.Describe() + " in " + form.db);
      return 1;
    }
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    Fail(form.db + ": " + Cp1251ToUtf8(failure.message));
    return 1;
  }
  // The section is replaced: every older section of that name goes, and the
  // new one is appended.
  while (file.GetSectionByName(section) != nullptr) file.DeleteSection(section);
  TIDFSection* added = file.AddTreeSection(section, &manager);
  if (added == nullptr) {
    Fail(Cp1251ToUtf8(file.LastError));
    return 1;
  }
  if (!file.SaveToFile(idf)) {
    Fail(idf_path + ": " + Cp1251ToUtf8(file.LastError));
    return 1;
  }
  PrintUtf8("wrote " + form.Describe() + " as section [" + section_name + "]-tree of " + idf_path + " (" +
            std::to_string(added->GetFieldCount()) + " parameters)\n");
  const int uncarried = CountUncarried(*manager.Root(), true);
  if (uncarried > 0) {
    PrintError("instkit: note: " + std::to_string(uncarried) +
               " node value(s) have no tree-section form (no value, date-time, or a value on an inner node) "
               "and were not written");
  }
  return 0;
}

int FromIdf(const TFormOptions& form, const std::string& idf_path, const std::string& section_name, bool merge) {
  const std::unique_ptr<TIDFTextFile> loaded = LoadDescriptionOrReport(idf_path);
  if (!loaded) return 1;
  TIDFTextFile& file = *loaded;
  TIDFSection* section = file.GetSectionByName(Utf8ToCp1251(section_name));
  if (section == nullptr) {
    Fail(idf_path + ": no section [" + section_name + "]");
    return 1;
  }
  TDSPFormManager manager;
  manager.DatabasePath = Utf8ToCp1251(form.db);
  form.Configure(manager);
  try {
    if (merge) manager.Fetch();  // a form not stored yet starts empty
    if (!file.GetSectionAsTree(section, &manager)) {
      Fail(idf_path + ": [" + section_name + "]: " + Cp1251ToUtf8(file.LastError));
      return 1;
    }
    if (!manager.Store()) {
      Fail("no form store given (--db)");
      return 1;
    }
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    Fail(form.db + ": " + Cp1251ToUtf8(failure.message));
    return 1;
  }
  PrintUtf8("stored section [" + section_name + "] of " + idf_path + " as " + form.Describe() + " in " + form.db +
            " (" + std::to_string(section->GetFieldCount()) + " parameters" + (merge ? ", merged" : "") + ")\n");
  return 0;
}

int List(const std::string& db, bool as_json) {
  try {
    if (!FileExists(Utf8ToCp1251(db))) {
      Fail(db + ": no such form store");
      return 1;
    }
    TFormStore store(Utf8ToCp1251(db), /*create=*/false);
    const auto entries = store.List();
    if (as_json) {
      TJsonWriter json;
      json.BeginArray();
      for (const auto& entry : entries) {
        json.BeginObject();
        json.Key("form");
        json.Int(entry.Key.FormIndex);
        json.Key("name");
        json.String(Cp1251ToUtf8(entry.Key.FormName));
        json.Key("group");
        json.String(Cp1251ToUtf8(entry.Key.FormGroup));
        json.Key("owner");
        json.String(Cp1251ToUtf8(entry.Key.FormOwner));
        json.Key("bytes");
        json.Int(entry.TreeBytes);
        json.EndObject();
      }
      json.EndArray();
      PrintUtf8(json.Text() + "\n");
      return 0;
    }
    for (const auto& entry : entries) {
      PrintUtf8(std::to_string(entry.Key.FormIndex) + "\t" + Cp1251ToUtf8(entry.Key.FormName) + "\t" +
                Cp1251ToUtf8(entry.Key.FormGroup) + "\t" + Cp1251ToUtf8(entry.Key.FormOwner) + "\t" +
                std::to_string(entry.TreeBytes) + " bytes\n");
    }
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    Fail(db + ": " + Cp1251ToUtf8(failure.message));
    return 1;
  }
  return 0;
}

const TCommandRegistrar kRegistrar(70, [](CLI::App& app, int* status) {
  auto* tree = app.add_subcommand("tree", "Move form trees between a form store, tree files and IDF files");
  tree->require_subcommand(1);

  auto* save = tree->add_subcommand("save", "Write a stored form to a tree file");
  auto save_form = std::make_shared<TFormOptions>();
  auto save_out = std::make_shared<std::string>();
  save_form->AddTo(save);
  save->add_option("-o,--output", *save_out, "Tree file to write (created or replaced)")->required();
  save->callback([=] { *status = Save(*save_form, *save_out); });

  auto* load = tree->add_subcommand("load", "Store a tree file as a form");
  auto load_form = std::make_shared<TFormOptions>();
  auto load_file = std::make_shared<std::string>();
  load->add_option("FILE", *load_file, "Tree file")->required();
  load_form->AddTo(load);
  load->callback([=] { *status = Load(*load_form, *load_file); });

  auto* show = tree->add_subcommand("show", "Print a tree file as an indented tree");
  auto show_file = std::make_shared<std::string>();
  auto show_json = std::make_shared<bool>(false);
  show->add_option("FILE", *show_file, "Tree file")->required();
  show->add_flag("--json", *show_json, "Print the tree as one JSON object");
  show->add_flag_callback(
      "--raw", [] { SetRawOutput(true); }, kRawOutputHelp);
  show->callback([=] { *status = Show(*show_file, *show_json); });

  auto* to_idf = tree->add_subcommand("to-idf", "Write a stored form as a tree section of an IDF text file");
  auto to_form = std::make_shared<TFormOptions>();
  auto to_path = std::make_shared<std::string>();
  auto to_section = std::make_shared<std::string>();
  to_form->AddTo(to_idf);
  to_idf->add_option("--idf", *to_path, "IDF text file (created when missing)")->required();
  to_idf->add_option("--section", *to_section, "Section name (replaced when present)")->required();
  to_idf->callback([=] { *status = ToIdf(*to_form, *to_path, *to_section); });

  auto* from_idf = tree->add_subcommand("from-idf", "Store a section of an IDF text file as a form");
  auto from_form = std::make_shared<TFormOptions>();
  auto from_path = std::make_shared<std::string>();
  auto from_section = std::make_shared<std::string>();
  auto from_merge = std::make_shared<bool>(false);
  from_idf->add_option("--idf", *from_path, "IDF text file")->required();
  from_idf->add_option("--section", *from_section, "Section name (exact)")->required();
  from_form->AddTo(from_idf);
  from_idf->add_flag("--merge", *from_merge, "Write into the stored form instead of replacing it");
  from_idf->callback([=] { *status = FromIdf(*from_form, *from_path, *from_section, *from_merge); });

  auto* list = tree->add_subcommand("list", "List the forms of a form store");
  auto list_db = std::make_shared<std::string>();
  auto list_json = std::make_shared<bool>(false);
  list->add_option("--db", *list_db, "Form store (SQLite database file)")->required();
  list->add_flag("--json", *list_json, "Print one JSON array");
  list->callback([=] { *status = List(*list_db, *list_json); });
});

}  // namespace
}  // namespace instkit::cli

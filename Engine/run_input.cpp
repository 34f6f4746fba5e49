#include "Engine/run_input.h"

#include <filesystem>
#include <random>

#include "Syslist/node_walk.h"
#include "Syslist/sys_tree.h"
#include "Tidf/description_encoding.h"
#include "Tidf/idf_text_file.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/text.h"
#include "host/platform/file.h"

namespace instkit {

namespace fs = std::filesystem;

namespace {

// The system's reason at the end of an EInOutError message ("... 'x': No
// such file or directory"), in lower case as it goes into a sentence.
std::string ReasonOf(const std::string& message) {
  const size_t at = message.rfind(": ");
  std::string reason = at == std::string::npos ? message : message.substr(at + 2);
  if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z' && (reason.size() < 2 || reason[1] >= 'a')) {
    reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
  }
  return reason;
}

std::string ReasonOf(const std::error_code& code) { return ReasonOf(": " + code.message()); }

// A Windows-1251 value shown in a UTF-8 sentence, control characters as \xNN.
std::string Shown(const std::string& value) {
  std::string out;
  for (unsigned char c : value) {
    if (c < 0x20 || c == 0x7F) {
      out += Format("\\x%02X", c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return Cp1251ToUtf8(out);
}

bool HasControl(const std::string& value) {
  for (unsigned char c : value) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

}  // namespace

bool ReadDescription(const std::string& path, TIDFTextFile& file, TInputError& error, TDescriptionFormat* format) {
  std::error_code code;
  const fs::file_status status = fs::status(fs::path(path), code);
  if (!fs::exists(status)) {
    error.sentence = "cannot read " + path + ": no such file";
    return false;
  }
  if (fs::is_directory(status)) {
    error.sentence = "cannot read " + path + ": it is a folder, not an IDF text file";
    return false;
  }
  try {
    TInputFile probe(path);
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    error.sentence = "cannot read " + path + ": " + ReasonOf(failure.message);
    error.detail = failure.class_name + ": " + failure.message;
    return false;
  }
  file.LastError.clear();
  if (LoadDescription(file, path, format)) return true;
  const std::string last = Cp1251ToUtf8(file.LastError);
  error.detail = last;
  const std::string named = "File '" + path + "', ";
  if (last.rfind(named, 0) == 0) {
    error.sentence = path + ": " + last.substr(named.size());  // "line L, column C: ..."
  } else if (last.find("has wrong format") != std::string::npos) {
    error.sentence = path + " is not an IDF text file: its first line is not \"IDF-CPS-text\" or \"IDF-FPS-text\"";
  } else if (last.empty()) {
    error.sentence = path + " is not an IDF text file: the header line is not followed by an empty line";
  } else {
    error.sentence = "cannot read " + path + ": " + ReasonOf(last);
  }
  return false;
}

bool BuildCatalogue(const TIDFTextFile& file, const std::string& path, TSysTree& tree, TInputError& error) {
  try {
    if (!tree.LoadFromIDFFile(&file)) {
      error.sentence = path + ": the subsystem catalogue cannot be read (two subsystems carry the same number)";
      return false;
    }
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    error.sentence = path + ": the subsystem catalogue cannot be read: " + Cp1251ToUtf8(failure.message);
    error.detail = failure.class_name + ": " + Cp1251ToUtf8(failure.message);
    return false;
  }
  if (tree.Count == 0) {
    error.sentence = path + " lists no subsystems: there is nothing to run";
    return false;
  }
  WalkNodesBelow(&tree, [](TSysNode* node) {
    node->Info->Checked = true;
    node->Info->AllCheck = true;
    return true;
  });
  return true;
}

std::string ProductNameOf(const TIDFTextFile& file, const std::string& path) {
  std::string name;
  if (file.Header) {
    if (const TField* product = file.Header->FieldByName("Product")) name = std::string(Trim(product->GetAsString()));
  }
  if (name.empty()) name = Utf8ToCp1251(fs::path(path).stem().string());
  for (char& c : name) {
    if (c == '\\') c = '_';
  }
  return name.empty() ? std::string("instkit") : name;
}

std::string InstalledKeyFor(const std::string& product) { return "Software\\instkit\\Installed\\" + product; }
std::string ProductRecordKeyFor(const std::string& product) { return "Software\\instkit\\Products\\" + product; }

bool CheckNames(const std::string& product, const TIDFTextFile& file, const std::string& path, const TSysTree& tree,
                TInputError& error) {
  if (HasControl(product)) {
    const bool from_header = file.Header && file.Header->FieldByName("Product") != nullptr;
    error.sentence = "the product name \"" + Shown(product) + "\" holds a control character (" +
                     (from_header ? "header parameter Product of " + path : "the file name " + path) + ")";
    return false;
  }
  bool clean = true;
  WalkNodesBelow(&tree, [&](TSysNode* node) {
    const TSubsystemInfo& info = *node->Info;
    const std::pair<const char*, const std::string*> names[] = {
        {"short name", &info.ShortName}, {"library", &info.Library}, {"link list", &info.Links}};
    for (const auto& [what, value] : names) {
      if (!HasControl(*value)) continue;
      error.sentence = Format("the %s \"%s\" of subsystem %d holds a control character (section [%s] of %s)", what,
                              Shown(*value).c_str(), info.SysIndex, Shown(info.SaveName).c_str(), path.c_str());
      clean = false;
      return false;
    }
    return true;
  });
  return clean;
}

bool CheckTargetFolder(const std::string& path, TInputError& error) {
  if (path.empty()) {
    error.sentence = "no target folder given";
    return false;
  }
  std::error_code code;
  fs::path target = fs::absolute(fs::path(path), code);
  if (code) target = fs::path(path);
  // The deepest part of the path that exists.
  fs::path existing = target;
  while (!fs::exists(fs::symlink_status(existing, code)) && existing.has_relative_path()) {
    existing = existing.parent_path();
  }
  const bool is_target = existing == target;
  if (!fs::is_directory(existing, code)) {
    error.sentence = is_target ? "cannot use " + path + " as the target folder: it is a file"
                               : "cannot create " + path + ": a file is in the way (" + existing.string() + ")";
    return false;
  }
  std::random_device random;
  const fs::path probe = existing / (".instkit-probe-" + std::to_string(random()));
  if (!fs::create_directory(probe, code) && code) {
    error.sentence = (is_target ? "cannot use " : "cannot create ") + path + ": " + ReasonOf(code) +
                     (is_target ? "" : " (" + existing.string() + ")");
    return false;
  }
  fs::remove(probe, code);
  return true;
}

}  // namespace instkit

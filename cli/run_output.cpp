#include "cli/run_output.h"

#include <algorithm>
#include <array>
#include <vector>

#include "Engine/plan.h"
#include "cli/json_writer.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/base/format.h"
#include "host/base/tree_indent.h"

namespace instkit::cli {

namespace {

const char* OutcomeName(uint8_t outcome) {
  switch (outcome) {
    case 1:
      return "completed";
    case 2:
      return "aborted";
    default:
      return "failed";
  }
}

const char* ModeName(uint8_t mode) {
  switch (mode) {
    case 1:
      return "install";
    case 2:
      return "uninstall";
    case 3:
      return "generate";
    default:
      return "?";
  }
}

const char* StatusName(TRunStatus status) {
  switch (status) {
    case TRunStatus::kDone:
      return "done";
    case TRunStatus::kNotAllDone:
      return "not all done";
    case TRunStatus::kFailed:
      return "failed";
    case TRunStatus::kBadInput:
      return "bad input";
    case TRunStatus::kBusy:
      return "busy";
    case TRunStatus::kInterrupted:
      return "interrupted";
  }
  return "?";
}

std::string Join(const std::vector<std::string>& cp1251) {
  std::string out;
  for (const std::string& t : cp1251) out += (out.empty() ? "" : ", ") + Cp1251ToUtf8(t);
  return out;
}

size_t Width(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

std::string Pad(const std::string& utf8, size_t width) {
  const size_t w = Width(utf8);
  return w >= width ? utf8 : utf8 + std::string(width - w, ' ');
}

void StringOrNull(TJsonWriter& json, const char* key, const std::string& text) {
  json.Key(key);
  if (text.empty()) {
    json.Null();
  } else {
    json.String(text);
  }
}

}  // namespace

void PrintRunSummary(const TRunReport& report) {
  std::vector<std::array<std::string, 3>> rows;
  rows.push_back({"Subsystem", "Library", "Result"});
  for (const TSubsystemReport& s : report.subsystems) {
    rows.push_back({TreeLinePrefix(static_cast<size_t>(s.depth)) + Cp1251ToUtf8(s.short_name),
                    s.library.empty() ? "-" : Cp1251ToUtf8(s.library),
                    s.done ? "done" : (s.loaded ? "not done" : "not loaded")});
  }
  size_t widths[2] = {0, 0};
  for (const auto& row : rows) {
    for (size_t c = 0; c < 2; ++c) widths[c] = std::max(widths[c], Width(row[c]));
  }
  std::string out = Format("%s %s, path %s%s\n", ModeName(report.mode), report.description_file.c_str(),
                           report.path.c_str(), report.flat ? " (flat image)" : "");
  for (const auto& row : rows) {
    out += Pad(row[0], widths[0] + 2) + Pad(row[1], widths[1] + 2) + row[2] + "\n";
    if (out.size() > 65536) {
      PrintUtf8(out);
      out.clear();
    }
  }
  out += "phases:";
  for (const TPhaseReport& phase : report.phases) {
    if (phase.phase == TRunPhase::kUnload || (phase.phase == TRunPhase::kUnpack && !phase.ran)) continue;
    out += std::string(phase.phase == TRunPhase::kLoad ? " " : ", ") + PhaseName(phase.phase) + " ";
    if (phase.phase == TRunPhase::kLoad) {
      out += phase.ran && phase.outcome == 1 ? "completed" : "stopped";
    } else {
      out += phase.ran ? OutcomeName(phase.outcome) : "-";
    }
  }
  out += std::string(report.interrupted ? " (interrupted)" : "") + "\n";
  if (!report.load_failure.empty()) out += "load failure: " + report.load_failure + "\n";
  if (report.questions.empty()) {
    out += "questions: none\n";
  } else {
    out += "questions:\n";
    for (const TQuestionReport& q : report.questions) {
      out += std::string("  [") + QuestionKindName(q.question.kind) + "] " + Cp1251ToUtf8(q.question.text) + " -> " +
             (q.answer.yes ? "Yes" : "No") + " (" + q.answer.source + ")\n";
    }
  }
  for (const TArchiveReport& a : report.media.archives) {
    out += "archive " + (a.name.empty() ? std::string("(empty name)") : Cp1251ToUtf8(a.name)) + ": ";
    if (!a.error.empty()) {
      out += a.error + "\n";
    } else if (a.unpacked) {
      out += Counted(a.files, "file", "files") + ", " + Counted(a.bytes, "byte", "bytes") + ", " +
             (a.kept ? "unpacked" : "taken back") + "\n";
    } else {
      out += "not unpacked\n";
    }
  }
  if (!report.media.removed_archives.empty()) {
    out += "removed the files of " + Join(report.media.removed_archives) + ": " +
           Counted(report.media.removed, "file", "files") + ", " +
           Counted(report.media.removed_folders, "folder", "folders") + "\n";
  }
  for (const std::string& kept : report.media.kept_changed) out += "kept (changed since unpacked): " + kept + "\n";
  PrintUtf8(out);
}

void PrintRunJson(const char* command, const TRunReport& report) {
  TJsonWriter json;
  json.BeginObject();
  json.Member("command", command);
  json.Member("file", report.description_file);
  json.Member("product", Cp1251ToUtf8(report.product));
  json.Member("path", report.path);
  json.Member("driver", report.flat ? "flat" : "node-tree");
  json.Member("isolated", report.isolated);
  json.Member("status", StatusName(report.status));
  json.Member("exit_status", report.ExitStatus());
  StringOrNull(json, "failure", report.failure);
  json.Key("phases");
  json.BeginArray();
  for (const TPhaseReport& phase : report.phases) {
    json.BeginObject();
    json.Member("phase", PhaseName(phase.phase));
    json.Member("ran", phase.ran);
    StringOrNull(json, "outcome", phase.ran ? OutcomeName(phase.outcome) : "");
    json.EndObject();
  }
  json.EndArray();
  json.Key("subsystems");
  json.BeginArray();
  for (const TSubsystemReport& s : report.subsystems) {
    json.BeginObject();
    json.Member("number", s.sys_index);
    json.Member("short_name", Cp1251ToUtf8(s.short_name));
    json.Member("library", Cp1251ToUtf8(s.library));
    json.Member("depth", s.depth);
    json.Member("loaded", s.loaded);
    json.Member("done", s.done);
    json.Member("was_installed", s.was_installed);
    json.EndObject();
  }
  json.EndArray();
  json.Key("questions");
  json.BeginArray();
  for (const TQuestionReport& q : report.questions) {
    json.BeginObject();
    json.Member("kind", QuestionKindName(q.question.kind));
    json.Member("phase", PhaseName(q.question.phase));
    json.Member("number", q.question.subsystem.sys_index);
    json.Member("short_name", Cp1251ToUtf8(q.question.subsystem.short_name));
    json.Member("caption", Cp1251ToUtf8(q.question.caption));
    json.Member("text", Cp1251ToUtf8(q.question.text));
    json.Member("answer", q.answer.yes ? "yes" : "no");
    json.Member("source", q.answer.source);
    json.EndObject();
  }
  json.EndArray();
  StringOrNull(json, "load_failure", report.load_failure);
  json.Key("registry");
  json.BeginObject();
  json.Member("attempted", report.record.attempted);
  json.Member("recorded", report.record.recorded);
  json.Member("store", report.record.registry);
  json.Member("key", Cp1251ToUtf8(report.record.key));
  json.Member("written", Utf8Texts(report.record.written));
  json.Member("removed", Utf8Texts(report.record.removed));
  json.EndObject();
  json.Key("links");
  json.BeginObject();
  json.Member("attempted", report.links.attempted);
  json.Member("made", report.links.made);
  json.Member("removed", report.links.removed);
  json.EndObject();
  json.Key("media");
  json.BeginObject();
  StringOrNull(json, "folder", report.media.folder);
  json.Key("archives");
  json.BeginArray();
  for (const TArchiveReport& a : report.media.archives) {
    json.BeginObject();
    json.Member("name", Cp1251ToUtf8(a.name));
    StringOrNull(json, "file", a.file);
    json.Member("size", static_cast<int64_t>(a.size));
    json.Member("unpacked", a.unpacked);
    json.Member("kept", a.kept);
    json.Member("files", static_cast<int64_t>(a.files));
    json.Member("bytes", static_cast<int64_t>(a.bytes));
    StringOrNull(json, "error", a.error);
    json.EndObject();
  }
  json.EndArray();
  StringOrNull(json, "recovered", report.media.recovered);
  json.Member("removed_archives", Utf8Texts(report.media.removed_archives));
  json.Member("removed_files", static_cast<int64_t>(report.media.removed));
  json.Member("removed_folders", static_cast<int64_t>(report.media.removed_folders));
  json.Member("kept_changed", report.media.kept_changed);
  json.EndObject();
  json.EndObject();
  PrintUtf8(json.Text() + "\n");
}

}  // namespace instkit::cli

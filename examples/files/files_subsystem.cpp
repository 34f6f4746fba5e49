// Example subsystem library "files": installs a folder of payload files.
//
// Parameter: the payload folder.  A relative folder is looked up like a
// relative library name: in the installation description's folder first,
// then in the other library search folders (host/platform/dynamic_library.h).
//
//   install    copies every file of the payload folder into the run's path
//              (sub-folders kept) and records what it wrote in
//              <path>/.instkit-<payload>.files, with a hash of each file
//   uninstall  removes exactly the files and folders that record lists
//              (folders only when they are empty), then the record
//
// A file the user has changed since it was installed is kept: a reinstall
// writes the new version beside it as NAME.instkit-new, an uninstall leaves
// it, and either says so on its standard output (which the run engine shows
// the operator and keeps in the log).
//   generate   writes <path>/<payload>.manifest: the files it would install,
//              with their sizes
//
// Between two files it checks whether UserAbort was called; then it stops
// and answers 2 (the files copied so far stay recorded).  The run's path is
// used as the file system spells it.
//
// Several subsystems may name this one file: it keeps one configuration per
// subsystem record (examples/common/record_queue.h).
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "Dllload/subsystem_api.h"
#include "common/record_queue.h"
#include "host/base/codepage.h"
#include "host/base/settings.h"
#include "host/base/exception.h"
#include "host/platform/file.h"
#include "host/base/format.h"

namespace fs = std::filesystem;

namespace {

struct TRecordConfig {
  InstkitLogCallback log = nullptr;
  std::string payload;  // Windows-1251, as received
  std::string path;
  int mode = 0;
};

instkit_examples::TRecordQueue<TRecordConfig> g_records;
std::atomic<bool> g_abort{false};

// The record being worked on by AskQuestions / Perform.
thread_local TRecordConfig g_current;

void Log(const std::string& text) {
  if (g_current.log != nullptr) g_current.log((" files: " + text).c_str());
}

fs::path FindPayload() {
  fs::path payload(instkit::Cp1251ToUtf8(g_current.payload));
  if (payload.is_absolute()) return payload;
  for (const std::string& folder : instkit::Settings().LibrarySearchFolders()) {
    std::error_code ec;
    if (fs::is_directory(fs::path(folder) / payload, ec)) return fs::path(folder) / payload;
  }
  return payload;
}

// The payload's regular files, relative to it, in a stable order.
std::vector<fs::path> PayloadFiles(const fs::path& root) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root));
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string PayloadName() { return fs::path(instkit::Cp1251ToUtf8(g_current.payload)).filename().string(); }

fs::path RecordFile() { return fs::path(g_current.path) / (".instkit-" + PayloadName() + ".files"); }

// The record: one line per entry, "d <relative folder>" for a folder this
// library created, "h <hash> <relative file>" for a file it wrote, with the
// hash of what it wrote ("f <relative file>": written without a hash).
void WriteRecord(const std::vector<std::string>& lines) {
  std::string content;
  for (const std::string& line : lines) content += line + "\n";
  instkit::WriteWholeFileAtomically(RecordFile().string(), content);
}

// FNV-1a of a file's bytes, 16 hex digits; "" when it cannot be read.
std::string HashOf(const fs::path& file) {
  std::string bytes;
  try {
    bytes = instkit::ReadWholeFile(file.string());
  } catch (...) {
    return std::string();
  }
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  std::string hex(16, '0');
  for (int i = 15; i >= 0; --i, h >>= 4) hex[static_cast<size_t>(i)] = "0123456789abcdef"[h & 15];
  return hex;
}

// What the record of an earlier install says this library wrote: relative
// file -> hash, and the folders it created (kept across reinstalls, so an
// uninstall still removes them).
std::map<std::string, std::string> RecordedHashes(std::set<std::string>* folders) {
  std::map<std::string, std::string> hashes;
  std::string content;
  try {
    content = instkit::ReadWholeFile(RecordFile().string());
  } catch (...) {
    return hashes;
  }
  for (size_t start = 0; start < content.size();) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line = content.substr(start, end - start);
    if (line.size() > 19 && line[0] == 'h' && line[18] == ' ') hashes[line.substr(19)] = line.substr(2, 16);
    if (line.size() > 2 && line[0] == 'd') folders->insert(line.substr(2));
    start = end + 1;
  }
  return hashes;
}

// Copies a payload file over whatever is at `to`.  (copy_file's own
// overwrite_existing fails on some Windows runtimes.)
void CopyOver(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::remove(to, ec);
  fs::copy_file(from, to);
}

void Tell(const std::string& text) {
  std::printf("files: %s\n", text.c_str());
  std::fflush(stdout);
}

int32_t Install() {
  const fs::path source = FindPayload();
  const fs::path target(g_current.path);
  std::set<std::string> created;
  const std::map<std::string, std::string> installed = RecordedHashes(&created);
  std::vector<std::string> record;
  std::error_code ec;
  fs::create_directories(target, ec);
  for (const fs::path& relative : PayloadFiles(source)) {
    if (g_abort.load()) {
      WriteRecord(record);
      Log("stopped by UserAbort after " + std::to_string(record.size()) + " entries");
      return INSTKIT_RESULT_ABORT;
    }
    // Folders first, from the outermost, so uninstall can remove them last.
    fs::path folder;
    for (const fs::path& part : relative.parent_path()) {
      folder /= part;
      if (!fs::exists(target / folder)) {
        fs::create_directory(target / folder);
        created.insert(folder.generic_string());
      }
      if (created.erase(folder.generic_string()) > 0) record.push_back("d " + folder.generic_string());
    }
    const std::string name = relative.generic_string();
    auto before = installed.find(name);
    if (before != installed.end() && fs::exists(target / relative) && HashOf(target / relative) != before->second) {
      // Changed since it was installed: keep it, the new version goes beside it.
      const fs::path beside = target / (name + ".instkit-new");
      CopyOver(source / relative, beside);
      record.push_back("h " + before->second + " " + name);
      record.push_back("h " + HashOf(beside) + " " + name + ".instkit-new");
      Tell("kept " + name + ", changed since it was installed; the new version is " + name + ".instkit-new");
      continue;
    }
    CopyOver(source / relative, target / relative);
    record.push_back("h " + HashOf(target / relative) + " " + name);
    Log("copied " + name);
  }
  WriteRecord(record);
  return INSTKIT_RESULT_DONE;
}

int32_t Uninstall() {
  const fs::path record_file = RecordFile();
  if (!fs::exists(record_file)) {
    Log("nothing recorded for " + PayloadName());
    return INSTKIT_RESULT_DONE;
  }
  const std::string content = instkit::ReadWholeFile(record_file.string());
  std::vector<std::string> lines;
  for (size_t start = 0; start < content.size();) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    if (end > start + 2) lines.push_back(content.substr(start, end - start));
    start = end + 1;
  }
  // Files first, then the folders this library created, innermost first.
  std::reverse(lines.begin(), lines.end());
  for (const std::string& line : lines) {
    if (g_abort.load()) {
      Log("stopped by UserAbort");
      return INSTKIT_RESULT_ABORT;
    }
    const bool hashed = line[0] == 'h' && line.size() > 19;
    const std::string name = hashed ? line.substr(19) : line.substr(2);
    const fs::path entry = fs::path(g_current.path) / name;
    std::error_code ec;
    if (hashed && fs::exists(entry) && HashOf(entry) != line.substr(2, 16)) {
      Tell("left " + name + ", changed since it was installed");
    } else if (line[0] == 'f' || hashed) {
      fs::remove(entry, ec);
      Log("removed " + name);
    } else if (line[0] == 'd' && fs::is_empty(entry, ec)) {
      fs::remove(entry, ec);
    }
  }
  fs::remove(record_file);
  return INSTKIT_RESULT_DONE;
}

int32_t Generate() {
  const fs::path source = FindPayload();
  std::string manifest;
  for (const fs::path& relative : PayloadFiles(source)) {
    if (g_abort.load()) return INSTKIT_RESULT_ABORT;
    manifest += relative.generic_string() + " " + std::to_string(fs::file_size(source / relative)) + "\n";
  }
  fs::create_directories(g_current.path);
  instkit::WriteWholeFileAtomically((fs::path(g_current.path) / (PayloadName() + ".manifest")).string(), manifest);
  Log("manifest of " + PayloadName() + " written");
  return INSTKIT_RESULT_DONE;
}

int32_t Check();
int32_t Work();

}  // namespace

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetLogCallBack(InstkitLogCallback callback) {
  std::lock_guard<std::mutex> lock(g_records.mutex);
  g_records.Open().log = callback;
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetExternalParameter(const char* parameter) {
  std::lock_guard<std::mutex> lock(g_records.mutex);
  g_records.Setting().payload = parameter;
  if (*parameter != '\0') return INSTKIT_TRUE;
  g_records.RejectSetting();
  return INSTKIT_FALSE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetIUGRegim(int32_t mode) {
  std::lock_guard<std::mutex> lock(g_records.mutex);
  const int value = static_cast<uint8_t>(mode);
  g_records.Setting().mode = value;
  if (value >= INSTKIT_MODE_INSTALL && value <= INSTKIT_MODE_GENERATE) return INSTKIT_TRUE;
  g_records.RejectSetting();
  return INSTKIT_FALSE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetPath(const char* path) {
  std::lock_guard<std::mutex> lock(g_records.mutex);
  g_records.Setting().path = path;
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL AskQuestions(void) {
  instkit_examples::TRecordQueue<TRecordConfig>::TRef index;
  {
    std::lock_guard<std::mutex> lock(g_records.mutex);
    if (!g_records.NextToAsk(&index)) return INSTKIT_RESULT_FAILED;
    g_current = g_records.At(index);
  }
  const int32_t answer = Check();
  std::lock_guard<std::mutex> lock(g_records.mutex);
  g_records.Answered(index, answer == INSTKIT_RESULT_DONE);
  return answer;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL Perform(void) {
  {
    std::lock_guard<std::mutex> lock(g_records.mutex);
    instkit_examples::TRecordQueue<TRecordConfig>::TRef index;
    if (!g_records.NextToPerform(&index)) return INSTKIT_RESULT_FAILED;
    g_current = g_records.At(index);
  }
  return Work();
}

INSTKIT_SUBSYSTEM_EXPORT void INSTKIT_CALL UserAbort(void) { g_abort.store(true); }

namespace {

int32_t Check() {
  if (g_current.path.empty()) {
    Log("no path given");
    return INSTKIT_RESULT_FAILED;
  }
  if (g_current.mode != INSTKIT_MODE_UNINSTALL && !fs::is_directory(FindPayload())) {
    Log("payload folder " + FindPayload().string() + " not found");
    return INSTKIT_RESULT_FAILED;
  }
  return INSTKIT_RESULT_DONE;
}

int32_t Work() {
  try {
    switch (g_current.mode) {
      case INSTKIT_MODE_INSTALL:
        return Install();
      case INSTKIT_MODE_UNINSTALL:
        return Uninstall();
      case INSTKIT_MODE_GENERATE:
        return Generate();
      default:
        return INSTKIT_RESULT_FAILED;
    }
  } catch (const std::exception& e) {
    Log(std::string("failed: ") + e.what());
    return INSTKIT_RESULT_FAILED;
  }
}

}  // namespace

#include "Media/unpack_journal.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>

#include "host/base/exception.h"
#include "host/platform/file.h"
#include "host/platform/new_file.h"

namespace instkit {

namespace fs = std::filesystem;

namespace {

constexpr const char* kJournalName = ".instkit-journal";
constexpr const char* kHeader = "instkit-journal 1";

[[noreturn]] void Raise(const std::string& what, const std::string& path, const std::error_code& code) {
  throw EInOutError(what + " " + path + ": " + code.message());
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
    fields.push_back(line.substr(start, tab - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

// Whether something (a link counts as itself) is at `path`, and whether it
// is a real folder.
bool Present(const fs::path& path, bool* folder = nullptr) {
  std::error_code code;
  const fs::file_status status = fs::symlink_status(path, code);
  if (folder != nullptr) *folder = status.type() == fs::file_type::directory;
  return !code && status.type() != fs::file_type::not_found;
}

void RemoveIfPresent(const fs::path& path) {
  bool folder = false;
  std::error_code code;
  if (Present(path, &folder) && !folder) fs::remove(path, code);
}

}  // namespace

TUnpackJournal::TUnpackJournal(std::string root, std::string product, std::string run_id)
    : root_(std::move(root)), product_(std::move(product)), run_id_(std::move(run_id)) {}

TUnpackJournal::~TUnpackJournal() {
  if (closed_) return;
  try {
    RollBack();
  } catch (...) {
    // The journal stays; the next run in this target finishes the undo.
  }
}

std::string TUnpackJournal::JournalPath(const std::string& root) { return (fs::path(root) / kJournalName).string(); }

std::string TUnpackJournal::NewRunId() {
  std::random_device device;
  const uint64_t clock = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  uint64_t value = (static_cast<uint64_t>(device()) << 32 ^ device()) ^ clock * 0x9E3779B97F4A7C15ull;
  std::string hex(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) hex[static_cast<size_t>(i)] = "0123456789abcdef"[value & 15];
  return hex;
}

std::string TUnpackJournal::Full(const std::string& path) const {
  return path.empty() ? root_ : (fs::path(root_) / fs::path(path)).string();
}

std::string TUnpackJournal::TempName(const std::string& path, const char* suffix) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return folder + ".instkit-" + run_id_ + "-" + std::to_string(++counter_) + suffix;
}

void TUnpackJournal::Record(const TChange& change) {
  if (file_ == nullptr) {
    const std::string path = JournalPath(root_);
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) Raise("cannot write the journal", path, std::error_code(errno, std::generic_category()));
    const std::string header = std::string(kHeader) + "\t" + run_id_ + "\t" + product_ + "\n";
    std::fwrite(header.data(), 1, header.size(), file_);
  }
  std::string line;
  switch (change.kind) {
    case TChange::kNew:
      line = "new\t" + change.path + "\t" + change.temp + "\n";
      break;
    case TChange::kAside:
      line = "aside\t" + change.path + "\t" + change.temp + "\t" + change.aside + "\n";
      break;
    case TChange::kFolder:
      line = "folder\t" + change.path + "\n";
      break;
  }
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
    Raise("cannot write the journal", JournalPath(root_), std::error_code(errno, std::generic_category()));
  }
}

void TUnpackJournal::EnsureFolders(const std::string& path, bool self, std::vector<std::string>& made) {
  size_t end = 0;
  while (end != std::string::npos) {
    end = path.find('/', end == 0 ? 0 : end + 1);
    if (end == std::string::npos && !self) break;
    const std::string folder = path.substr(0, end);
    if (folder.empty() || real_folders_.count(folder) > 0) continue;
    const std::string full = Full(folder);
    std::error_code code;
    const fs::file_status status = fs::symlink_status(full, code);
    if (status.type() == fs::file_type::not_found) {
      TChange change{TChange::kFolder, folder, "", ""};
      Record(change);
      if (!fs::create_directory(full, code) && code) Raise("cannot create the folder", folder, code);
      changes_.push_back(change);
      made.push_back(folder);
    } else if (code) {
      Raise("cannot examine", folder, code);
    } else if (status.type() == fs::file_type::symlink) {
      throw EInOutError("a symbolic link is in the way at " + folder);
    } else if (status.type() != fs::file_type::directory) {
      throw EInOutError("a file is in the way at " + folder);
    }
    real_folders_.insert(folder);
  }
}

TUnpackJournal::TChange TUnpackJournal::Replacing(const std::string& path, const char* what) {
  bool folder = false;
  TChange change;
  change.path = path;
  change.temp = TempName(path, ".tmp");
  if (Present(Full(path), &folder)) {
    if (folder) throw EInOutError(std::string("a folder is in the way of the ") + what + " " + path);
    change.kind = TChange::kAside;
    change.aside = TempName(path, ".aside");
  }
  Record(change);
  return change;
}

void TUnpackJournal::Finish(const TChange& change) {
  changes_.push_back(change);
  std::error_code code;
  if (change.kind == TChange::kAside) {
    fs::rename(Full(change.path), Full(change.aside), code);
    if (code) Raise("cannot set aside", change.path, code);
  }
  fs::rename(Full(change.temp), Full(change.path), code);
  if (code) Raise("cannot rename into place", change.path, code);
}

std::unique_ptr<TNewFile> TUnpackJournal::BeginFile(const std::string& path) {
  pending_ = Replacing(path, "file");
  return std::make_unique<TNewFile>(Full(pending_.temp));
}

void TUnpackJournal::PlaceFile(TNewFile& file, uint32_t mode, int64_t mtime) {
  file.Finish(mode, mtime);
  Finish(pending_);
}

void TUnpackJournal::PlaceSymlink(const std::string& path, const std::string& target) {
  const TChange change = Replacing(path, "link");
  std::error_code code;
  fs::create_symlink(fs::path(target), Full(change.temp), code);
  if (code) Raise("cannot create the link", path, code);
  Finish(change);
}

void TUnpackJournal::PlaceHardLink(const std::string& path, const std::string& existing) {
  const TChange change = Replacing(path, "link");
  std::error_code code;
  fs::create_hard_link(Full(existing), Full(change.temp), code);
  if (code) Raise("cannot create the hard link", path, code);
  Finish(change);
}

void TUnpackJournal::Undo(const std::string& root, const TChange& change) {
  const auto full = [&root](const std::string& path) { return fs::path(root) / fs::path(path); };
  std::error_code code;
  switch (change.kind) {
    case TChange::kNew:
      RemoveIfPresent(full(change.temp));
      RemoveIfPresent(full(change.path));
      break;
    case TChange::kAside:
      RemoveIfPresent(full(change.temp));
      if (Present(full(change.aside))) {
        RemoveIfPresent(full(change.path));
        fs::rename(full(change.aside), full(change.path), code);
      }
      break;
    case TChange::kFolder:
      fs::remove(full(change.path), code);
      break;  // only when empty
  }
}

void TUnpackJournal::Keep(const std::string& root, const TChange& change) {
  if (change.kind == TChange::kFolder) return;
  RemoveIfPresent(fs::path(root) / fs::path(change.temp));
  if (change.kind == TChange::kAside) RemoveIfPresent(fs::path(root) / fs::path(change.aside));
}

void TUnpackJournal::UndoSince(size_t mark) {
  while (changes_.size() > mark) {
    Undo(root_, changes_.back());
    changes_.pop_back();
  }
  // Folders taken back must be checked again if they come back.
  real_folders_.clear();
}

void TUnpackJournal::Settle(size_t begin, size_t end, bool keep, std::set<std::string>& kept_paths) {
  end = std::min(end, changes_.size());
  if (begin >= end) return;
  if (keep) {
    for (size_t i = begin; i < end; ++i) {
      if (changes_[i].kind != TChange::kFolder) kept_paths.insert(changes_[i].path);
    }
    return;
  }
  std::vector<TChange> left;
  for (size_t i = end; i-- > begin;) {
    const TChange& change = changes_[i];
    if (change.kind != TChange::kFolder && kept_paths.count(change.path) > 0) {
      left.insert(left.begin(), change);
    } else {
      Undo(root_, change);
    }
  }
  changes_.erase(changes_.begin() + static_cast<std::ptrdiff_t>(begin),
                 changes_.begin() + static_cast<std::ptrdiff_t>(end));
  changes_.insert(changes_.begin() + static_cast<std::ptrdiff_t>(begin), left.begin(), left.end());
  real_folders_.clear();
}

void TUnpackJournal::CloseFile() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void TUnpackJournal::Commit() {
  for (const TChange& change : changes_) Keep(root_, change);
  changes_.clear();
  CloseFile();
  closed_ = true;
  std::error_code code;
  fs::remove(JournalPath(root_), code);
  if (code) Raise("cannot remove the journal", JournalPath(root_), code);
}

void TUnpackJournal::RollBack() {
  UndoSince(0);
  CloseFile();
  closed_ = true;
  std::error_code code;
  fs::remove(JournalPath(root_), code);
  if (code) Raise("cannot remove the journal", JournalPath(root_), code);
}

bool RecoverJournal(const std::string& root,
                    const std::function<bool(const std::string& product, const std::string& run_id)>& committed,
                    std::string& what) {
  const std::string path = TUnpackJournal::JournalPath(root);
  if (!Present(path)) return false;
  const std::string text = ReadWholeFile(path);
  std::vector<TUnpackJournal::TChange> changes;
  std::vector<std::string> header;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::vector<std::string> f = SplitTabs(text.substr(start, end - start));
    if (header.empty()) {
      header = f;
      continue;
    }
    using T = TUnpackJournal::TChange;
    if (f[0] == "new" && f.size() == 3) changes.push_back({T::kNew, f[1], f[2], ""});
    if (f[0] == "aside" && f.size() == 4) changes.push_back({T::kAside, f[1], f[2], f[3]});
    if (f[0] == "folder" && f.size() == 2) changes.push_back({T::kFolder, f[1], "", ""});
  }
  const bool known = header.size() == 3 && header[0] == kHeader;
  // A journal this build cannot read is left for a human rather than guessed at.
  if (!known && !changes.empty()) throw EInOutError("unknown journal format in " + path);
  const bool keep = known && committed(header[2], header[1]);
  if (keep) {
    for (const auto& change : changes) TUnpackJournal::Keep(root, change);
  } else {
    for (auto it = changes.rbegin(); it != changes.rend(); ++it) TUnpackJournal::Undo(root, *it);
  }
  std::error_code code;
  fs::remove(path, code);
  if (code) Raise("cannot remove the journal", path, code);
  what = keep ? "an earlier run in " + root + " was interrupted after it had recorded its files: they are kept"
              : "an earlier run in " + root + " was interrupted: the files it had unpacked were taken back";
  return true;
}

}  // namespace instkit

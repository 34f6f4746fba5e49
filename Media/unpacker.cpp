#include "Media/unpacker.h"

#include <archive.h>
#include <archive_entry.h>

#include <filesystem>
#include <map>
#include <memory>
#include <system_error>

#include "Media/content_hash.h"
#include "Media/entry_name.h"
#include "Media/unpack_journal.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/platform/new_file.h"

namespace instkit {

namespace {

constexpr uint64_t kEntryCost = 512;
constexpr uint64_t kProgressBytes = 256ull * 1024;
constexpr uint32_t kProgressEntries = 32;
constexpr size_t kReadBlock = 1 << 20;

// A refusal or failure that stops the archive; its text is the sentence.
struct TStop {
  std::string sentence;
};

struct TArchiveCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};

// An entry's name for a message: control bytes and bytes outside ASCII
// letters shown as \xHH when the name is not valid UTF-8.
std::string Shown(const char* name) {
  if (name == nullptr) return "(no name)";
  const std::string text(name);
  const bool valid = CheckEntryName(text).reason.find("UTF-8") == std::string::npos;
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || (!valid && c >= 0x80)) {
      out += Format("\\x%02X", c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

const char* NameOf(archive_entry* entry) {
  const char* utf8 = archive_entry_pathname_utf8(entry);
  return utf8 != nullptr ? utf8 : archive_entry_pathname(entry);
}

const char* SymlinkOf(archive_entry* entry) {
  const char* utf8 = archive_entry_symlink_utf8(entry);
  return utf8 != nullptr ? utf8 : archive_entry_symlink(entry);
}

const char* HardlinkOf(archive_entry* entry) {
  const char* utf8 = archive_entry_hardlink_utf8(entry);
  return utf8 != nullptr ? utf8 : archive_entry_hardlink(entry);
}

class TUnpackRun {
 public:
  TUnpackRun(TUnpackJournal& journal, const TUnpackLimits& limits, const TUnpackProgress& progress)
      : journal_(journal), limits_(limits), progress_(progress) {}

  void Run(const std::string& file, TUnpackResult& result);

 private:
  void Entry(archive_entry* entry);
  void File(const std::string& path, archive_entry* entry);
  void Count(uint64_t bytes);
  void Report(bool force);
  void Place(TManifestEntry entry);

  TUnpackJournal& journal_;
  const TUnpackLimits& limits_;
  const TUnpackProgress& progress_;
  archive* archive_ = nullptr;
  TUnpackStatus status_;
  uint64_t reported_bytes_ = 0;
  uint32_t reported_entries_ = 0;
  std::string shown_;  // the current entry's name for messages
  std::vector<TManifestEntry> entries_;
  std::map<std::string, size_t> placed_;  // path -> index in entries_
  std::vector<std::string> folders_;
  std::vector<std::pair<std::string, uint32_t>> folder_modes_;  // explicit folders this archive made
  uint64_t data_bytes_ = 0;
};

void TUnpackRun::Count(uint64_t bytes) {
  status_.written += bytes;
  if (status_.written <= limits_.max_bytes) return;
  if (limits_.free_space) {
    throw TStop{Format("it unpacks to more than the %llu bytes free in the target folder",
                       static_cast<unsigned long long>(limits_.max_bytes))};
  }
  throw TStop{Format("it unpacks to more than %u times its own size (%llu bytes): refused as a decompression bomb",
                     limits_.ratio, static_cast<unsigned long long>(limits_.max_bytes))};
}

void TUnpackRun::Report(bool force) {
  if (!progress_) return;
  status_.read = static_cast<uint64_t>(archive_filter_bytes(archive_, -1));
  if (!force && status_.written - reported_bytes_ < kProgressBytes &&
      status_.entries - reported_entries_ < kProgressEntries) {
    return;
  }
  reported_bytes_ = status_.written;
  reported_entries_ = status_.entries;
  if (!progress_(status_)) throw TStop{"stopped"};
}

void TUnpackRun::Place(TManifestEntry entry) {
  auto [it, fresh] = placed_.emplace(entry.path, entries_.size());
  if (fresh) {
    entries_.push_back(std::move(entry));
  } else {
    entries_[it->second] = std::move(entry);
  }
}

void TUnpackRun::File(const std::string& path, archive_entry* entry) {
  const bool declared = archive_entry_size_is_set(entry) != 0;
  const int64_t declared_size = declared ? archive_entry_size(entry) : -1;
  if (declared && declared_size < 0) throw TStop{"entry '" + shown_ + "' has a negative size"};
  // What cannot fit is refused before its first byte.
  if (declared && static_cast<uint64_t>(declared_size) > limits_.max_bytes - status_.written) {
    Count(static_cast<uint64_t>(declared_size));
  }
  std::unique_ptr<TNewFile> out = journal_.BeginFile(path);
  TContentHash hash;
  uint64_t size = 0;
  static const std::vector<char> zeros(64ull * 1024, 0);
  for (;;) {
    const void* block = nullptr;
    size_t length = 0;
    la_int64_t offset = 0;
    const int r = archive_read_data_block(archive_, &block, &length, &offset);
    if (r == ARCHIVE_EOF) break;
    if (r < ARCHIVE_WARN) throw TStop{"damaged archive at entry '" + shown_ + "': " + archive_error_string(archive_)};
    if (offset < 0 || static_cast<uint64_t>(offset) < size) {
      throw TStop{"damaged archive at entry '" + shown_ + "': data out of order"};
    }
    const uint64_t end = static_cast<uint64_t>(offset) + length;
    if (declared && end > static_cast<uint64_t>(declared_size)) {
      throw TStop{"entry '" + shown_ + "' holds more bytes than its header declares (" + std::to_string(declared_size) +
                  "): refused as a decompression bomb"};
    }
    Count(end - size);
    while (size < static_cast<uint64_t>(offset)) {  // a hole of a sparse file
      const size_t n = static_cast<size_t>(std::min<uint64_t>(zeros.size(), static_cast<uint64_t>(offset) - size));
      out->Write(zeros.data(), n);
      hash.Update(zeros.data(), n);
      size += n;
    }
    out->Write(block, length);
    hash.Update(block, length);
    size += length;
    Report(false);
  }
  if (declared && size < static_cast<uint64_t>(declared_size)) {
    // Trailing holes: a sparse file that ends in zeros.
    while (size < static_cast<uint64_t>(declared_size)) {
      const size_t n =
          static_cast<size_t>(std::min<uint64_t>(zeros.size(), static_cast<uint64_t>(declared_size) - size));
      out->Write(zeros.data(), n);
      hash.Update(zeros.data(), n);
      size += n;
    }
  }
  const uint32_t mode = static_cast<uint32_t>(archive_entry_perm(entry)) & 0777;
  const int64_t mtime = archive_entry_mtime_is_set(entry) ? static_cast<int64_t>(archive_entry_mtime(entry)) : -1;
  journal_.PlaceFile(*out, mode, mtime);
  data_bytes_ += size;
  TManifestEntry record;
  record.path = path;
  record.size = size;
  record.mode = mode;
  record.hash = hash.Hex();
  Place(std::move(record));
}

void TUnpackRun::Entry(archive_entry* entry) {
  const char* raw = NameOf(entry);
  shown_ = Shown(raw);
  status_.entry = shown_;
  ++status_.entries;
  Count(kEntryCost);
  const TEntryName name = CheckEntryName(raw != nullptr ? raw : "");
  if (!name.ok) throw TStop{"entry '" + shown_ + "': " + name.reason};
  const char* hardlink = HardlinkOf(entry);
  const mode_t type = archive_entry_filetype(entry);
  if (name.path.empty()) {
    if (type == AE_IFDIR) return;  // the target folder itself
    throw TStop{"entry '" + shown_ + "': names the target folder itself"};
  }
  // A hard link with data of its own (some cpio variants) is unpacked as a
  // file with that data.
  if (hardlink != nullptr && !(archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0)) {
    const TEntryName to = CheckEntryName(hardlink);
    if (!to.ok) throw TStop{"entry '" + shown_ + "': hard link target: " + to.reason};
    auto it = placed_.find(to.path);
    if (it == placed_.end() || entries_[it->second].link) {
      throw TStop{"entry '" + shown_ + "': hard link to '" + Shown(hardlink) +
                  "', which this archive has not unpacked"};
    }
    journal_.EnsureFolders(name.path, false, folders_);
    journal_.PlaceHardLink(name.path, to.path);
    TManifestEntry record = entries_[it->second];
    record.path = name.path;
    Place(std::move(record));
    return;
  }
  switch (type) {
    case AE_IFREG:
      journal_.EnsureFolders(name.path, false, folders_);
      File(name.path, entry);
      return;
    case AE_IFDIR: {
      const size_t before = folders_.size();
      journal_.EnsureFolders(name.path, true, folders_);
      if (folders_.size() > before && folders_.back() == name.path) {
        folder_modes_.emplace_back(name.path, static_cast<uint32_t>(archive_entry_perm(entry)) & 0777);
      }
      return;
    }
    case AE_IFLNK: {
      const char* target = SymlinkOf(entry);
      const std::string reason = CheckLinkTarget(name.path, target != nullptr ? target : "");
      if (!reason.empty()) throw TStop{"entry '" + shown_ + "': " + reason};
      journal_.EnsureFolders(name.path, false, folders_);
      journal_.PlaceSymlink(name.path, target);
      TManifestEntry record;
      record.link = true;
      record.path = name.path;
      record.target = target;
      Place(std::move(record));
      return;
    }
    case AE_IFCHR:
    case AE_IFBLK:
      throw TStop{"entry '" + shown_ + "': device files are refused"};
    case AE_IFIFO:
      throw TStop{"entry '" + shown_ + "': FIFOs are refused"};
    case AE_IFSOCK:
      throw TStop{"entry '" + shown_ + "': sockets are refused"};
    default:
      throw TStop{"entry '" + shown_ + "': unknown kind of entry"};
  }
}

void TUnpackRun::Run(const std::string& file, TUnpackResult& result) {
  std::unique_ptr<archive, TArchiveCloser> reader(archive_read_new());
  archive_ = reader.get();
  if (archive_ == nullptr) throw TStop{"out of memory"};
  archive_read_support_filter_all(archive_);
  archive_read_support_format_all(archive_);
  if (archive_read_open_filename(archive_, file.c_str(), kReadBlock) != ARCHIVE_OK) {
    throw TStop{std::string("damaged archive: ") + archive_error_string(archive_)};
  }
  archive_entry* entry = nullptr;
  int r;
  while ((r = archive_read_next_header(archive_, &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
    Entry(entry);
    Report(false);
  }
  if (r != ARCHIVE_EOF) {
    const char* why = archive_error_string(archive_);
    throw TStop{std::string("damaged archive") + (status_.entries > 0 ? " after entry '" + shown_ + "'" : "") + ": " +
                (why != nullptr ? why : "unreadable")};
  }
  // Explicit folders get their modes last, so that a read-only folder did
  // not stop its own entries; the owner keeps full access for uninstall.
  for (const auto& [path, mode] : folder_modes_) {
    std::error_code code;
    std::filesystem::permissions(std::filesystem::path(journal_.Root()) / path,
                                 static_cast<std::filesystem::perms>(mode | 0700), code);
  }
  Report(true);
  result.entries = std::move(entries_);
  result.folders = std::move(folders_);
  result.bytes = data_bytes_;
}

}  // namespace

bool UnpackingAvailable() { return true; }

TUnpackResult UnpackArchive(const std::string& archive_file, TUnpackJournal& journal, const TUnpackLimits& limits,
                            const TUnpackProgress& progress) {
  TUnpackResult result;
  const size_t mark = journal.Mark();
  try {
    TUnpackRun run(journal, limits, progress);
    run.Run(archive_file, result);
    result.ok = true;
    return result;
  } catch (const TStop& stop) {
    result.stopped = stop.sentence == "stopped";
    result.error = stop.sentence;
  } catch (...) {
    result.error = DescribeCurrentException().message;
  }
  try {
    journal.UndoSince(mark);
  } catch (...) {
    // Undo is best effort here; the journal keeps what is left for RollBack.
  }
  result.entries.clear();
  result.folders.clear();
  return result;
}

}  // namespace instkit

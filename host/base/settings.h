// The process-wide settings of the library, in one object: what a host (the
// command line, an interactive installer, an embedding program, a test)
// sets once and every module reads from here.  Settings() is the one
// instance; every module that needs a setting asks it at the moment it
// needs it, so a change applies to what starts afterwards.
//
// Thread safety: every getter and setter may be called from any thread at
// any time; each setting is read and replaced as a whole (a getter returns a
// copy).  A change does not reach work already running with the old value
// (a compressor made before keeps its cap, a data file object its limit).
//
// The application manager that the library's database code uses is the one
// process-wide object not kept here: it keeps its fixed name `BaseMng`
// (host/db/application_manager.h).
//
// The settings:
//
//   MessageBoxHandler      Who answers the library's message boxes
//                          (host/platform/message_box.h): empty, the default,
//                          for the built-in answer (the text on stderr, "OK"
//                          or "No"); a host installs its dialog here, a test
//                          a recorder.  SetMessageBoxHandler returns the
//                          handler it replaces, so a caller can put it back.
//   LibrarySearchFolders   Folders searched, in order, for subsystem
//                          libraries named without a folder
//                          (host/platform/dynamic_library.h).  Empty by
//                          default: the system's own search only.
//   DefaultFormDatabase    The form store that form managers made afterwards
//                          start with (host/forms/form_manager.h); "" (the
//                          default) for none.
//   DurableWrites          Whether a committed file is synced to disk before
//                          it replaces the old one (host/platform/file.h).
//                          True by default; tools that write throw-away files
//                          at a high rate (fuzzers) turn it off.
//   FileFaultHook          For tests that inject faults: called before each
//                          write, sync and replace of an atomic file writer,
//                          and may raise the EInOutError the system would
//                          give there (host/platform/file.h).  Null by
//                          default (one load per step).  Set it only while
//                          no other thread writes files.
//   MaxDecompressedSize    The cap on the plain output of one decompression
//                          that compressors made afterwards start with
//                          (host/compress/compressor.h): kDefaultMaxDecompressedSize,
//                          1 GiB, so a small file cannot exhaust memory.
//   RecordMemoryLimit      How many bytes of records a data file object made
//                          afterwards keeps in memory at most
//                          (Didf/data_file.h): kDefaultRecordMemoryLimit,
//                          1 GiB.  Each object may change its own.
//   ArgumentCountOverride  The number of command-line arguments that
//                          ProcessArgumentCount answers instead of the
//                          process's own (host/platform/process_args.h),
//                          which picks the IDF text writer's header line;
//                          nullopt (the default) for the process's own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/base/export.h"

namespace instkit {

// Answers a message box: texts and captions are Windows-1251 bytes, style
// and answer the Windows values (host/platform/message_box.h).
using TMessageBoxHandler =
    std::function<int(uintptr_t owner, const std::string& text, const std::string& caption, uint32_t style)>;

// The steps of an atomic file writer that a fault hook sees.  kSyncFolder
// follows the replace of a durable write on POSIX systems, where the rename
// reaches the disk only with a sync of the folder (on Windows the replace
// itself writes through); a failure there leaves the new file in place and
// raises, since it may not survive a power cut.
enum class TFileStep { kWrite, kSync, kReplace, kSyncFolder };
using TFileFaultHook = void (*)(TFileStep step, const std::string& path);

constexpr uint64_t kDefaultMaxDecompressedSize = uint64_t{1} << 30;
constexpr uint64_t kDefaultRecordMemoryLimit = uint64_t{1} << 30;

class INSTKIT_API TSettings {
 public:
  TSettings(const TSettings&) = delete;
  TSettings& operator=(const TSettings&) = delete;

  TMessageBoxHandler MessageBoxHandler() const;
  TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler);

  std::vector<std::string> LibrarySearchFolders() const;
  void SetLibrarySearchFolders(std::vector<std::string> folders);

  std::string DefaultFormDatabase() const;
  void SetDefaultFormDatabase(std::string path);

  bool DurableWrites() const { return durable_writes_.load(); }
  void SetDurableWrites(bool durable) { durable_writes_.store(durable); }

  TFileFaultHook FileFaultHook() const { return file_fault_hook_.load(std::memory_order_relaxed); }
  void SetFileFaultHook(TFileFaultHook hook) { file_fault_hook_.store(hook); }

  uint64_t MaxDecompressedSize() const { return max_decompressed_size_.load(); }
  void SetMaxDecompressedSize(uint64_t bytes) { max_decompressed_size_.store(bytes); }

  uint64_t RecordMemoryLimit() const { return record_memory_limit_.load(); }
  void SetRecordMemoryLimit(uint64_t bytes) { record_memory_limit_.store(bytes); }

  // A negative count is taken as 0.
  std::optional<int32_t> ArgumentCountOverride() const;
  void SetArgumentCountOverride(std::optional<int32_t> count);

 private:
  friend INSTKIT_API TSettings& Settings();
  TSettings() = default;

  mutable std::mutex mutex_;  // guards the settings that are not atomic
  TMessageBoxHandler message_box_handler_;
  std::vector<std::string> library_search_folders_;
  std::string default_form_database_;
  std::atomic<bool> durable_writes_{true};
  std::atomic<TFileFaultHook> file_fault_hook_{nullptr};
  std::atomic<uint64_t> max_decompressed_size_{kDefaultMaxDecompressedSize};
  std::atomic<uint64_t> record_memory_limit_{kDefaultRecordMemoryLimit};
  static constexpr int32_t kNoOverride = -1;
  std::atomic<int32_t> argument_count_override_{kNoOverride};
};

// The one instance, made on first use.
INSTKIT_API TSettings& Settings();

}  // namespace instkit

// Files, through the platform layer.  Every failure raises EInOutError whose
// message names the file and the system's reason.
//
// Writes are atomic: TAtomicFileWriter writes a temporary file in the
// target's folder and renames it over the target only in Commit(), so a
// failed or interrupted write never destroys the previous file.  A writer
// killed before its commit leaves its temporary behind; the next successful
// commit to the same target removes those of writers that are gone
// (host/platform/<os>/file_<os>.cpp says how it tells).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/base/export.h"
#include "host/base/settings.h"

namespace instkit {

INSTKIT_API bool FileExists(const std::string& path);
INSTKIT_API bool DeleteFileAt(const std::string& path);
// The folder part of a path ("" for a bare name).
INSTKIT_API std::string DirectoryOf(const std::string& path);
INSTKIT_API bool IsAbsolutePath(const std::string& path);

// A file open for reading, buffered: bytes come from a 256 KiB buffer, never
// one system call per byte.  The buffering lives in host/platform/file.cpp;
// opening, reading a block and closing are the OS layer's
// (host/platform/<os>/file_<os>.cpp).
class INSTKIT_API TInputFile {
 public:
  static constexpr size_t kBufferSize = size_t{256} * 1024;

  // Raises EInOutError when the file cannot be opened.
  explicit TInputFile(const std::string& path);
  ~TInputFile();
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  // Next byte, or -1 at the end of the file.  Raises on a read error.
  int ReadByte() {
    if (pos_ < end_) return static_cast<unsigned char>(buffer_[pos_++]);
    return Refill() ? static_cast<unsigned char>(buffer_[pos_++]) : -1;
  }
  // Moves back by one byte; valid right after a ReadByte that returned a byte.
  void UnreadByte() { --pos_; }
  // Appends to `out` the bytes up to the next `delimiter` and consumes them and
  // the delimiter.  Returns 1 when the delimiter was found, 0 when the end of
  // the file came first, and -1 when nothing at all was left to read.
  int ReadUntil(char delimiter, std::string& out);
  // Up to n bytes; returns the count read (0 at the end).
  size_t Read(void* dst, size_t n);
  // The whole rest of the file.
  std::string ReadAll();
  int64_t Size() const;
  const std::string& Path() const { return path_; }

 private:
  bool Refill();

  std::string path_;
  intptr_t handle_;
  std::unique_ptr<char[]> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

class INSTKIT_API TAtomicFileWriter {
 public:
  static constexpr size_t kBufferSize = size_t{256} * 1024;

  // Creates the temporary file beside `path`; raises EInOutError on failure.
  explicit TAtomicFileWriter(const std::string& path);
  // Discards the temporary file unless Commit() succeeded.
  ~TAtomicFileWriter();
  TAtomicFileWriter(const TAtomicFileWriter&) = delete;
  TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

  void Write(const void* data, size_t n);
  void Write(std::string_view data) { Write(data.data(), data.size()); }
  // Flushes, syncs and renames the temporary file over the target, and
  // syncs the folder (see TFileStep).
  void Commit();
  const std::string& Path() const { return path_; }

 private:
  void Flush();

  std::string path_;
  std::string temp_path_;
  intptr_t handle_;
  std::string buffer_;
  bool committed_ = false;
};

// Commit() syncs the file to disk before the rename unless
// Settings().DurableWrites() is off, and every write, sync and replace of
// the temporary file first calls Settings().FileFaultHook() when one is set
// (fault injection for tests; host/base/settings.h).
// Calls the fault hook, if any (for the OS layer's writers).
INSTKIT_API void CheckFileFault(TFileStep step, const std::string& path);

// Whole-file helpers.
INSTKIT_API std::string ReadWholeFile(const std::string& path);
INSTKIT_API void WriteWholeFileAtomically(const std::string& path, std::string_view data);

}  // namespace instkit

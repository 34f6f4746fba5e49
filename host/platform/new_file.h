// A new file written once from its first byte to its last, for unpacking
// archives (Media/unpacker.h): created exclusively under its final or
// temporary name, written, given its mode and modification time, closed.
//
// - Creation never follows or reuses what is there: an existing file, folder
//   or symbolic link of that name is a failure, so a link planted under the
//   name cannot redirect the write.
// - Every failure raises EInOutError naming the file and the system's reason
//   (a full disk says so).  Write calls the file fault hook
//   (host/platform/file.h) with TFileStep::kWrite first, so tests can fail
//   the Nth write the way a full disk would.
// - No sync: a file that must survive a power loss is not written here.
// - A TNewFile destroyed before Finish removes what it wrote.
#pragma once

#include <cstdint>
#include <string>

namespace instkit {

class TNewFile {
 public:
  // Creates `path` readable and writable by its owner only, until Finish.
  explicit TNewFile(const std::string& path);
  ~TNewFile();
  TNewFile(const TNewFile&) = delete;
  TNewFile& operator=(const TNewFile&) = delete;

  void Write(const void* data, size_t size);
  // Gives the file its permission bits (POSIX `mode & 0777`; on Windows a
  // mode without the owner's write bit makes the file read-only) and, when
  // `mtime` is not negative, its modification time in seconds since 1970,
  // then closes it.
  void Finish(uint32_t mode, int64_t mtime);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  intptr_t handle_;
  bool finished_ = false;
};

}  // namespace instkit

// A file as a stream, in one of two modes:
// - OpenRead: reads an existing file through the buffered TInputFile.  Its
//   size is taken when it is opened.  (POSIX has no share modes, so other
//   processes are not kept from writing meanwhile.)
// - CreateAtomic: writes a new file through TAtomicFileWriter.  The target
//   is created when missing and replaced only by Commit(); a stream destroyed
//   without Commit() leaves the previous file as it was.
// Opening failures raise EInOutError naming the file; reading a write stream
// or writing a read stream raises EStreamError.
#pragma once

#include <memory>
#include <string>

#include "host/stream.h"

namespace instkit {

class TInputFile;
class TAtomicFileWriter;

enum class TFileStreamMode { OpenRead, CreateAtomic };

class TFileStream : public TStream {
 public:
  TFileStream(const std::string& path, TFileStreamMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  size_t Read(void* dst, size_t n) override;
  void Write(const void* src, size_t n) override;
  int64_t Position() const override { return position_; }
  int64_t Size() const override { return size_; }
  std::string Describe() const override { return "file '" + path_ + "'"; }

  // Write mode: makes the written bytes the file's content.  Raises on
  // failure (the old file then stays).
  void Commit();

 private:
  std::string path_;
  std::unique_ptr<TInputFile> input_;
  std::unique_ptr<TAtomicFileWriter> output_;
  int64_t position_ = 0;
  int64_t size_ = 0;
};

}  // namespace instkit

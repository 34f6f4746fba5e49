// File streams over the buffered platform files of host/platform/file.h.
//
// TFileReadStream reads a file from its start to its end; TFileWriteStream
// writes a new file through TAtomicFileWriter, so the target is replaced only
// by Commit() and a failed or abandoned write leaves the previous file intact.
// Both are sequential: SetPosition accepts only the current position.
//
// POSIX has no share modes; "others may read but not write meanwhile" is not
// enforced there.
#pragma once

#include <string>

#include "host/platform/file.h"
#include "host/base/stream.h"

namespace instkit {

class TFileReadStream final : public TStream {
 public:
  // Raises EInOutError when the file cannot be opened.
  explicit TFileReadStream(const std::string& path) : file_(path) {}

  size_t Read(void* dst, size_t n) override;
  // Raises EInOutError: the stream is read-only.
  void Write(const void* src, size_t n) override;
  int64_t GetPosition() const override { return pos_; }
  void SetPosition(int64_t position) override;
  int64_t GetSize() const override { return file_.Size(); }

 private:
  TInputFile file_;
  int64_t pos_ = 0;
};

class TFileWriteStream final : public TStream {
 public:
  // Creates the temporary file beside `path`; raises EInOutError on failure.
  explicit TFileWriteStream(const std::string& path) : writer_(path) {}

  // Raises EInOutError: the stream is write-only.
  size_t Read(void* dst, size_t n) override;
  void Write(const void* src, size_t n) override {
    writer_.Write(src, n);
    pos_ += static_cast<int64_t>(n);
  }
  int64_t GetPosition() const override { return pos_; }
  void SetPosition(int64_t position) override;
  int64_t GetSize() const override { return pos_; }

  // Makes the written bytes the content of the target file.
  void Commit() { writer_.Commit(); }

 private:
  TAtomicFileWriter writer_;
  int64_t pos_ = 0;
};

}  // namespace instkit

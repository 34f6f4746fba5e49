#include "host/file_stream.h"

#include "host/file.h"

namespace instkit {

TFileStream::TFileStream(const std::string& path, TFileStreamMode mode) : path_(path) {
  if (mode == TFileStreamMode::OpenRead) {
    input_ = std::make_unique<TInputFile>(path);
    size_ = input_->Size();
  } else {
    output_ = std::make_unique<TAtomicFileWriter>(path);
  }
}

TFileStream::~TFileStream() = default;

size_t TFileStream::Read(void* dst, size_t n) {
  if (!input_) throw EStreamError(Describe() + " is open for writing only");
  const size_t got = input_->Read(dst, n);
  position_ += static_cast<int64_t>(got);
  // A file that grew after it was opened still reads to its real end.
  if (position_ > size_) size_ = position_;
  return got;
}

void TFileStream::Write(const void* src, size_t n) {
  if (!output_) throw EStreamError(Describe() + " is open for reading only");
  output_->Write(src, n);
  position_ += static_cast<int64_t>(n);
  size_ = position_;
}

void TFileStream::Commit() {
  if (!output_) throw EStreamError(Describe() + " is open for reading only");
  output_->Commit();
}

}  // namespace instkit

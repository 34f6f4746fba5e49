#include "host/compress/compressor.h"

#include <zstd.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/settings.h"
#include "host/compress/read_ahead_decoder.h"

namespace instkit {

namespace {

// The most memory reserved up front for a frame's declared plain size.
constexpr unsigned long long kMaxSizeHint = 64ull << 20;

[[noreturn]] void Fail(const std::string& message) { throw Exception("ECompressorError", message); }

void Check(size_t code, const char* what) {
  if (ZSTD_isError(code)) Fail(Format("%s: %s", what, ZSTD_getErrorName(code)));
}

struct CCtxDeleter {
  void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};
struct DCtxDeleter {
  void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

}  // namespace

struct TCompressor::Encoder {
  std::unique_ptr<ZSTD_CCtx, CCtxDeleter> cctx;
  std::vector<char> out;
};

TCompressor::TCompressor() : max_output_(Settings().MaxDecompressedSize()) {}
TCompressor::~TCompressor() = default;


void TCompressor::CheckStreams() const {
  if (source_ == nullptr || destination_ == nullptr) Fail("Source or destination stream not set");
}

void TCompressor::BeginCompress(int64_t plain_size) {
  if (destination_ == nullptr) Fail("Destination stream not set");
  encoder_ = std::make_unique<Encoder>();
  encoder_->cctx.reset(ZSTD_createCCtx());
  if (!encoder_->cctx) Fail("Cannot create compression context");
  ZSTD_CCtx* cctx = encoder_->cctx.get();
  Check(ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, level_), "Invalid compression level");
  Check(ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, checksum_ ? 1 : 0), "Cannot set checksum");
  Check(ZSTD_CCtx_setParameter(cctx, ZSTD_c_minMatch, min_match_), "Invalid minimum match length");
  if (workers_ > 0) {
    // A library without thread support refuses; compression then stays on
    // the caller's thread.
    (void)ZSTD_CCtx_setParameter(cctx, ZSTD_c_nbWorkers, workers_);
  }
  // A frame that records its plain size lets a reader reject an oversized
  // frame before decoding it, and reserve memory for it.
  if (plain_size >= 0) {
    Check(ZSTD_CCtx_setPledgedSrcSize(cctx, static_cast<unsigned long long>(plain_size)), "Cannot set source size");
  }
  encoder_->out.resize(ZSTD_CStreamOutSize());
}

void TCompressor::Pump(const void* data, size_t n, bool last) {
  if (!encoder_) Fail("Compression not begun");
  ZSTD_inBuffer input{data, n, 0};
  const ZSTD_EndDirective mode = last ? ZSTD_e_end : ZSTD_e_continue;
  for (;;) {
    ZSTD_outBuffer output{encoder_->out.data(), encoder_->out.size(), 0};
    const size_t left = ZSTD_compressStream2(encoder_->cctx.get(), &output, &input, mode);
    Check(left, "Compression failed");
    if (output.pos > 0) destination_->Write(encoder_->out.data(), output.pos);
    if (last ? left == 0 : input.pos == input.size) return;
  }
}

void TCompressor::CompressMore(const void* data, size_t n) { Pump(data, n, false); }

void TCompressor::EndCompress() {
  Pump(nullptr, 0, true);
  encoder_.reset();
}

void TCompressor::Compress() {
  CheckStreams();
  BeginCompress(source_->GetSize() - source_->GetPosition());
  std::vector<char> in(ZSTD_CStreamInSize());
  for (size_t n = source_->Read(in.data(), in.size()); n > 0; n = source_->Read(in.data(), in.size())) {
    CompressMore(in.data(), n);
  }
  EndCompress();
}

struct TCompressor::Decoder {
  std::unique_ptr<ZSTD_DCtx, DCtxDeleter> dctx;
  std::vector<char> in;
  std::vector<char> out;
  size_t in_pos = 0;
  size_t in_size = 0;
  bool source_done = false;
  bool finished = false;
  size_t pending = 0;  // 0 when the last frame ended exactly
  uint64_t total = 0;
  uint64_t read = 0;
  int64_t declared = -1;
  bool header_checked = false;
};

void TCompressor::BeginDecompress() {
  if (!read_ahead_) {
    BeginPlainDecompress();
    return;
  }
  CheckStreams();
  ahead_.reset();
  decoder_.reset();
  ahead_ = std::make_unique<TReadAheadDecoder>(*source_, max_output_);
}

void TCompressor::BeginPlainDecompress() {
  CheckStreams();
  ahead_.reset();
  decoder_ = std::make_unique<Decoder>();
  decoder_->dctx.reset(ZSTD_createDCtx());
  if (!decoder_->dctx) Fail("Cannot create decompression context");
  decoder_->in.resize(ZSTD_DStreamInSize());
  decoder_->out.resize(ZSTD_DStreamOutSize());
}

bool TCompressor::DecompressFinished() const {
  if (ahead_) return ahead_->Finished();
  return !decoder_ || decoder_->finished;
}
int64_t TCompressor::DeclaredPlainSize() const {
  if (ahead_) return ahead_->DeclaredPlainSize();
  return decoder_ ? decoder_->declared : -1;
}
uint64_t TCompressor::SourceBytesRead() const {
  if (ahead_) return ahead_->SourceBytesRead();
  return decoder_ ? decoder_->read : 0;
}

size_t TCompressor::DecompressMore(size_t bytes) {
  if (ahead_) {
    if (destination_ == nullptr) Fail("Source or destination stream not set");
    return ahead_->More(*destination_, bytes);
  }
  if (!decoder_) Fail("Decompression not begun");
  Decoder& d = *decoder_;
  const std::string too_large =
      Format("Decompressed data exceed the limit of %llu bytes", static_cast<unsigned long long>(max_output_));
  size_t written = 0;
  while (!d.finished && written < bytes) {
    if (d.in_pos == d.in_size && !d.source_done) {
      d.in_size = source_->Read(d.in.data(), d.in.size());
      d.in_pos = 0;
      d.read += d.in_size;
      if (d.in_size == 0) d.source_done = true;
      if (!d.header_checked && d.in_size > 0) {
        d.header_checked = true;
        const unsigned long long size = ZSTD_getFrameContentSize(d.in.data(), d.in_size);
        if (size != ZSTD_CONTENTSIZE_UNKNOWN && size != ZSTD_CONTENTSIZE_ERROR) {
          if (size > max_output_) Fail(too_large);
          d.declared = static_cast<int64_t>(size);
        }
      }
    }
    if (d.source_done && d.pending == 0) {
      d.finished = true;
      break;
    }
    ZSTD_inBuffer input{d.in.data(), d.in_size, d.in_pos};
    ZSTD_outBuffer output{d.out.data(), d.out.size(), 0};
    d.pending = ZSTD_decompressStream(d.dctx.get(), &output, &input);
    if (ZSTD_isError(d.pending)) Fail(Format("Compressed data are damaged: %s", ZSTD_getErrorName(d.pending)));
    d.in_pos = input.pos;
    d.total += output.pos;
    if (d.total > max_output_) Fail(too_large);
    if (output.pos > 0) destination_->Write(d.out.data(), output.pos);
    written += output.pos;
    // The source is spent and the decoder has nothing more to give: either
    // the frames ended, or the input stops inside one (EndDecompress says).
    if (d.source_done && output.pos == 0) d.finished = true;
  }
  return written;
}

void TCompressor::EndDecompress() {
  if (ahead_) {
    const std::unique_ptr<TReadAheadDecoder> ahead = std::move(ahead_);
    ahead->End();
    return;
  }
  const bool cut = decoder_ && decoder_->pending != 0;
  decoder_.reset();
  if (cut) Fail("Compressed data end in the middle of a frame");
}

void TCompressor::Decompress() {
  BeginPlainDecompress();
  if (decoder_) {
    // Reserve for the declared size (bounded: the size is only a claim).
    DecompressMore(1);
    if (decoder_->declared > 0) {
      destination_->SizeHint(std::min<int64_t>(decoder_->declared, static_cast<int64_t>(kMaxSizeHint)));
    }
  }
  while (!DecompressFinished()) DecompressMore(SIZE_MAX);
  EndDecompress();
}

void TCompressor::DecompressPrefix(uint64_t bytes) {
  // Decompress into a window and pass on only the first `bytes`.
  TStream* const destination = destination_;
  class Prefix final : public TStream {
   public:
    Prefix(TStream& out, uint64_t left) : out_(out), left_(left) {}
    size_t Read(void*, size_t) override { return 0; }
    void Write(const void* src, size_t n) override {
      const size_t take = static_cast<size_t>(std::min<uint64_t>(n, left_));
      if (take > 0) out_.Write(src, take);
      left_ -= take;
    }
    int64_t GetPosition() const override { return 0; }
    void SetPosition(int64_t) override {}
    int64_t GetSize() const override { return 0; }
    uint64_t Left() const { return left_; }

   private:
    TStream& out_;
    uint64_t left_;
  } prefix(*destination, bytes);
  destination_ = &prefix;
  try {
    BeginPlainDecompress();
    while (!DecompressFinished() && prefix.Left() > 0) DecompressMore(static_cast<size_t>(prefix.Left()));
  } catch (...) {
    destination_ = destination;
    decoder_.reset();
    throw;
  }
  destination_ = destination;
  decoder_.reset();
}

}  // namespace instkit

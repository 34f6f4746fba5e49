#include "host/compressor.h"

#include <zstd.h>

#include <atomic>
#include <vector>

#include "host/exception.h"
#include "host/format.h"

namespace instkit {

namespace {

std::atomic<uint64_t> g_default_max_output{TCompressor::kDefaultMaxOutputSize};

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

TCompressor::TCompressor() : max_output_(g_default_max_output.load()) {}
TCompressor::~TCompressor() = default;

void TCompressor::SetDefaultMaxOutputSize(uint64_t bytes) { g_default_max_output.store(bytes); }
uint64_t TCompressor::GetDefaultMaxOutputSize() { return g_default_max_output.load(); }

void TCompressor::CheckStreams() const {
  if (source_ == nullptr || destination_ == nullptr) Fail("Source or destination stream not set");
}

void TCompressor::Compress() {
  CheckStreams();
  std::unique_ptr<ZSTD_CCtx, CCtxDeleter> cctx(ZSTD_createCCtx());
  if (!cctx) Fail("Cannot create compression context");
  Check(ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, level_), "Invalid compression level");
  Check(ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, checksum_ ? 1 : 0), "Cannot set checksum");
  // The frame records the plain size, which lets a reader reject an
  // oversized frame before decoding it.
  const int64_t remaining = source_->GetSize() - source_->GetPosition();
  if (remaining >= 0) {
    Check(ZSTD_CCtx_setPledgedSrcSize(cctx.get(), static_cast<unsigned long long>(remaining)),
          "Cannot set source size");
  }

  std::vector<char> in(ZSTD_CStreamInSize());
  std::vector<char> out(ZSTD_CStreamOutSize());
  for (;;) {
    const size_t n = source_->Read(in.data(), in.size());
    const ZSTD_EndDirective mode = n == 0 ? ZSTD_e_end : ZSTD_e_continue;
    ZSTD_inBuffer input{in.data(), n, 0};
    bool finished = false;
    while (!finished) {
      ZSTD_outBuffer output{out.data(), out.size(), 0};
      const size_t left = ZSTD_compressStream2(cctx.get(), &output, &input, mode);
      Check(left, "Compression failed");
      if (output.pos > 0) destination_->Write(out.data(), output.pos);
      finished = mode == ZSTD_e_end ? left == 0 : input.pos == input.size;
    }
    if (mode == ZSTD_e_end) return;
  }
}

void TCompressor::Decompress() { Run(max_output_, false); }

void TCompressor::DecompressPrefix(uint64_t bytes) { Run(bytes, true); }

void TCompressor::Run(uint64_t limit, bool stop_quietly) {
  CheckStreams();
  std::unique_ptr<ZSTD_DCtx, DCtxDeleter> dctx(ZSTD_createDCtx());
  if (!dctx) Fail("Cannot create decompression context");

  std::vector<char> in(ZSTD_DStreamInSize());
  std::vector<char> out(ZSTD_DStreamOutSize());
  uint64_t total = 0;
  size_t pending = 0;  // 0 when the last frame ended exactly
  bool header_checked = false;
  const std::string too_large =
      Format("Decompressed data exceed the limit of %llu bytes", static_cast<unsigned long long>(limit));

  // Passes output on; false once the limit is reached in quiet mode.
  auto emit = [&](const ZSTD_outBuffer& output) {
    if (total + output.pos > limit) {
      if (!stop_quietly) Fail(too_large);
      destination_->Write(out.data(), static_cast<size_t>(limit - total));
      total = limit;
      return false;
    }
    total += output.pos;
    if (output.pos > 0) destination_->Write(out.data(), output.pos);
    return true;
  };

  for (;;) {
    const size_t n = source_->Read(in.data(), in.size());
    if (n == 0) break;
    if (!header_checked) {
      header_checked = true;
      const unsigned long long declared = ZSTD_getFrameContentSize(in.data(), n);
      if (!stop_quietly && declared != ZSTD_CONTENTSIZE_UNKNOWN && declared != ZSTD_CONTENTSIZE_ERROR &&
          declared > limit) {
        Fail(too_large);
      }
    }
    ZSTD_inBuffer input{in.data(), n, 0};
    while (input.pos < input.size) {
      ZSTD_outBuffer output{out.data(), out.size(), 0};
      pending = ZSTD_decompressStream(dctx.get(), &output, &input);
      if (ZSTD_isError(pending)) Fail(Format("Compressed data are damaged: %s", ZSTD_getErrorName(pending)));
      if (!emit(output)) return;
    }
  }
  // The decoder may hold output that did not fit the last buffer.
  while (pending != 0) {
    ZSTD_inBuffer input{nullptr, 0, 0};
    ZSTD_outBuffer output{out.data(), out.size(), 0};
    pending = ZSTD_decompressStream(dctx.get(), &output, &input);
    if (ZSTD_isError(pending)) Fail(Format("Compressed data are damaged: %s", ZSTD_getErrorName(pending)));
    if (!emit(output)) return;
    if (output.pos == 0) break;
  }
  if (pending != 0) Fail("Compressed data end in the middle of a frame");
}

}  // namespace instkit

// TCompressor: round trips, damage detection, the output cap, prefixes and
// reading ahead.
#include "host/compress/compressor.h"

#include <gtest/gtest.h>

#include <random>

#include "host/base/exception.h"
#include "host/base/memory_stream.h"

namespace instkit {
namespace {

// Compresses `plain` from `start` on: compression starts at the source's position.
std::string Compress(const std::string& plain, bool checksum, int64_t start = 0) {
  TMemoryStream source(plain);
  source.SetPosition(start);
  TMemoryStream destination;
  TCompressor compressor;
  compressor.SetChecksum(checksum);
  compressor.SetSource(&source);
  compressor.SetDestination(&destination);
  compressor.Compress();
  return destination.Data();
}

std::string Decompress(const std::string& packed, uint64_t cap = TCompressor::kDefaultMaxOutputSize) {
  TMemoryStream source(packed);
  TMemoryStream destination;
  TCompressor compressor;
  compressor.SetMaxOutputSize(cap);
  compressor.SetSource(&source);
  compressor.SetDestination(&destination);
  compressor.Decompress();
  return destination.Data();
}

std::string Noise(size_t n) {
  std::mt19937 random(42);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random() % 7);  // compressible, not trivially
  return s;
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.ClassName() + ": " + e.Message();
  }
  return "";
}

TEST(Compressor, RoundTripsAtAnySize) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{131072}, size_t{131073}, size_t{3} << 20}) {
    const std::string plain = Noise(size);
    for (bool checksum : {false, true}) {
      EXPECT_EQ(Decompress(Compress(plain, checksum)), plain) << size << " " << checksum;
    }
  }
  EXPECT_EQ(Decompress(Compress("skipTHE REST", false, 4)), "THE REST");
}

// Incremental decompression as a windowed reader does it: small requests,
// then EndDecompress.  Gives the bytes and the first failure, if any.
std::pair<std::string, std::string> ReadIncrementally(const std::string& packed, bool read_ahead,
                                                      uint64_t cap = TCompressor::kDefaultMaxOutputSize) {
  TMemoryStream source(packed);
  TMemoryStream out;
  TCompressor compressor;
  compressor.SetReadAhead(read_ahead);
  compressor.SetMaxOutputSize(cap);
  compressor.SetSource(&source);
  compressor.SetDestination(&out);
  const std::string failure = ErrorOf([&] {
    compressor.BeginDecompress();
    while (!compressor.DecompressFinished()) compressor.DecompressMore(10000);
    compressor.EndDecompress();
  });
  return {out.Data(), failure};
}

// A frame compressed from a stream of unknown size declares no content size.
std::string CompressUnsized(const std::string& plain) {
  class Unsized final : public TStream {
   public:
    explicit Unsized(const std::string& data) : inner_(data) {}
    size_t Read(void* dst, size_t n) override { return inner_.Read(dst, n); }
    void Write(const void*, size_t) override {}
    int64_t GetPosition() const override { return 0; }
    void SetPosition(int64_t) override {}
    int64_t GetSize() const override { return -1; }

   private:
    TMemoryStream inner_;
  } source(plain);
  TMemoryStream packed;
  TCompressor compressor;
  compressor.SetSource(&source);
  compressor.SetDestination(&packed);
  compressor.Compress();
  return packed.Data();
}

// Damage, truncation, foreign input and the output cap, through the whole
// decoder and the incremental one with and without reading ahead.
TEST(Compressor, EveryDecoderRefusesTheSameInputsTheSameWay) {
  const std::string plain = Noise(3 << 20);
  const std::string packed = Compress(plain, true);
  std::string damaged = packed;
  damaged[damaged.size() - 2] ^= 0x10;   // the last four bytes are the checksum, which the blocks do not check
  const std::string flat(5 << 20, 'a');  // compresses to a few hundred bytes
  const std::string cap = "ECompressorError: Decompressed data exceed the limit of 1048576 bytes";
  const struct {
    const char* what;
    std::string packed;
    uint64_t cap;
    std::string error;  // what the failure starts with; empty: none
  } cases[] = {
      {"whole", packed, TCompressor::kDefaultMaxOutputSize, ""},
      {"empty", "", TCompressor::kDefaultMaxOutputSize, ""},
      {"damaged checksum", damaged, TCompressor::kDefaultMaxOutputSize,
       "ECompressorError: Compressed data are damaged: "},
      {"cut short", packed.substr(0, packed.size() / 2), TCompressor::kDefaultMaxOutputSize,
       "ECompressorError: Compressed data end in the middle of a frame"},
      {"not compressed", "IDF-DS\r\n\r\n", TCompressor::kDefaultMaxOutputSize,
       "ECompressorError: Compressed data are damaged"},
      {"junk after the frame", packed + "junk", TCompressor::kDefaultMaxOutputSize, "ECompressorError: "},
      {"over the cap", packed, 1 << 20, cap},
      {"small frame over the cap", Compress(flat, true), 1 << 20, cap},
      {"frame without its size over the cap", CompressUnsized(flat), 1 << 20, cap},
      {"exactly the cap", Compress(flat, true), flat.size(), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string whole = ErrorOf([&] { Decompress(c.packed, c.cap); });
    EXPECT_EQ(whole.substr(0, c.error.size()), c.error) << whole;
    EXPECT_EQ(whole.empty(), c.error.empty()) << whole;
    const auto plain_reader = ReadIncrementally(c.packed, false, c.cap);
    const auto ahead_reader = ReadIncrementally(c.packed, true, c.cap);
    EXPECT_EQ(plain_reader.second, whole);
    EXPECT_EQ(ahead_reader.second, whole);
    // Both pass on everything decoded before a failure; the read-ahead
    // decoder in whole pieces, so it may have passed on less.
    EXPECT_TRUE(plain_reader.first.starts_with(ahead_reader.first));
    if (whole.empty()) {
      EXPECT_TRUE(ahead_reader.first == plain_reader.first);
    }
  }
  EXPECT_TRUE(ReadIncrementally(packed, true).first == plain);

  // A reader that stops early leaves no worker behind.
  TMemoryStream source(packed);
  TMemoryStream out;
  TCompressor abandoned;
  abandoned.SetReadAhead(true);
  abandoned.SetSource(&source);
  abandoned.SetDestination(&out);
  abandoned.BeginDecompress();
  abandoned.DecompressMore(1);
  EXPECT_GE(out.GetSize(), 1);
}

TEST(Compressor, PrefixStopsQuietly) {
  const std::string plain = Noise(1 << 20);
  TMemoryStream source(Compress(plain, true));
  TMemoryStream head;
  TCompressor compressor;
  compressor.SetSource(&source);
  compressor.SetDestination(&head);
  compressor.DecompressPrefix(1000);
  EXPECT_EQ(head.Data(), plain.substr(0, 1000));
}

}  // namespace
}  // namespace instkit

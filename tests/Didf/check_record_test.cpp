// The check record at the end of a data file: skipped by decompressors, and
// telling damage without decompressing.
#include "Didf/check_record.h"

#include <gtest/gtest.h>

#include "Didf/data_file.h"
#include "host/base/exception.h"
#include "host/base/memory_stream.h"
#include "host/compress/compressor.h"

namespace instkit {
namespace {

TEST(CheckRecord, TellsDamageWithoutDecompressing) {
  std::string plain(300000, '\0');
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>(i * 7919 % 251 % 7);
  TMemoryStream source(plain);
  TMemoryStream packed;
  TIDFDataFile::CompressStream(source, packed);
  const std::string sound = packed.Data();
  TMemoryStream in(sound);
  TMemoryStream out;
  TIDFDataFile::DecompressStream(in, out);
  EXPECT_EQ(out.Data(), plain);

  const auto verdict = [](const std::string& bytes, uint64_t cap = TCompressor::kDefaultMaxOutputSize) {
    TMemoryStream file(bytes);
    try {
      return std::string(VerifyCheckRecord(file, cap) ? "checked" : "no record");
    } catch (const Exception& e) {
      return e.ClassName() + ": " + e.Message();
    }
  };
  std::string flipped = sound;
  flipped[sound.size() / 3] ^= 0x04;
  EXPECT_EQ(verdict(sound), "checked");
  EXPECT_EQ(verdict(flipped), "ECompressorError: Compressed data are damaged: the check record does not match");
  EXPECT_EQ(verdict(sound.substr(0, sound.size() - 24)), "no record");
  EXPECT_EQ(verdict(sound.substr(0, 10)), "no record");
  EXPECT_EQ(verdict(sound, plain.size() - 1),
            "ECompressorError: Decompressed data exceed the limit of " + std::to_string(plain.size() - 1) + " bytes");
}

}  // namespace
}  // namespace instkit

// The check record at the end of a data file: written by CompressStream (the
// same bytes as before it lived beside the data files), skipped by
// decompressors, and telling damage without decompressing.
#include "Didf/check_record.h"

#include <gtest/gtest.h>

#include <random>

#include "Didf/data_file.h"
#include "host/base/exception.h"
#include "host/base/memory_stream.h"
#include "host/compress/compressor.h"

namespace instkit {
namespace {

std::string Verdict(const std::string& bytes, uint64_t cap = TCompressor::kDefaultMaxOutputSize) {
  TMemoryStream in(bytes);
  try {
    return VerifyCheckRecord(in, cap) ? "checked" : "no record";
  } catch (const Exception& e) {
    return e.ClassName() + ": " + e.Message();
  }
}

TEST(CheckRecord, TellsDamageWithoutDecompressing) {
  std::mt19937 random(42);
  std::string plain(300000, '\0');
  for (char& c : plain) c = static_cast<char>(random() % 7);
  TMemoryStream source(plain);
  TMemoryStream packed;
  TIDFDataFile::CompressStream(source, packed);
  const std::string sound = packed.Data();

  // Decompressors skip the record.
  TMemoryStream in(sound);
  TMemoryStream out;
  TIDFDataFile::DecompressStream(in, out);
  EXPECT_EQ(out.Data(), plain);

  std::string flipped = sound;
  flipped[sound.size() / 3] ^= 0x04;
  EXPECT_EQ(Verdict(sound), "checked");
  EXPECT_EQ(Verdict(flipped), "ECompressorError: Compressed data are damaged: the check record does not match");
  EXPECT_EQ(Verdict(sound.substr(0, sound.size() - 24)), "no record");
  EXPECT_EQ(Verdict(sound.substr(0, 10)), "no record");
  EXPECT_EQ(Verdict(sound, plain.size() - 1),
            "ECompressorError: Decompressed data exceed the limit of " + std::to_string(plain.size() - 1) + " bytes");
}

}  // namespace
}  // namespace instkit

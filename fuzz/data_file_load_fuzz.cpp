// LoadFromFile on arbitrary input as the compressed file.  When the first
// byte is odd, the rest is first compressed as a plain image, so that the
// loader's parsing is reached through the whole file path as well; otherwise
// the bytes are the file as they are.  The decompression cap is lowered so
// that a small input cannot exhaust memory through a legitimately huge frame,
// and so is the memory the loaded records may take.
#include <cstdint>
#include <cstdio>
#include <string>

#include "Didf/data_file.h"
#include "fuzz_support.h"
#include "host/base/settings.h"
#include "host/compress/compressor.h"
#include "host/base/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace instkit;
  Settings().SetMaxDecompressedSize(32u << 20);
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size > 0 && (data[0] & 1) != 0) {
    TMemoryStream plain(bytes.substr(1));
    TMemoryStream packed;
    TIDFDataFile::CompressStream(plain, packed);
    bytes = packed.Data();
  }
  static const std::string path = fuzz::ScratchPath(".load.idf");
  fuzz::WriteScratch(path, bytes);
  TIDFDataFile file;
  file.FileName = path;
  file.RecordMemoryLimit = 64u << 20;  // tiny records in a small frame
  file.LoadFromFile();
  for (int32_t i = 0; i < file.GetRecordCount() && i < 64; ++i) file.SetRecordIndex(i);
  file.GetFieldsString();
  return 0;
}

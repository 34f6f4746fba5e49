// Loads arbitrary bytes as an IDF text file, then saves and reloads what was
// read: no crash, leak or sanitizer report, and a save of a loaded file must
// load again.  The same bytes decoded as a description: what was read as
// UTF-8 converts back to exactly the input (less a byte-order mark).
#include <cstdint>
#include <cstdio>
#include <string>

#include "Tidf/description_encoding.h"
#include "fuzz_support.h"
#include "Tidf/idf_text_file.h"
#include "host/base/codepage.h"
#include "host/base/settings.h"
#include "host/platform/file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string in = instkit::fuzz::ScratchPath(".in.idf");
  static const std::string out = instkit::fuzz::ScratchPath(".out.idf");
  static const bool once = (instkit::Settings().SetDurableWrites(false), true);
  (void)once;
  const std::string input(reinterpret_cast<const char*>(data), size);
  instkit::WriteWholeFileAtomically(in, input);
  std::string text;
  instkit::TDescriptionFormat format;
  if (instkit::DecodeDescription(input, text, format, nullptr) && !format.lf_line_ends) {
    if (format.encoding == instkit::TTextEncoding::kUtf8 && instkit::Cp1251ToUtf8(text) != input) __builtin_trap();
    if (format.encoding == instkit::TTextEncoding::kUtf8WithBom && instkit::Cp1251ToUtf8(text) != input.substr(3)) {
      __builtin_trap();
    }
  }
  instkit::TIDFTextFile file;
  if (file.LoadFromFile(in)) {
    if (file.SaveToFile(out)) {
      instkit::TIDFTextFile again;
      if (!again.LoadFromFile(out)) __builtin_trap();
    }
  }
  return 0;
}

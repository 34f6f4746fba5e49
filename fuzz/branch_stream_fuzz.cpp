// Feeds arbitrary bytes to the branch stream reader.  Anything it accepts
// must write back as exactly the bytes it consumed (the format is canonical)
// and read back into the same tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/forms/dsp_node.h"
#include "host/base/exception.h"
#include "host/forms/form_util.h"
#include "host/base/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace instkit;
  TMemoryStream stream(std::string(reinterpret_cast<const char*>(data), size));
  TDSPNode node("untouched");
  try {
    TFormUtil().LoadBranchFromStream(&node, &stream);
  } catch (const Exception&) {
    if (node.GetName() != "untouched" || node.GetCount() != 0) std::abort();  // failed loads change nothing
    return 0;
  }
  const std::string consumed(reinterpret_cast<const char*>(data), static_cast<size_t>(stream.GetPosition()));
  const std::string written = EncodeBranch(node);
  if (written != consumed) std::abort();
  TDSPNode again;
  DecodeBranch(written, &again);
  if (!SameBranch(node, again)) std::abort();
  return 0;
}

// Size-checked flat image readers on arbitrary bytes: nothing may be read
// outside the block, and whatever reads cleanly must write back to the same
// bytes it came from (up to the words the readers do not look at).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Syslist/syslist.h"
#include "fuzz_support.h"

using namespace instkit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (fuzz::QuietMessageBoxes(), true);
  (void)quiet;
  // A private copy, exactly as long as the input, so that any read past the
  // end is caught by the sanitizer.
  std::vector<uint8_t> block(data, data + size);
  const uint8_t* p = block.empty() ? nullptr : block.data();

  TSysNode node;
  const int32_t read = node.LoadFromPointer(p, size);
  if (read > 0) {
    if (static_cast<size_t>(read) > size) std::abort();
    // A record that reads cleanly has the size the writer computes, and the
    // writer reproduces its bytes except the two size words of each record.
    if (node.GetSize() != read) std::abort();
    std::vector<uint8_t> again(static_cast<size_t>(read));
    if (node.SaveToPointer(again.data(), again.size()) != read) std::abort();
    TSysNode reread;
    if (reread.LoadFromPointer(again.data(), again.size()) != read) std::abort();
    if (reread.Count != node.Count || reread.Info->ShortName != node.Info->ShortName) std::abort();
  }

  TSysTree tree;
  const bool tree_ok = tree.LoadFrompointer(p, size);
  for (int32_t i = -1; i < 4; ++i) {
    const void* child = TCustomSysNode::GetPointer(i, p, size);
    if (child != nullptr) {
      const auto offset = static_cast<const uint8_t*>(child) - p;
      if (offset < 0 || static_cast<size_t>(offset) + 4 > size) std::abort();
    }
  }
  if (tree_ok && p != nullptr) {
    tree.SetSysInstaled(block.data(), size);
    TSysNode owner;
    owner.LoadFromPointer(p, size);
    owner.SetSysInstaled(p, size);
  }
  return 0;
}

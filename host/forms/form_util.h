// Branch streaming of form-manager trees: a node and its whole subtree to a
// stream and back, in the format of host/forms/branch_stream_format.h.
#pragma once

#include <string>

#include "host/base/exception.h"
#include "host/base/export.h"

namespace instkit {

class TDSPNode;
class TStream;

// A branch stream that cannot be read (bad magic, a length beyond the end,
// too deep, ...) or a branch that cannot be written (too deep).  The message
// names the field and its offset in the stream.
class EBranchStreamError : public Exception {
 public:
  explicit EBranchStreamError(std::string message) : Exception("EBranchStreamError", std::move(message)) {}
};

class INSTKIT_API TFormUtil {
 public:
  // Writes `node` (name, value, children) to the stream at its position.
  // Raises EBranchStreamError for a tree deeper than kMaxBranchDepth, and
  // whatever the stream raises; nothing is written in the first case.
  void SaveBranchToStream(const TDSPNode* node, TStream* stream);
  // Reads one branch from the stream's position and makes `node` hold it:
  // its name, value and children are replaced.  The stream is left right
  // after the branch.  On any failure (EBranchStreamError, or what the
  // stream raises) the node is left unchanged.
  void LoadBranchFromStream(TDSPNode* node, TStream* stream);
};

// The branch stream of a node as bytes, and a node from such bytes; the
// second raises EBranchStreamError also for bytes left after the branch.
INSTKIT_API std::string EncodeBranch(const TDSPNode& node);
INSTKIT_API void DecodeBranch(const std::string& bytes, TDSPNode* node);

}  // namespace instkit

// The branch stream: one form-manager node and everything below it, as
// TFormUtil writes and reads it.  It follows the 16-byte header of a tree
// file and is the blob a form store keeps per form.
//
//   branch  := magic version:u16 flags:u16 node
//   magic   := "DSPB"
//   node    := name_len:u32 name:bytes[name_len]
//              kind:u8 value
//              child_count:u32 node[child_count]
//   value   := (kind 0)            nothing
//            | (kind 1 text)       len:u32 bytes[len]
//            | (kind 2 integer)    i32
//            | (kind 3 Boolean)    u8, 0 or 1
//            | (kind 4 double)     f64 (IEEE 754 bits)
//            | (kind 5 date-time)  f64
//            | (kind 6 binary)     len:u32 bytes[len]
//
// All integers are little-endian (host/base/coding.h).  Children follow their
// parent depth-first, in child order.  Names and texts are Windows-1251
// bytes, stored unchanged.
//
// The reader distrusts its input: it checks the magic, the version and that
// the flags are 0; every length and count against the bytes left in the
// stream (a node needs at least kMinNodeBytes); kinds above 6 and Boolean
// bytes other than 0 and 1 are refused; and nesting deeper than
// kMaxBranchDepth levels below the branch's own node is refused, so neither a
// hostile stream nor a runaway tree can exhaust the stack.  The writer
// refuses the same depth, so whatever it writes reads back.
//
// All values below are frozen: changing one needs a new version.
#pragma once

#include <cstddef>
#include <cstdint>

namespace instkit {

constexpr char kBranchMagic[4] = {'D', 'S', 'P', 'B'};
constexpr uint16_t kBranchVersion = 1;
constexpr size_t kBranchHeaderBytes = 8;     // magic, version, flags
constexpr size_t kMinNodeBytes = 4 + 1 + 4;  // empty name, kind 0, no children
constexpr int32_t kMaxBranchDepth = 256;     // levels below the branch's node

}  // namespace instkit

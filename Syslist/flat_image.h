// The flat tree image: one contiguous block holding a subsystem record and,
// recursively, the records of every subsystem below it.  Subsystem libraries
// receive such a block instead of catalogue objects and write one flag per
// subsystem back into it.
//
//   record     := RestSize DataSize Checked IsInst
//                 Library Parameter ShortName ChildCount { record }
//   RestSize   := int32   size of the whole record minus 4 (children included)
//   DataSize   := int32   14 + L1 + L2 + L3: bytes from offset 8 up to ChildCount
//   Checked    := byte    0 or 1, at offset 8
//   IsInst     := byte    0 or 1, at offset 9
//   Library, Parameter, ShortName := string
//   string     := int32 n, then n bytes (Windows-1251, no terminator)
//   ChildCount := int32   at offset 8 + DataSize; the child records follow
//
// Every int32 is little-endian and unaligned; there is no padding anywhere.
// A record's size is 12 + DataSize + the sizes of its children.  Only these
// fields travel: SysIndex, SaveName, FullName, Depend, BackRef, Archive,
// Links, Parent and AllCheck stay in the catalogue.  Subsystems are known by
// position: the i-th child record is the i-th child node.  The layout is
// frozen: libraries built separately read and write it.
//
// Readers.  Every reader comes in two forms:
// - address only (the historical interface): the block is trusted to be a
//   record as SaveToPointer writes it;
// - address and size: nothing outside the Size bytes at the address is read
//   or written, and a malformed block (a length or count past the end, a
//   negative length, a DataSize below 14) is a clean failure: 0, false or
//   null as the operation answers for any failure.
// Both forms share one implementation; the address-only form checks the same
// things against an unbounded size, so a negative length or an absurd count
// still fails instead of moving the reading backwards.  A negative
// ChildCount reads as no children.  The readers do not look at RestSize or
// at a child's DataSize, except that GetPointer (and the flag exchange,
// which finds child records as GetPointer does) steps over records by their
// RestSize.  Records may be nested as deeply as the block has room for
// (every record takes at least 26 bytes): readers and writers keep their own
// stack of open records, not a call stack.
//
// Writers.  SaveToPointer expects GetSize bytes; the sized forms check Size
// first and write nothing when the record does not fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Syslist/sys_tree.h"
#include "host/base/exception.h"
#include "host/base/export.h"

namespace instkit {

// Offsets inside a record, and fixed sizes.
constexpr int32_t kImageRestSizeOffset = 0;
constexpr int32_t kImageDataSizeOffset = 4;
constexpr int32_t kImageCheckedOffset = 8;
constexpr int32_t kImageIsInstOffset = 9;
constexpr int32_t kImageStringsOffset = 10;
// DataSize of a record whose three strings are empty: two flags + three lengths.
constexpr int32_t kImageMinDataSize = 14;
// RestSize + DataSize + ChildCount words.
constexpr int32_t kImageRecordOverhead = 12;
// The smallest record: 26 bytes.
constexpr int32_t kImageMinRecordSize = kImageRecordOverhead + kImageMinDataSize;

// A malformed image met while reading.  The node and tree readers catch it
// and answer 0 / false; LoadString raises it to its caller.
class EFlatImage : public Exception {
 public:
  explicit EFlatImage(std::string message) : Exception("EFlatImage", std::move(message)) {}
};

// The size of the record at Block as its RestSize states it (RestSize + 4),
// checked against Size; -1 when the block is too short or RestSize is
// negative or points past the end.  Does not validate the record's contents.
INSTKIT_API int64_t FlatImageRecordSize(const void* Block, size_t Size);

}  // namespace instkit

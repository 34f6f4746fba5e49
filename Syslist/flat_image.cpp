// The flat tree image (layout in flat_image.h): sizing, writing, reading,
// finding child records and the write-back of the flags.
//
// Every reader works on (address, size).  The address-only operations pass a
// size that reaches to the end of the address space, so they trust the block
// as the historical interface does, yet share every check that does not need
// a size: negative lengths, negative offsets, results that overflow int32.
#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "Syslist/flat_image.h"
#include "Syslist/node_walk.h"
#include "host/base/coding.h"
#include "host/base/format.h"
#include "host/base/operator_texts.h"
#include "host/platform/message_box.h"

namespace instkit {

namespace {

// Bytes from p to the end of the address space: "no bound".
size_t Unbounded(const void* p) { return std::numeric_limits<uintptr_t>::max() - reinterpret_cast<uintptr_t>(p); }

// Bounded access to a block.  Offsets are 64-bit so that no sum of 32-bit
// lengths can wrap; every read checks its bytes against the size.
class TImageView {
 public:
  TImageView(const void* block, size_t size) : p_(static_cast<const unsigned char*>(block)), size_(size) {
    if (p_ == nullptr) throw EFlatImage("null image address");
  }

  const unsigned char* Data() const { return p_; }
  size_t Size() const { return size_; }

  void Need(int64_t offset, int64_t bytes, const char* what) const {
    if (offset < 0 || bytes < 0 || static_cast<uint64_t>(offset) > size_ ||
        static_cast<uint64_t>(bytes) > size_ - static_cast<uint64_t>(offset)) {
      throw EFlatImage(Format("%s at offset %lld lies outside the image", what, static_cast<long long>(offset)));
    }
  }
  uint8_t Byte(int64_t offset, const char* what) const {
    Need(offset, 1, what);
    return p_[offset];
  }
  int32_t Int32(int64_t offset, const char* what) const {
    Need(offset, 4, what);
    return static_cast<int32_t>(DecodeFixed32(p_ + offset));
  }
  // A DataSize word; a valid record never has less than the fixed part.
  int32_t DataSize() const {
    const int32_t data_size = Int32(kImageDataSizeOffset, "DataSize");
    if (data_size < kImageMinDataSize) {
      throw EFlatImage(Format("DataSize %d is smaller than %d", data_size, kImageMinDataSize));
    }
    return data_size;
  }

 private:
  const unsigned char* p_;
  size_t size_;
};

int32_t CheckedInt32(int64_t value, const char* what) {
  if (value < 0 || value > std::numeric_limits<int32_t>::max()) {
    throw EFlatImage(Format("%s does not fit a 32-bit size", what));
  }
  return static_cast<int32_t>(value);
}

// Reads a counted string at offset; returns the offset after it.
int64_t ReadCountedString(const TImageView& view, int64_t offset, std::string& s) {
  const int32_t length = view.Int32(offset, "string length");
  if (length < 0)
    throw EFlatImage(Format("negative string length %d at offset %lld", length, static_cast<long long>(offset)));
  view.Need(offset + 4, length, "string");
  s.assign(reinterpret_cast<const char*>(view.Data() + offset + 4), static_cast<size_t>(length));
  return offset + 4 + length;
}

// The child records of the record at the view's start, one after the other.
// The constructor reads DataSize and ChildCount; Next steps from one child to
// the next by its RestSize.  Each raises EFlatImage on a malformed record:
// the constructor for a bad DataSize or ChildCount, Next for a child that
// does not lie inside the view (then and on every later call).
class TChildRecords {
 public:
  explicit TChildRecords(const TImageView& view) : view_(view) {
    const int32_t data_size = view.DataSize();
    count_ = view.Int32(8 + static_cast<int64_t>(data_size), "ChildCount");
    offset_ = kImageRecordOverhead + static_cast<int64_t>(data_size);
  }

  int32_t Count() const { return count_; }
  // The offset of the next child record; -1 after the last.
  int64_t Next() {
    if (next_ >= count_) return -1;
    if (broken_) throw EFlatImage("a child record before this one lies outside the image");
    try {
      if (next_ > 0) {
        const int32_t rest = view_.Int32(offset_, "RestSize");
        if (rest < 0) {
          throw EFlatImage(Format("negative RestSize %d at offset %lld", rest, static_cast<long long>(offset_)));
        }
        offset_ += 4 + static_cast<int64_t>(rest);
      }
      view_.Need(offset_, 4, "child record");
    } catch (...) {
      broken_ = true;
      throw;
    }
    ++next_;
    return offset_;
  }

 private:
  TImageView view_;
  int32_t count_ = 0;
  int32_t next_ = 0;
  int64_t offset_ = 0;  // of child next_ - 1, or of the first child
  bool broken_ = false;
};

// The offset of the Index-th child record inside the record at the view's
// start; -1 when Index is outside 0 .. ChildCount - 1.  Raises EFlatImage on a
// malformed record, including a found record whose first word lies outside.
int64_t FindChildRecord(const TImageView& view, int32_t index) {
  TChildRecords children(view);
  if (index < 0 || index >= children.Count()) return -1;
  int64_t offset = -1;
  for (int32_t i = 0; i <= index; ++i) offset = children.Next();
  return offset;
}

void ShowPointerError() { MessageBox(0, operator_texts::PointerError(), operator_texts::CaptionError(), kStylePlain); }

// What GetPointer gives for the child indexes 0, 1, 2, ... of the record at
// a block, message box included, in constant time per child instead of
// walking every child record before it: the write-back and the read-back of
// the flags visit every child of a record that may have a million.
class TChildPointers {
 public:
  TChildPointers(const void* block, size_t size) : block_(static_cast<const unsigned char*>(block)), size_(size) {}

  const unsigned char* Block() const { return block_; }
  size_t Size() const { return size_; }
  // GetPointer(i, block, size) for the next i.
  unsigned char* Next() {
    const int32_t index = index_++;
    if (block_ == nullptr) return nullptr;
    try {
      // Raises, and so fails every index, on a bad DataSize or ChildCount.
      if (!children_) children_.emplace(TImageView(block_, size_));
      if (index >= children_->Count()) return nullptr;
      return const_cast<unsigned char*>(block_) + children_->Next();
    } catch (...) {
      ShowPointerError();
      return nullptr;
    }
  }

 private:
  const unsigned char* block_;
  size_t size_;
  int32_t index_ = 0;
  std::optional<TChildRecords> children_;
};

// Sizes in 64 bits so that absurd string lengths cannot wrap.
int64_t DataSize64(const TSubsystemInfo& info) {
  return kImageMinDataSize + static_cast<int64_t>(info.Library.size()) + static_cast<int64_t>(info.Parameter.size()) +
         static_cast<int64_t>(info.ShortName.size());
}

int64_t RecordSize64(const TSysNode& node) {
  int64_t size = 0;
  WalkNodes(&node, [&size](const TSysNode* n) { size += kImageRecordOverhead + DataSize64(*n->Info); });
  return size;
}

// Writes the records of node's subtree at p, each followed by its children;
// a record's RestSize is filled in when the walk leaves it.  Returns the size.
int64_t WriteRecord(const TSysNode& node, unsigned char* p) {
  int64_t end = 0;
  std::vector<int64_t> starts;  // of the records the walk is inside of
  WalkNodes(
      &node,
      [&](const TSysNode* n) {
        const TSubsystemInfo& info = *n->Info;
        unsigned char* record = p + end;
        const int32_t data_size = CheckedInt32(DataSize64(info), "DataSize");
        EncodeFixed32(record + kImageDataSizeOffset, static_cast<uint32_t>(data_size));
        record[kImageCheckedOffset] = info.Checked ? 1 : 0;
        record[kImageIsInstOffset] = info.IsInst ? 1 : 0;
        int32_t offset = kImageStringsOffset;
        offset = TSysNode::SaveString(record, offset, info.Library);
        offset = TSysNode::SaveString(record, offset, info.Parameter);
        offset = TSysNode::SaveString(record, offset, info.ShortName);
        EncodeFixed32(record + offset, static_cast<uint32_t>(n->Count));
        if (n->Nodes.empty()) {  // most records: complete at once
          EncodeFixed32(record + kImageRestSizeOffset, static_cast<uint32_t>(offset));
        } else {
          starts.push_back(end);
        }
        end += offset + 4;
      },
      [&](const TSysNode* n) {
        if (n->Nodes.empty()) return;
        const int64_t start = starts.back();
        starts.pop_back();
        EncodeFixed32(p + start + kImageRestSizeOffset,
                      static_cast<uint32_t>(CheckedInt32(end - start - 4, "RestSize")));
      });
  return end;
}

}  // namespace

// ---- TCustomSysNode -----------------------------------------------------------

int32_t TCustomSysNode::LoadString(const void* Block, int32_t Offset, std::string& S) {
  return LoadString(Block, Unbounded(Block), Offset, S);
}

int32_t TCustomSysNode::LoadString(const void* Block, size_t Size, int32_t Offset, std::string& S) {
  const TImageView view(Block, Size);
  return CheckedInt32(ReadCountedString(view, Offset, S), "string end");
}

void* TCustomSysNode::GetPointer(int32_t Index, const void* Block) {
  return GetPointer(Index, Block, Unbounded(Block));
}

void* TCustomSysNode::GetPointer(int32_t Index, const void* Block, size_t Size) {
  if (Block == nullptr) return nullptr;
  try {
    const int64_t offset = FindChildRecord(TImageView(Block, Size), Index);
    if (offset < 0) return nullptr;
    return const_cast<unsigned char*>(static_cast<const unsigned char*>(Block)) + offset;
  } catch (...) {
    ShowPointerError();
    return nullptr;
  }
}

int64_t FlatImageRecordSize(const void* Block, size_t Size) {
  if (Block == nullptr || Size < 4) return -1;
  const int32_t rest = static_cast<int32_t>(DecodeFixed32(Block));
  if (rest < 0 || static_cast<uint64_t>(rest) + 4 > Size) return -1;
  return static_cast<int64_t>(rest) + 4;
}

// ---- TSysNode -------------------------------------------------------------------

int32_t TSysNode::GetDataSize() const { return static_cast<int32_t>(DataSize64(*Info)); }

int32_t TSysNode::GetSize() const { return static_cast<int32_t>(RecordSize64(*this)); }

int32_t TSysNode::SaveString(void* Block, int32_t Offset, const std::string& S) {
  auto* p = static_cast<unsigned char*>(Block) + Offset;
  const int32_t length = CheckedInt32(static_cast<int64_t>(S.size()), "string length");
  EncodeFixed32(p, static_cast<uint32_t>(length));
  // A counted string: the image holds no terminator.
  if (length > 0) std::memcpy(p + 4, S.data(), S.size());  // NOLINT(bugprone-not-null-terminated-result)
  return CheckedInt32(static_cast<int64_t>(Offset) + 4 + length, "string end");
}

int32_t TSysNode::SaveToPointer(void* Block) const {
  if (Block == nullptr) return 0;
  try {
    return CheckedInt32(WriteRecord(*this, static_cast<unsigned char*>(Block)), "record size");
  } catch (...) {
    return 0;
  }
}

int32_t TSysNode::SaveToPointer(void* Block, size_t Size) const {
  if (Block == nullptr) return 0;
  const int64_t needed = RecordSize64(*this);
  if (needed > std::numeric_limits<int32_t>::max() || static_cast<uint64_t>(needed) > Size) return 0;
  return SaveToPointer(Block);
}

namespace {

// The fixed part of the record at the view's start (flags, strings and
// ChildCount) into node, whose children are cleared; returns the offset of
// the first child record.  A negative ChildCount reads as none.
int64_t ReadRecordHead(TSysNode& node, const TImageView& view, int32_t& child_count) {
  node.ClearNodes();
  TSubsystemInfo& info = *node.Info;
  info.Checked = view.Byte(kImageCheckedOffset, "Checked") != 0;
  info.IsInst = view.Byte(kImageIsInstOffset, "IsInst") != 0;
  int64_t offset = kImageStringsOffset;
  offset = ReadCountedString(view, offset, info.Library);
  offset = ReadCountedString(view, offset, info.Parameter);
  offset = ReadCountedString(view, offset, info.ShortName);
  child_count = std::max(view.Int32(offset, "ChildCount"), 0);
  return offset + 4;
}

// Reads the record at the view's start into node, with every record below
// it, and returns its size.  Each child is added to its parent before it is
// read.  Raises EFlatImage on a malformed record; what was read stays.
//
// The records are nested as deeply as the tree they came from, so the
// reading keeps its own stack of the records it is inside of.  A count larger
// than the block can hold ends at the first child that does not fit: every
// child read consumes at least kImageMinRecordSize bytes.
int64_t ReadRecord(TSysNode& node, const TImageView& view) {
  struct Open {
    TSysNode* node;
    int64_t start;  // of its record in the view
    int64_t end;    // of what has been read of it so far
    int32_t children_left;
  };
  std::vector<Open> open;
  auto read_head = [&](TSysNode& target, int64_t start) {
    const TImageView record(view.Data() + start, view.Size() - static_cast<uint64_t>(start));
    int32_t child_count = 0;
    const int64_t head = ReadRecordHead(target, record, child_count);
    open.push_back({&target, start, start + head, child_count});
  };
  read_head(node, 0);
  for (;;) {
    Open& top = open.back();
    if (top.children_left > 0) {
      --top.children_left;
      TSysNode* child = top.node->AddNode(std::make_unique<TSysNode>());
      read_head(*child, top.end);  // `top` is not used after this
      continue;
    }
    const int64_t end = top.end;
    open.pop_back();
    if (open.empty()) return end;
    open.back().end = end;
  }
}

}  // namespace

int32_t TSysNode::LoadFromPointer(const void* Block) { return LoadFromPointer(Block, Unbounded(Block)); }

int32_t TSysNode::LoadFromPointer(const void* Block, size_t Size) {
  try {
    ClearNodes();
    return CheckedInt32(ReadRecord(*this, TImageView(Block, Size)), "record size");
  } catch (...) {
    return 0;
  }
}

bool TSysNode::SetSysInstaled(const void* Block) { return SetSysInstaled(Block, Unbounded(Block)); }

bool TSysNode::SetSysInstaled(const void* Block, size_t Size) {
  // Per node the walk is inside of (those whose counts match): the pointers
  // to its child records, handed out in child order.
  struct Open {
    TSysNode* node;
    TChildPointers children;
  };
  std::vector<Open> open;
  // A node's AllCheck is final when the walk is done with it; a false one
  // clears its parent's.
  auto done = [this](TSysNode* node) {
    if (node != this && !node->Info->AllCheck) static_cast<TSysNode*>(node->ParentNode)->Info->AllCheck = false;
  };
  WalkNodes(
      this,
      [&](TSysNode* node) {
        const unsigned char* block = static_cast<const unsigned char*>(Block);
        size_t size = Size;
        if (node != this) {
          TChildPointers& siblings = open.back().children;
          block = siblings.Next();
          size = block == nullptr ? 0 : siblings.Size() - static_cast<size_t>(block - siblings.Block());
        }
        TSubsystemInfo& info = *node->Info;
        bool descend = false;
        if (block != nullptr) {
          try {
            const TImageView view(block, size);
            const int32_t data_size = view.DataSize();
            if (dynamic_cast<TSysNode*>(node->ParentNode) != nullptr) {
              info.Checked = view.Byte(kImageCheckedOffset, "Checked") != 0;
            }
            const int32_t child_count = view.Int32(8 + static_cast<int64_t>(data_size), "ChildCount");
            if (info.IsInst) info.Checked = true;
            info.AllCheck = info.Checked;
            descend = node->Count == child_count;
          } catch (...) {
            // Flags stay as far as they got.
          }
        }
        if (!descend) {
          done(node);
          return false;
        }
        open.push_back({node, TChildPointers(block, size)});
        return true;
      },
      [&](TSysNode* node) {
        open.pop_back();
        done(node);
      });
  return Info->AllCheck;
}

// ---- TSysTree -------------------------------------------------------------------

int32_t TSysTree::GetSize(int32_t Index) const {
  const TSysNode* node = GetNode(Index);
  return node == nullptr ? 0 : node->GetSize();
}

bool TSysTree::SaveToPointer(void* Block, int32_t Index) const {
  const TSysNode* node = GetNode(Index);
  if (node == nullptr) return true;
  return node->SaveToPointer(Block) != 0;
}

bool TSysTree::SaveToPointer(void* Block, size_t Size, int32_t Index) const {
  const TSysNode* node = GetNode(Index);
  if (node == nullptr) return true;
  return node->SaveToPointer(Block, Size) != 0;
}

bool TSysTree::LoadFrompointer(const void* Block) { return LoadFrompointer(Block, Unbounded(Block)); }

bool TSysTree::LoadFrompointer(const void* Block, size_t Size) {
  try {
    ClearNodes();
    const TImageView view(Block, Size);
    const int32_t data_size = view.DataSize();
    TreeFlag = view.Byte(9 + static_cast<int64_t>(data_size), "TreeFlag");
    int32_t child_count = view.Int32(8 + static_cast<int64_t>(data_size), "ChildCount");
    int64_t offset = kImageRecordOverhead + static_cast<int64_t>(data_size);
    if (child_count < 0) child_count = 0;
    for (int32_t i = 0; i < child_count; ++i) {
      // A node is added only once it has been read completely; one that
      // fails is freed and ends the reading.
      auto node = std::make_unique<TSysNode>();
      const TImageView rest(view.Data() + offset, view.Size() - static_cast<uint64_t>(offset));
      const int64_t size = ReadRecord(*node, rest);
      AddNode(std::move(node));
      offset += size;
    }
    return true;
  } catch (...) {
    return false;
  }
}

void TSysTree::SetSysInstaled(void* Block) { SetSysInstaled(Block, Unbounded(Block)); }

void TSysTree::SetSysInstaled(void* Block, size_t Size) {
  if (Block == nullptr) return;
  try {
    TChildPointers records(Block, Size);
    for (int32_t i = 0; i < Count; ++i) {
      unsigned char* record = records.Next();
      if (record == nullptr) continue;
      // GetPointer guarantees the record's first word; the flag needs 9 bytes.
      const size_t left = Size - static_cast<size_t>(record - static_cast<unsigned char*>(Block));
      if (left <= static_cast<size_t>(kImageCheckedOffset)) continue;
      record[kImageCheckedOffset] = Nodes[static_cast<size_t>(i)]->Info->Checked ? 1 : 0;
    }
  } catch (...) {
    // Swallowed: the flags written so far stay.
  }
}

}  // namespace instkit

// The flat tree image (layout in flat_image.h): sizing, writing, reading,
// finding child records and the write-back of the flags.
//
// Every reader works on (address, size).  The address-only operations pass a
// size that reaches to the end of the address space, so they trust the block
// as the historical interface does, yet share every check that does not need
// a size: negative lengths, negative offsets, results that overflow int32.
#include <cstring>
#include <limits>

#include "Syslist/flat_image.h"
#include "host/base/codepage.h"
#include "host/base/coding.h"
#include "host/base/format.h"
#include "host/platform/message_box.h"

namespace instkit {

namespace {

// Bytes from p to the end of the address space: "no bound".
size_t Unbounded(const void* p) {
  return std::numeric_limits<uintptr_t>::max() - reinterpret_cast<uintptr_t>(p);
}

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
  if (length < 0) throw EFlatImage(Format("negative string length %d at offset %lld", length, static_cast<long long>(offset)));
  view.Need(offset + 4, length, "string");
  s.assign(reinterpret_cast<const char*>(view.Data() + offset + 4), static_cast<size_t>(length));
  return offset + 4 + length;
}

// The offset of the Index-th child record inside the record at the view's
// start; -1 when Index is outside 0 .. ChildCount - 1.  Raises EFlatImage on a
// malformed record, including a found record whose first word lies outside.
int64_t FindChildRecord(const TImageView& view, int32_t index) {
  const int32_t data_size = view.DataSize();
  const int32_t child_count = view.Int32(8 + static_cast<int64_t>(data_size), "ChildCount");
  if (index < 0 || index >= child_count) return -1;
  int64_t offset = kImageRecordOverhead + static_cast<int64_t>(data_size);
  for (int32_t i = 0; i < index; ++i) {
    const int32_t rest = view.Int32(offset, "RestSize");
    if (rest < 0) throw EFlatImage(Format("negative RestSize %d at offset %lld", rest, static_cast<long long>(offset)));
    offset += 4 + static_cast<int64_t>(rest);
  }
  view.Need(offset, 4, "child record");
  return offset;
}

void ShowPointerError() {
  static const std::string text = Utf8ToCp1251("Ошибка получения указателя");
  static const std::string caption = Utf8ToCp1251("Ошибка");
  MessageBox(0, text, caption, kStylePlain);
}

// Sizes in 64 bits so that absurd string lengths cannot wrap.
int64_t DataSize64(const TSubsystemInfo& info) {
  return kImageMinDataSize + static_cast<int64_t>(info.Library.size()) + static_cast<int64_t>(info.Parameter.size()) +
         static_cast<int64_t>(info.ShortName.size());
}

int64_t RecordSize64(const TSysNode& node) {
  int64_t size = kImageRecordOverhead + DataSize64(*node.Info);
  for (const auto& child : node.Nodes) size += RecordSize64(*child);
  return size;
}

int64_t WriteRecord(const TSysNode& node, unsigned char* p) {
  const TSubsystemInfo& info = *node.Info;
  const int32_t data_size = CheckedInt32(DataSize64(info), "DataSize");
  EncodeFixed32(p + kImageDataSizeOffset, static_cast<uint32_t>(data_size));
  p[kImageCheckedOffset] = info.Checked ? 1 : 0;
  p[kImageIsInstOffset] = info.IsInst ? 1 : 0;
  int32_t offset = kImageStringsOffset;
  offset = TSysNode::SaveString(p, offset, info.Library);
  offset = TSysNode::SaveString(p, offset, info.Parameter);
  offset = TSysNode::SaveString(p, offset, info.ShortName);
  EncodeFixed32(p + offset, static_cast<uint32_t>(node.Count));
  int64_t end = offset + 4;
  for (const auto& child : node.Nodes) end += WriteRecord(*child, p + end);
  EncodeFixed32(p + kImageRestSizeOffset, static_cast<uint32_t>(CheckedInt32(end - 4, "RestSize")));
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

void* TCustomSysNode::GetPointer(int32_t Index, const void* Block) { return GetPointer(Index, Block, Unbounded(Block)); }

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
  if (length > 0) std::memcpy(p + 4, S.data(), S.size());
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

// Reads the record at the view's start into node; returns its size.  Raises
// EFlatImage on a malformed record; children read so far stay in node.
int64_t ReadRecord(TSysNode& node, const TImageView& view, int32_t depth) {
  node.ClearNodes();
  if (depth > kImageMaxDepth) throw EFlatImage("records nested too deeply");
  TSubsystemInfo& info = *node.Info;
  info.Checked = view.Byte(kImageCheckedOffset, "Checked") != 0;
  info.IsInst = view.Byte(kImageIsInstOffset, "IsInst") != 0;
  int64_t offset = kImageStringsOffset;
  offset = ReadCountedString(view, offset, info.Library);
  offset = ReadCountedString(view, offset, info.Parameter);
  offset = ReadCountedString(view, offset, info.ShortName);
  int32_t child_count = view.Int32(offset, "ChildCount");
  offset += 4;
  if (child_count < 0) child_count = 0;  // reads as no children
  // A count larger than the block can hold ends at the first child that
  // does not fit: every child read consumes at least kImageMinRecordSize
  // bytes, so the loop never runs more than Size / 26 times.
  for (int32_t i = 0; i < child_count; ++i) {
    TSysNode* child = node.AddNode(std::make_unique<TSysNode>());
    const TImageView rest(view.Data() + offset, view.Size() - static_cast<uint64_t>(offset));
    offset += ReadRecord(*child, rest, depth + 1);
  }
  return offset;
}

}  // namespace

int32_t TSysNode::LoadFromPointer(const void* Block) { return LoadFromPointer(Block, Unbounded(Block)); }

int32_t TSysNode::LoadFromPointer(const void* Block, size_t Size) {
  try {
    ClearNodes();
    return CheckedInt32(ReadRecord(*this, TImageView(Block, Size), 0), "record size");
  } catch (...) {
    return 0;
  }
}

bool TSysNode::SetSysInstaled(const void* Block) { return SetSysInstaled(Block, Unbounded(Block)); }

bool TSysNode::SetSysInstaled(const void* Block, size_t Size) {
  TSubsystemInfo& info = *Info;
  if (Block == nullptr) return info.AllCheck;
  try {
    const TImageView view(Block, Size);
    const int32_t data_size = view.DataSize();
    if (dynamic_cast<TSysNode*>(ParentNode) != nullptr) {
      info.Checked = view.Byte(kImageCheckedOffset, "Checked") != 0;
    }
    const int32_t child_count = view.Int32(8 + static_cast<int64_t>(data_size), "ChildCount");
    if (info.IsInst) info.Checked = true;
    info.AllCheck = info.Checked;
    if (Count == child_count) {
      for (int32_t i = 0; i < Count; ++i) {
        const void* child_block = GetPointer(i, Block, Size);
        const size_t child_size =
            child_block == nullptr ? 0 : Size - static_cast<size_t>(static_cast<const unsigned char*>(child_block) -
                                                                   static_cast<const unsigned char*>(Block));
        if (!Nodes[static_cast<size_t>(i)]->SetSysInstaled(child_block, child_size)) info.AllCheck = false;
      }
    }
  } catch (...) {
    // Flags stay as far as they got.
  }
  return info.AllCheck;
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
      const int64_t size = ReadRecord(*node, rest, 1);
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
    for (int32_t i = 0; i < Count; ++i) {
      auto* record = static_cast<unsigned char*>(GetPointer(i, Block, Size));
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

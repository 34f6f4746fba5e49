#include "host/forms/form_util.h"

#include <cstring>

#include "host/forms/branch_stream_format.h"
#include "host/base/coding.h"
#include "host/forms/dsp_node.h"
#include "host/base/format.h"
#include "host/base/memory_stream.h"
#include "host/base/stream.h"

namespace instkit {

namespace {

[[noreturn]] void Corrupt(int64_t offset, const std::string& what) {
  throw EBranchStreamError(
      Format("Invalid branch stream at offset %lld: %s", static_cast<long long>(offset), what.c_str()));
}

int64_t BytesLeft(const TStream& stream) {
  const int64_t left = stream.GetSize() - stream.GetPosition();
  return left > 0 ? left : 0;
}

// Depth-first encoder.  Refuses the depth the reader would refuse.
void EncodeNode(const TDSPNode& node, int32_t depth, std::string& out) {
  if (depth > kMaxBranchDepth) {
    throw EBranchStreamError(
        Format("Branch is deeper than %d levels (at node '%s')", kMaxBranchDepth, node.GetName().c_str()));
  }
  PutFixed32(out, static_cast<uint32_t>(node.GetName().size()));
  out += node.GetName();
  out += static_cast<char>(node.GetValueKind());
  switch (node.GetValueKind()) {
    case dvkNone:
      break;
    case dvkString:
    case dvkBinary: {
      const std::string bytes = node.GetAsString();
      PutFixed32(out, static_cast<uint32_t>(bytes.size()));
      out += bytes;
      break;
    }
    case dvkInteger:
      PutFixed32(out, static_cast<uint32_t>(node.GetAsInteger()));
      break;
    case dvkBoolean:
      out += node.GetAsBoolean() ? '\1' : '\0';
      break;
    case dvkDouble:
    case dvkDateTime:
      PutDouble(out, node.GetAsDouble());
      break;
  }
  PutFixed32(out, static_cast<uint32_t>(node.GetCount()));
  for (int32_t i = 0; i < node.GetCount(); ++i) EncodeNode(*node.GetNodes(i), depth + 1, out);
}

// Reads from a stream, checking each length against the bytes left before
// touching them.  `what` names the field for the message.
class TBranchReader {
 public:
  explicit TBranchReader(TStream& stream) : stream_(stream) {}

  void Need(uint64_t n, const char* what) {
    const int64_t left = BytesLeft(stream_);
    if (n > static_cast<uint64_t>(left)) {
      Corrupt(stream_.GetPosition(), Format("%s needs %llu bytes, only %lld left", what,
                                            static_cast<unsigned long long>(n), static_cast<long long>(left)));
    }
  }
  void Raw(void* dst, size_t n, const char* what) {
    Need(n, what);
    const int64_t at = stream_.GetPosition();
    if (stream_.Read(dst, n) != n) Corrupt(at, Format("%s: the stream ended early", what));
  }
  uint8_t U8(const char* what) {
    unsigned char b;
    Raw(&b, 1, what);
    return b;
  }
  uint16_t U16(const char* what) {
    unsigned char b[2];
    Raw(b, 2, what);
    return DecodeFixed16(b);
  }
  uint32_t U32(const char* what) {
    unsigned char b[4];
    Raw(b, 4, what);
    return DecodeFixed32(b);
  }
  double F64(const char* what) {
    unsigned char b[8];
    Raw(b, 8, what);
    return DecodeDouble(b);
  }
  std::string Bytes(uint32_t n, const char* what) {
    Need(n, what);
    std::string s(n, '\0');
    if (n > 0) Raw(s.data(), n, what);
    return s;
  }
  int64_t Offset() const { return stream_.GetPosition(); }

 private:
  TStream& stream_;
};

void ReadNode(TBranchReader& in, TDSPNode& node, int32_t depth) {
  if (depth > kMaxBranchDepth) {
    Corrupt(in.Offset(), Format("nodes nested deeper than %d levels", kMaxBranchDepth));
  }
  node.SetName(in.Bytes(in.U32("node name length"), "node name"));
  const int64_t kind_offset = in.Offset();
  const uint8_t kind = in.U8("value kind");
  switch (kind) {
    case dvkNone:
      break;
    case dvkString:
      node.SetAsString(in.Bytes(in.U32("text length"), "text value"));
      break;
    case dvkBinary:
      node.SetAsBinary(in.Bytes(in.U32("binary length"), "binary value"));
      break;
    case dvkInteger:
      node.SetAsInteger(static_cast<int32_t>(in.U32("integer value")));
      break;
    case dvkBoolean: {
      const int64_t at = in.Offset();
      const uint8_t b = in.U8("Boolean value");
      if (b > 1) Corrupt(at, Format("Boolean value %u is neither 0 nor 1", b));
      node.SetAsBoolean(b == 1);
      break;
    }
    case dvkDouble:
      node.SetAsDouble(in.F64("double value"));
      break;
    case dvkDateTime:
      node.SetAsDateTime(in.F64("date-time value"));
      break;
    default:
      Corrupt(kind_offset, Format("unknown value kind %u of node '%s'", kind, node.GetName().c_str()));
  }
  const uint32_t count = in.U32("child count");
  // Every child takes at least kMinNodeBytes: a count the rest of the stream
  // cannot hold is refused before anything is allocated for it.
  in.Need(static_cast<uint64_t>(count) * kMinNodeBytes, "child list");
  for (uint32_t i = 0; i < count; ++i) ReadNode(in, *node.AddChild({}), depth + 1);
}

}  // namespace

void TFormUtil::SaveBranchToStream(const TDSPNode* node, TStream* stream) {
  if (node == nullptr || stream == nullptr) throw EBranchStreamError("SaveBranchToStream: no node or no stream");
  const std::string bytes = EncodeBranch(*node);
  stream->Write(bytes.data(), bytes.size());
}

void TFormUtil::LoadBranchFromStream(TDSPNode* node, TStream* stream) {
  if (node == nullptr || stream == nullptr) throw EBranchStreamError("LoadBranchFromStream: no node or no stream");
  TBranchReader in(*stream);
  char magic[sizeof kBranchMagic];
  const int64_t start = in.Offset();
  in.Raw(magic, sizeof magic, "magic");
  if (std::memcmp(magic, kBranchMagic, sizeof magic) != 0) Corrupt(start, "not a branch stream (bad magic)");
  const uint16_t version = in.U16("version");
  if (version != kBranchVersion) {
    Corrupt(start + 4, Format("unsupported version %u (this reader knows %u)", version, kBranchVersion));
  }
  const uint16_t flags = in.U16("flags");
  if (flags != 0) Corrupt(start + 6, Format("unknown flags 0x%04x", flags));
  // Built aside and moved in only when complete, so a failure leaves the
  // caller's node untouched.
  TDSPNode loaded;
  ReadNode(in, loaded, 0);
  node->TakeContentFrom(loaded);
}

std::string EncodeBranch(const TDSPNode& node) {
  std::string out(kBranchMagic, sizeof kBranchMagic);
  PutFixed16(out, kBranchVersion);
  PutFixed16(out, 0);
  EncodeNode(node, 0, out);
  return out;
}

void DecodeBranch(const std::string& bytes, TDSPNode* node) {
  TMemoryStream stream(bytes);
  TDSPNode loaded;
  TFormUtil().LoadBranchFromStream(&loaded, &stream);
  if (BytesLeft(stream) != 0) {
    Corrupt(stream.GetPosition(), Format("%lld bytes after the branch", static_cast<long long>(BytesLeft(stream))));
  }
  node->TakeContentFrom(loaded);
}

}  // namespace instkit

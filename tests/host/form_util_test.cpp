// Branch streams: round trips, the frozen byte layout, and a reader that
// refuses every malformed input without touching the target node.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "host/forms/branch_stream_format.h"
#include "host/base/coding.h"
#include "host/forms/dsp_node.h"
#include "host/forms/form_util.h"
#include "host/base/memory_stream.h"

namespace instkit {
namespace {

// A tree with every value kind and awkward names and values.
void FillSample(TDSPNode& root) {
  root.SetName("root");
  TDSPNode* window = root.AddChild("Window");
  window->AddChild("Caption")->SetAsString(std::string("\xCE\xEA\xED\xEE", 4));  // cp1251 text
  window->AddChild("Empty")->SetAsString("");
  window->AddChild("Width")->SetAsInteger(-2147483647 - 1);
  window->AddChild("Visible")->SetAsBoolean(true);
  window->AddChild("Hidden")->SetAsBoolean(false);
  window->AddChild("Ratio")->SetAsDouble(std::numeric_limits<double>::quiet_NaN());
  window->AddChild("Created")->SetAsDateTime(45000.75);
  window->AddChild("Icon")->SetAsBinary(std::string("\0\x01\xFF\r\n", 5));
  window->AddChild("a.b");  // a dot is only special in paths
  window->SetAsInteger(7);  // inner nodes may carry values too
  root.AddChild("");        // empty names are kept as well
}

std::string Encoded(const TDSPNode& node) { return EncodeBranch(node); }

TEST(BranchStreamTest, RoundTripKeepsEveryKindAndEncodesCanonically) {
  TDSPNode original;
  FillSample(original);
  const std::string bytes = Encoded(original);

  TDSPNode loaded;
  DecodeBranch(bytes, &loaded);
  EXPECT_TRUE(SameBranch(original, loaded));
  EXPECT_EQ(Encoded(loaded), bytes);
  EXPECT_TRUE(std::isnan(loaded.GetNodes(0)->FindChild("Ratio")->GetAsDouble()));
  EXPECT_EQ(loaded.GetNodes(0)->FindChild("Icon")->GetValueKind(), dvkBinary);
  EXPECT_EQ(loaded.GetNodes(0)->GetParent(), &loaded);
}

TEST(BranchStreamTest, LayoutIsFrozen) {
  TDSPNode root("R");
  root.AddChild("x")->SetAsInteger(5);
  root.AddChild("t")->SetAsBoolean(true);
  const std::string expected = std::string("DSPB\x01\x00\x00\x00", 8) +
                               std::string("\x01\x00\x00\x00R\x00\x02\x00\x00\x00", 10) +
                               std::string("\x01\x00\x00\x00x\x02\x05\x00\x00\x00\x00\x00\x00\x00", 14) +
                               std::string("\x01\x00\x00\x00t\x03\x01\x00\x00\x00\x00", 11);
  EXPECT_EQ(Encoded(root), expected);
}

TEST(BranchStreamTest, StreamStopsRightAfterTheBranch) {
  TDSPNode a("a"), b("b");
  b.SetAsString("second");
  TMemoryStream stream;
  TFormUtil util;
  util.SaveBranchToStream(&a, &stream);
  util.SaveBranchToStream(&b, &stream);
  stream.SetPosition(0);
  TDSPNode first, second;
  util.LoadBranchFromStream(&first, &stream);
  util.LoadBranchFromStream(&second, &stream);
  EXPECT_TRUE(SameBranch(first, a));
  EXPECT_TRUE(SameBranch(second, b));
  EXPECT_EQ(stream.GetPosition(), stream.GetSize());
}

TEST(BranchStreamTest, EveryTruncationIsRefusedAndLeavesTheNodeAlone) {
  TDSPNode original;
  FillSample(original);
  const std::string bytes = Encoded(original);
  for (size_t n = 0; n < bytes.size(); ++n) {
    TDSPNode target("keep");
    target.AddChild("child")->SetAsInteger(1);
    TMemoryStream stream(bytes.substr(0, n));
    EXPECT_THROW(TFormUtil().LoadBranchFromStream(&target, &stream), EBranchStreamError) << "prefix " << n;
    EXPECT_EQ(target.GetName(), "keep");
    ASSERT_EQ(target.GetCount(), 1);
    EXPECT_EQ(target.GetNodes(0)->GetAsInteger(), 1);
  }
}

std::string Header() { return std::string("DSPB\x01\x00\x00\x00", 8); }
std::string U32(uint32_t v) {
  std::string s;
  PutFixed32(s, v);
  return s;
}

TEST(BranchStreamTest, MalformedInputsAreRefused) {
  const std::string leaf = U32(0) + std::string(1, '\0') + U32(0);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"bad magic", "DSPX" + Header().substr(4) + leaf},
      {"version 2", std::string("DSPB\x02\x00\x00\x00", 8) + leaf},
      {"flags set", std::string("DSPB\x01\x00\x01\x00", 8) + leaf},
      {"kind 7", Header() + U32(0) + std::string(1, '\x07') + U32(0)},
      {"Boolean 2", Header() + U32(0) + std::string("\x03\x02", 2) + U32(0)},
      {"name longer than stream", Header() + U32(0xFFFFFFFF) + "ab"},
      {"text longer than stream", Header() + U32(0) + std::string(1, '\x01') + U32(100) + "abc"},
      {"child count beyond stream", Header() + U32(0) + std::string(1, '\0') + U32(0xFFFFFFFF) + leaf},
      {"child count one too many", Header() + U32(0) + std::string(1, '\0') + U32(2) + leaf + leaf.substr(1)},
      {"empty", ""},
  };
  for (const auto& c : cases) {
    TDSPNode target;
    TMemoryStream stream(c.bytes);
    EXPECT_THROW(TFormUtil().LoadBranchFromStream(&target, &stream), EBranchStreamError) << c.what;
  }
  TDSPNode target;
  EXPECT_THROW(DecodeBranch(Header() + leaf + "x", &target), EBranchStreamError) << "trailing byte";
  try {  // the message names the field and its offset
    DecodeBranch(cases[3].bytes, &target);
  } catch (const EBranchStreamError& e) {
    EXPECT_EQ(e.Message(), "Invalid branch stream at offset 12: unknown value kind 7 of node ''");
  }
}

TEST(BranchStreamTest, DepthIsLimitedOnBothSides) {
  // Exactly kMaxBranchDepth levels below the node: written and read back.
  TDSPNode deepest;
  TDSPNode* node = &deepest;
  for (int32_t i = 0; i < kMaxBranchDepth; ++i) node = node->AddChild("n");
  TDSPNode loaded;
  DecodeBranch(Encoded(deepest), &loaded);
  EXPECT_TRUE(SameBranch(deepest, loaded));

  // One level more is refused by the writer, before anything is written.
  node->AddChild("too deep");
  TMemoryStream out;
  EXPECT_THROW(TFormUtil().SaveBranchToStream(&deepest, &out), EBranchStreamError);
  EXPECT_EQ(out.GetSize(), 0);

  // A hostile stream nesting far deeper is refused without exhausting the
  // stack.
  std::string hostile = Header();
  for (int i = 0; i < 200000; ++i) hostile += U32(0) + std::string(1, '\0') + U32(1);
  TDSPNode target;
  EXPECT_THROW(DecodeBranch(hostile, &target), EBranchStreamError);
}

}  // namespace
}  // namespace instkit

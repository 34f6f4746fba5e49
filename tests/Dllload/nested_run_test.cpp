// Nested driving: a subsystem library that drives the libraries of its own
// child subsystems with TDllsLoader on the image it received, under both
// drivers; the parent run reads the children's results back.
#include "driver_fixture.h"

namespace instkit::testing {
namespace {

Lines Prefixed(const std::string& prefix, const Lines& lines) {
  Lines out;
  for (const auto& line : lines) out.push_back(" " + prefix + ": " + line.substr(1));
  return out;
}

class NestedRunTest : public DriverTest {
 protected:
  // P drives C1 (done), C2 (Perform 0, operator answers No) and C3 (no library).
  TSysNode* BuildParent(TCustomSysNode* under) {
    p_ = Library("p");
    c1_ = Library("c1");
    c2_ = Library("c2");
    TSysNode* p = Add(under, "P", p_, "nested=1");
    Add(p, "C1", c1_);
    Add(p, "C2", c2_, "perform=0");
    Add(p, "C3", "");
    return p;
  }
  // Everything P's own driver logs inside P's Perform.
  Lines NestedLog() const {
    return Prefixed("P", Logged({"IN function LoadDlls"}) +
                              Lines{" library " + c1_ + " loaded successful", " library " + c2_ + " loaded successful"} +
                              Logged({"OUT function LoadDlls", "IN function SETALL"}) + GoodSetup("C1") + GoodSetup("C2") +
                              Logged({"OUT function SETALL", "IN procedure ASKALL", " before calling AskQuestions :C1",
                                      "AskQuestions = TRUE  :C1", " before calling AskQuestions :C2",
                                      "AskQuestions = TRUE  :C2", "OUT procedure ASKALL", "IN function PERFORMALL",
                                      "before calling Perform :C1", "Perform = TRUE  :C1",
                                      "before calling Perform :C2", "Perform = FALSE  :C2",
                                      "OUT function PERFORMALL", "IN function UNLOADDLLS",
                                      "OUT function UNLOADDLLS"}));
  }
  std::string p_, c1_, c2_;
};

TEST_F(NestedRunTest, NodeTreeParentReadsTheChildrensResultsBack) {
  TSysNode* p = BuildParent(&tree_);
  EXPECT_EQ(Run(false, 1), "1 1 1 1");
  const Lines expected =
      Logged({"IN function LoadDlls"}) + Lines{" library " + p_ + " loaded successful"} +
      Logged({"OUT function LoadDlls", "IN function SETALL"}) + GoodSetup("P") +
      Logged({"OUT function SETALL", "IN procedure ASKALL", "before calling AskQuestions :P",
              "AskQuestions = TRUE  :P", "OUT procedure ASKALL", "IN procedure PERFORMALL",
              "before calling Perform :P"}) +
      NestedLog() + Logged({"Perform = TRUE  :P", "OUT procedure PERFORMALL", "IN function UNLOADDLLS",
                            "OUT function UNLOADDLLS"});
  EXPECT_EQ(Recorder().log, expected) << ::testing::PrintToString(Log());
  EXPECT_EQ(Recorder().boxes, (Lines{"Внимание|Система C2 не была установлена. Прервать инсталляцию? |0x2024"}));
  // SetInstalled took the children's bytes from P's image.
  EXPECT_TRUE(p->Info->Checked);
  EXPECT_TRUE(p->GetNode(0)->Info->Checked);
  EXPECT_FALSE(p->GetNode(1)->Info->Checked);
  EXPECT_TRUE(p->GetNode(2)->Info->Checked);  // no library
  EXPECT_FALSE(p->Info->AllCheck);
  const Lines calls = Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "P nested set=1 ask=1 perform=1"), 1);
  // The children saw the parent's run fields.
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "C1 SetClientNumber 42"), 1);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "C2 SetSessionName S1"), 1);
  // Progress: C1 and C2 inside P, then P twice.
  EXPECT_EQ(Recorder().progress.size(), 4u);
}

TEST_F(NestedRunTest, FlatParentLeavesTheResultsInTheCallersImage) {
  BuildParent(&root_);
  EXPECT_EQ(Run(true, 1), "1 1 1 1");
  EXPECT_EQ(LogFrom(" before calling Perform :P"), Logged({"before calling Perform :P"}) + NestedLog() +
                      Logged({"Perform = TRUE  :P", "OUT function PERFORMALL", "IN function UNLOADDLLS",
                              "OUT function UNLOADDLLS"}));
  // The records of C1..C3 inside P's record inside the caller's image.
  void* p = TCustomSysNode::GetPointer(0, image_.data(), image_.size());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(static_cast<uint8_t*>(p)[8], 1);
  const size_t p_size = image_.size() - (static_cast<uint8_t*>(p) - image_.data());
  int bytes[3];
  for (int i = 0; i < 3; ++i) bytes[i] = static_cast<uint8_t*>(TCustomSysNode::GetPointer(i, p, p_size))[8];
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(bytes[2], 1);
}

}  // namespace
}  // namespace instkit::testing

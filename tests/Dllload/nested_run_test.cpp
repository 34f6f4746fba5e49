// Nested driving: a subsystem library that drives the libraries of its own
// child subsystems with TDllsLoader on the image it received, under both
// drivers; the parent run reads the children's results back.
#include "driver_fixture.h"

namespace instkit::testing {
namespace {

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
  std::string p_, c1_, c2_;
};

// The node-tree parent's SetInstalled takes the children's bytes from P's
// image; the flat parent leaves them in P's record inside the caller's image.
TEST_F(NestedRunTest, ParentReadsTheChildrensResultsBackInBothDrivers) {
  for (bool flat : {false, true}) {
    SCOPED_TRACE(flat ? "flat" : "tree");
    Restart();
    TSysNode* p = BuildParent(Top(flat));
    EXPECT_EQ(Run(flat, 1), "1 1 1 1");
    // P's own driver logs inside P's Perform, each line "P: "-prefixed.
    ExpectLog(flat ? "nested.flat" : "nested.tree");
    int children[3];
    if (flat) {
      void* record = TCustomSysNode::GetPointer(0, image_.data(), image_.size());
      ASSERT_NE(record, nullptr);
      EXPECT_EQ(static_cast<uint8_t*>(record)[8], 1);
      const size_t size = image_.size() - (static_cast<uint8_t*>(record) - image_.data());
      for (int i = 0; i < 3; ++i) children[i] = static_cast<uint8_t*>(TCustomSysNode::GetPointer(i, record, size))[8];
    } else {
      EXPECT_TRUE(p->Info->Checked);
      EXPECT_FALSE(p->Info->AllCheck);
      for (int i = 0; i < 3; ++i) children[i] = p->GetNode(i)->Info->Checked;
    }
    EXPECT_EQ(children[0], 1);
    EXPECT_EQ(children[1], 0);
    EXPECT_EQ(children[2], 1);  // no library
    const Lines calls = Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "P nested set=1 ask=1 perform=1"), 1);
    // The children saw the parent's run fields.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "C1 SetClientNumber 42"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "C2 SetSessionName S1"), 1);
    // Progress: C1 and C2 inside P, then P (twice under the node-tree driver).
    EXPECT_EQ(Recorder().progress.size(), flat ? 3u : 4u);
  }
}

}  // namespace
}  // namespace instkit::testing

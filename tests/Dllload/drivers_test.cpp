// End-to-end runs of both drivers over copies of the scripted test library:
// the node-tree driver (TDllLoader, results in the catalogue) and the
// flat-image driver (TDllsLoader over the image of root_, results in the
// Checked bytes of the caller's image).  Each scenario and driver has a
// golden file in tests/data/drivers/ with the whole log, the operator
// messages, the calls every library received and the progress calls; the
// table holds the outcomes of the phases and what ended done.
#include "driver_fixture.h"

namespace instkit::testing {
namespace {

class DriversTest : public DriverTest {};

TEST_F(DriversTest, Scenarios) {
  struct Case {
    const char* log;      // <log>.tree.log and/or <log>.flat.log
    const char* drivers;  // "tree", "flat" or "tree flat"
    uint8_t mode;
    const char* subsystems;  // see Build
    int answer;              // to the first Yes/No question (later ones: No)
    int progress;            // the progress callback's first answer, -1: always TRUE
    const char* outcomes;    // of Run: load set ask perform
    const char* flags;       // see Flags
  };
  const Case cases[] = {
      // The drivers differ in a few log lines, in the progress calls (the
      // node-tree driver calls again at the end of each turn) and in what a
      // library without children gets from SetTreePointer (the flat driver:
      // null).  N has no library: done without being driven; code 3: not
      // done, no message.
      {"install", "tree flat", 1, "A:a A1<A: N: B:b:perform=3", kIdNo, -1, "1 1 1 1", "A+* A1+ N+ B-"},
      // Operator answers after a failed AskQuestions / Perform.  Yes in the
      // questions phase leaves the flat AskAll without its closing line.
      {"ask-failed-no", "tree flat", 1, "A:a:ask=0", kIdNo, -1, "1 1 1 1", "A-"},
      {"ask-failed-yes", "tree flat", 1, "A:a:ask=0", kIdYes, -1, "1 1 2 1", "A-"},
      {"perform-failed-no", "tree flat", 1, "A:a:perform=0", kIdNo, -1, "1 1 1 1", "A-"},
      {"perform-failed-yes", "tree flat", 1, "A:a:perform=0", kIdYes, -1, "1 1 1 2", "A-"},
      // Code 2 from AskQuestions: not performed, run marked aborted, later
      // libraries still asked.  Code 2 from Perform: install counts it as
      // done, uninstall does not; the next library is still performed.
      {"code-two-ask", "tree flat", 1, "A:a:ask=2 B:b", kIdNo, -1, "1 1 2 1", "A- B+"},
      {"code-two-perform-install", "tree flat", 1, "A:a:perform=2 B:b", kIdNo, -1, "1 1 1 2", "A+ B+"},
      {"code-two-perform-uninstall", "tree flat", 2, "A:a:perform=2 B:b", kIdNo, -1, "1 1 1 2", "A- B+"},
      // Setup refused, per mode.  The flat driver logs the refused tree in
      // English; SaveName does not travel in the image, hence the empty name
      // in its message.  An abort leaves SetAll without its closing line and
      // B without setup calls.  A1 gives A a record in the flat image.
      {"setup-tree-refused-install", "tree", 1, "A:a:tree=0 A1<A: B:b", kIdNo, -1, "1 1 1 1", "A- A1+ B+"},
      {"setup-tree-refused-uninstall", "flat", 2, "A:a:tree=0 A1<A: B:b", kIdNo, -1, "1 1 1 1", "A- A1+ B+"},
      {"setup-param-refused-install-yes", "tree", 1, "A:a:param=0 A1<A: B:b", kIdYes, -1, "1 2 1 1", "A- A1+ B+"},
      {"setup-param-refused-uninstall", "tree", 2, "A:a:param=0 A1<A: B:b", kIdNo, -1, "1 1 1 1", "A- A1+ B+"},
      {"setup-param-refused-generate", "tree", 3, "A:a:param=0 A1<A: B:b", kIdYes, -1, "1 1 1 1", "A- A1+ B+"},
      {"setup-mode-refused-uninstall-yes", "tree", 2, "A:a:regim=0 A1<A: B:b", kIdYes, -1, "1 2 1 1", "A- A1+ B+"},
      {"setup-mode-refused-install-yes", "flat", 1, "A:a:regim=0 A1<A: B:b", kIdYes, -1, "1 2 1 1", "A- A1+ B+"},
      {"setup-raises", "tree", 1, "A:a:throw=SetPath A1<A: B:b", kIdNo, -1, "1 1 1 1", "A- A1+ B+"},
      // FALSE from the progress callback ends the perform phase: B's turn
      // never comes, it keeps the Checked of the questions phase (tree) or
      // what the caller wrote (flat; fresh nodes are Checked).
      {"progress-stop", "tree flat", 1, "A:a B:b", kIdNo, 0, "1 1 1 1", "A- B+"},
      // Only the flat driver logs the missing entry points; the node-tree
      // driver's end-of-turn progress call comes without Perform too.
      {"no-entry-points", "tree flat", 1, "P:p@noperform E:e@empty", kIdNo, -1, "1 1 1 1", "P- E-"},
      // A raised failure ends the node-tree driver's phase but costs the
      // flat driver only that library's turn.
      {"perform-raises", "tree flat", 1, "A:a:throw=Perform B:b", kIdNo, -1, "1 1 1 0", "A- B+"},
      // The flat driver goes on through every phase with what it loaded; B
      // got no record, so nothing touched its byte: callers must look at
      // GetCount.
      {"unloadable-generate", "flat", 3, "M:!nothere B:b", kIdNo, -1, "0 1 1 1", "M+ B+"},
      // The library sees the mode in its low byte; the children's bytes it
      // writes are read back.
      {"uninstall", "tree flat", 2, "A:a:checked=1 A1<A:", kIdNo, -1, "1 1 1 1", "A+* A1+"},
      {"generate", "tree flat", 3, "A:a:checked=1 A1<A:", kIdNo, -1, "1 1 1 1", "A+* A1+"},
      // P drives C1 (done), C2 (Perform 0, answered No) and C3 (no library)
      // with its own flat driver, whose lines are "P: "-prefixed; the
      // children see the parent's run fields, and the parent reads their
      // results back (node-tree: SetInstalled from P's image; flat: they
      // stay in P's record of the caller's image).
      {"nested", "tree flat", 1, "P:p:nested=1 C1<P:c1 C2<P:c2:perform=0 C3<P:", kIdNo, -1, "1 1 1 1",
       "P+ C1+ C2- C3+"},
  };
  for (const Case& c : cases) {
    for (bool flat : {false, true}) {
      const char* driver = flat ? "flat" : "tree";
      if (std::string(c.drivers).find(driver) == std::string::npos) continue;
      SCOPED_TRACE(std::string(c.log) + "." + driver);
      Restart();
      Build(flat, c.subsystems);
      Recorder().answers.push_back(c.answer);
      if (c.progress >= 0) Recorder().progress_answers.push_back(c.progress);
      EXPECT_EQ(Run(flat, c.mode), c.outcomes);
      ExpectLog(std::string(c.log) + "." + driver);
      std::string flags = c.flags;
      if (flat) std::erase(flags, '*');  // the flat image keeps no AllCheck of its own
      EXPECT_EQ(Flags(flat), flags);
    }
  }
}

// The message per mode; mode 0 does not log it.
TEST_F(DriversTest, UnloadableLibraryStopsLoadingWithAMessagePerMode) {
  for (uint8_t mode : {0, 1, 2, 3}) {
    SCOPED_TRACE(mode);
    Restart();
    Build(false, "A:a M:!missing.so C:c");
    TDllLoader loader;
    Configure(loader, mode);
    loader.SysTree = &tree_;
    EXPECT_FALSE(loader.LoadDLLs());
    EXPECT_EQ(loader.GetCount(), 1);  // C gets no record
    EXPECT_EQ(loader.LoadFailureLibrary, (temp_ / "missing.so").string());
    EXPECT_NE(loader.LoadFailureReason.find("missing.so"), std::string::npos) << loader.LoadFailureReason;
    ExpectLog("unloadable-mode" + std::to_string(mode) + ".tree");
    loader.UnLoadDLLs();
  }
}

TEST_F(DriversTest, ImagesAreKeptUntilTheNextSetAllAndReadBack) {
  Build(false, "A:a:checked=01 A1<A: A2<A: N:");
  TDllLoader loader;
  Prepare(loader, 1);
  ASSERT_EQ(loader.Images.size(), 2u);
  EXPECT_EQ(loader.Images[0].Size, static_cast<size_t>(tree_.GetNode(0)->GetSize()));
  EXPECT_EQ(loader.Images[1].Data, nullptr);
  loader.AskAll();
  EXPECT_EQ(loader.PerformAll(), 1);
  loader.SetInstalled();
  EXPECT_EQ(Flags(false), "A+ A1- A2+ N+");
  EXPECT_EQ(loader.SetAll(), 1);  // a second SetAll replaces the images
  EXPECT_EQ(loader.Images.size(), 2u);
  EXPECT_NE(loader.GetImage(0), nullptr);
  loader.UnLoadDLLs();
}

TEST_F(DriversTest, FlatPointerChecksAndNeedSelfInstall) {
  TDllsLoader loader;
  EXPECT_TRUE(loader.NeedSelfInstall());
  EXPECT_FALSE(loader.SetPointer(nullptr));
  Build(true, "A: B:");
  root_.Info->IsInst = true;
  image_ = ImageOf(root_);
  ASSERT_TRUE(loader.SetPointer(image_.data(), image_.size()));
  EXPECT_FALSE(loader.NeedSelfInstall());
  EXPECT_EQ(loader.GetPointer(-1), nullptr);
  EXPECT_EQ(loader.GetPointer(2), nullptr);
  TDllsLoader::SetChecked(loader.GetPointer(1), false);
  TDllsLoader::SetChecked(nullptr, true);
  EXPECT_EQ(Flags(true), "A+ B-");
  // A truncated image is refused by the sized reader.
  EXPECT_FALSE(loader.SetPointer(image_.data(), image_.size() - 1));
  EXPECT_EQ(loader.TreeImage, image_.data());
}

}  // namespace
}  // namespace instkit::testing

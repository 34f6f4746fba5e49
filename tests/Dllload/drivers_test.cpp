// End-to-end runs of both drivers over copies of the scripted test library:
// the node-tree driver (TDllLoader, results in the catalogue) and the
// flat-image driver (TDllsLoader over the image of root_, results in the
// Checked bytes of the caller's image).  The whole log of each scenario and
// driver is a golden file (tests/data/drivers/); the tests assert the calls
// every library received, operator messages and the results.
#include "driver_fixture.h"

namespace instkit::testing {
namespace {

int Count(const Lines& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

const char* DriverName(bool flat) { return flat ? "flat" : "tree"; }

class DriversTest : public DriverTest {};

// The two drivers differ in a few log lines, in the progress calls (the
// node-tree driver calls again at the end of each turn) and in what a
// library without children gets from SetTreePointer (the flat driver: null).
TEST_F(DriversTest, InstallRunLogsEveryStepAndMarksDoneSubsystems) {
  for (bool flat : {false, true}) {
    SCOPED_TRACE(DriverName(flat));
    Restart();
    const std::string a = Library("a"), b = Library("b");
    Add(Add(Top(flat), "A", a), "A1", "");
    Add(Top(flat), "N", "");  // no library: done without being driven
    Add(Top(flat), "B", b, "perform=3");
    EXPECT_EQ(Run(flat, 1), "1 1 1 1");
    ExpectLog(std::string("install.") + DriverName(flat));
    EXPECT_TRUE(Done(flat, 0));
    EXPECT_TRUE(Done(flat, 1));
    EXPECT_FALSE(Done(flat, 2));  // code 3: not done, no message
    EXPECT_EQ(Recorder().progress, Lines(flat ? 2 : 4, "100||0"));
    auto setup = [&](const std::string& id, const std::string& tree, const std::string& script) {
      const std::string x = id + " ";
      return Lines{x + "SetLogCallBack set",
                   x + "SetTreePointer " + tree,
                   x + "SetExternalParameter id=" + id + ";record=" + calls_file_ + script,
                   x + "SetIUGRegim 1",
                   x + "SetQuestionsLevel 3",
                   x + "SetPath " + (temp_ / "target").string(),
                   x + "SetClientNumber 42",
                   x + "SetProgressCallBack set",
                   x + "SetSessionName S1",
                   x + "SetHideProgressCallBack null",
                   x + "SetShowProgressCallBack null"};
    };
    const Lines phases = {"A AskQuestions", "B AskQuestions", "A Perform", "B Perform"};
    EXPECT_EQ(Calls(), setup("A", "image children=1", "") +
                           setup("B", flat ? "null" : "image children=0", ";perform=3") + phases);
  }
}

// Operator answers after a failed AskQuestions / Perform, per driver.
TEST_F(DriversTest, OperatorAnswersAfterFailures) {
  struct Case {
    const char* script;
    int answer;
    const char* outcomes;
    const char* log;
  };
  // Yes in the questions phase leaves the flat AskAll without its closing line.
  const Case cases[] = {{"ask=0", kIdNo, "1 1 1 1", "ask-failed-no"},
                        {"ask=0", kIdYes, "1 1 2 1", "ask-failed-yes"},
                        {"perform=0", kIdNo, "1 1 1 1", "perform-failed-no"},
                        {"perform=0", kIdYes, "1 1 1 2", "perform-failed-yes"}};
  for (bool flat : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(DriverName(flat)) + " " + c.script + (c.answer == kIdYes ? " yes" : " no"));
      Restart();
      Add(Top(flat), "A", Library("a"), c.script);
      Recorder().answers.push_back(c.answer);
      EXPECT_EQ(Run(flat, 1), c.outcomes);
      ExpectLog(std::string(c.log) + "." + DriverName(flat));
      EXPECT_FALSE(Done(flat, 0));
    }
  }
}

// Code 2 from AskQuestions: not performed, run marked aborted, later libraries
// still asked.  Code 2 from Perform: install counts it as done, uninstall does
// not; outcome 2 and the next library is still performed.  The line after the
// failed call says so.
TEST_F(DriversTest, CodeTwoInEachPhase) {
  struct Case {
    const char* script;
    uint8_t mode;
    const char* outcomes;
    bool done;
  };
  const Case cases[] = {
      {"ask=2", 1, "1 1 2 1", false}, {"perform=2", 1, "1 1 1 2", true}, {"perform=2", 2, "1 1 1 2", false}};
  for (bool flat : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(DriverName(flat)) + " " + c.script + " mode " + std::to_string(c.mode));
      Restart();
      Add(Top(flat), "A", Library("a"), c.script);
      Add(Top(flat), "B", Library("b"));
      EXPECT_EQ(Run(flat, c.mode), c.outcomes);
      EXPECT_EQ(Done(flat, 0), c.done);
      EXPECT_TRUE(Done(flat, 1));
      const bool ask = c.script[0] == 'a';
      const Lines tail = LogFrom(std::string(flat && ask ? "  " : " ") + "before calling " +
                                 (ask ? "AskQuestions" : "Perform") + " :A");
      ASSERT_GE(tail.size(), 2u);
      EXPECT_EQ(tail[1], flat ? " user abort installation" : " abort installation");
    }
  }
}

// The flat driver logs the refused tree in English.  SaveName does not
// travel in the image, so the flat driver's private tree has none: hence the
// empty name in its message.
TEST_F(DriversTest, SetupFailuresAskTheOperatorPerMode) {
  struct Case {
    bool flat;
    const char* script;
    uint8_t mode;
    int answer;
    const char* outcomes;
    const char* log;
  };
  const Case cases[] = {
      {false, "tree=0", 1, kIdNo, "1 1 1 1", "setup-tree-refused-install.tree"},
      {true, "tree=0", 2, kIdNo, "1 1 1 1", "setup-tree-refused-uninstall.flat"},
      {false, "param=0", 1, kIdYes, "1 2 1 1", "setup-param-refused-install-yes.tree"},
      {false, "param=0", 2, kIdNo, "1 1 1 1", "setup-param-refused-uninstall.tree"},
      {false, "param=0", 3, kIdYes, "1 1 1 1", "setup-param-refused-generate.tree"},
      {false, "regim=0", 2, kIdYes, "1 2 1 1", "setup-mode-refused-uninstall-yes.tree"},
      {true, "regim=0", 1, kIdYes, "1 2 1 1", "setup-mode-refused-install-yes.flat"},
      {false, "throw=SetPath", 1, kIdNo, "1 1 1 1", "setup-raises.tree"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    Restart();
    Add(Add(Top(c.flat), "A", Library("a"), c.script), "A1", "");  // the child gives A a record in the flat image
    Add(Top(c.flat), "B", Library("b"));
    Recorder().answers.push_back(c.answer);
    EXPECT_EQ(Run(c.flat, c.mode), c.outcomes);
    ExpectLog(c.log);
    EXPECT_FALSE(Done(c.flat, 0));
    // An abort leaves SetAll without its closing line, and B without setup calls.
    const bool aborted = c.outcomes[2] == '2';
    EXPECT_EQ(Count(Recorder().log, " OUT function SETALL"), aborted ? 0 : 1);
    EXPECT_EQ(Count(Calls(), "B SetLogCallBack set"), aborted ? 0 : 1);
  }
}

TEST_F(DriversTest, ProgressCallbackFalseEndsThePerformPhase) {
  for (bool flat : {false, true}) {
    SCOPED_TRACE(DriverName(flat));
    Restart();
    Add(Top(flat), "A", Library("a"));
    Add(Top(flat), "B", Library("b"));
    Recorder().progress_answers = {0};
    EXPECT_EQ(Run(flat, 1), "1 1 1 1");
    ExpectLog(std::string("progress-stop.") + DriverName(flat));
    EXPECT_FALSE(Done(flat, 0));
    // B's turn never came: it keeps the Checked of the questions phase (tree)
    // or what the caller wrote (flat; fresh nodes are Checked).
    EXPECT_TRUE(Done(flat, 1));
    EXPECT_EQ(Count(Calls(), "B Perform"), 0);
    EXPECT_EQ(Recorder().progress.size(), 1u);
  }
}

TEST_F(DriversTest, LibraryWithoutPerformOrWithoutEntryPoints) {
  for (bool flat : {false, true}) {
    SCOPED_TRACE(DriverName(flat));
    Restart();
    Add(Top(flat), "P", Library("p", INSTKIT_TEST_NOPERFORM));
    Add(Top(flat), "E", Library("e", INSTKIT_TEST_EMPTY));
    EXPECT_EQ(Run(flat, 1), "1 1 1 1");
    // Only the flat driver logs the missing entry points.
    ExpectLog(std::string("no-entry-points.") + DriverName(flat));
    EXPECT_FALSE(Done(flat, 0));
    EXPECT_FALSE(Done(flat, 1));
    // The node-tree driver's end-of-turn progress call comes without Perform too.
    EXPECT_EQ(Recorder().progress.size(), flat ? 0u : 1u);
    EXPECT_EQ(flat ? nullptr : loader_->GetImage(1), nullptr);  // no SetTreePointer: no image
  }
}

// A raised failure ends the node-tree driver's phase but costs the flat
// driver only that library's turn.
TEST_F(DriversTest, RaisedFailureInPerform) {
  for (bool flat : {false, true}) {
    SCOPED_TRACE(DriverName(flat));
    Restart();
    Add(Top(flat), "A", Library("a"), "throw=Perform");
    Add(Top(flat), "B", Library("b"));
    EXPECT_EQ(Run(flat, 1), "1 1 1 0");
    ExpectLog(std::string("perform-raises.") + DriverName(flat));
    EXPECT_FALSE(Done(flat, 0));
    EXPECT_EQ(Count(Calls(), "B Perform"), flat ? 1 : 0);
  }
}

// The message per mode; mode 0 does not log it.
TEST_F(DriversTest, UnloadableLibraryStopsLoadingWithAMessagePerMode) {
  for (uint8_t mode : {0, 1, 2, 3}) {
    SCOPED_TRACE(mode);
    Restart();
    const std::string missing = (temp_ / "missing.so").string();
    Add(&tree_, "A", Library("a"));
    Add(&tree_, "M", missing);
    Add(&tree_, "C", Library("c"));
    TDllLoader loader;
    Configure(loader, mode);
    loader.SysTree = &tree_;
    EXPECT_FALSE(loader.LoadDLLs());
    EXPECT_EQ(loader.GetCount(), 1);  // C gets no record
    EXPECT_EQ(loader.LoadFailureLibrary, missing);
    EXPECT_NE(loader.LoadFailureReason.find("missing.so"), std::string::npos) << loader.LoadFailureReason;
    ExpectLog("unloadable-mode" + std::to_string(mode) + ".tree");
    loader.UnLoadDLLs();
  }
}

// The flat driver goes on through every phase with what it loaded.
TEST_F(DriversTest, FlatUnloadableLibraryInGenerationMode) {
  const std::string missing = (temp_ / "nothere").string();
  Add(&root_, "M", missing);
  Add(&root_, "B", Library("b"));
  EXPECT_EQ(Run(true, 3), "0 1 1 1");
  ExpectLog("unloadable-generate.flat");
  // B got no record, so nothing touched its byte: callers must look at GetCount.
  EXPECT_TRUE(Done(true, 1));
}

TEST_F(DriversTest, ImagesAreKeptUntilTheNextSetAllAndReadBack) {
  TSysNode* a = Add(&tree_, "A", Library("a"), "checked=01");
  Add(a, "A1", "");
  Add(a, "A2", "");
  Add(&tree_, "N", "");
  TDllLoader loader;
  Prepare(loader, 1);
  ASSERT_EQ(loader.Images.size(), 2u);
  EXPECT_EQ(loader.Images[0].Size, static_cast<size_t>(a->GetSize()));
  EXPECT_EQ(loader.Images[1].Data, nullptr);
  loader.AskAll();
  EXPECT_EQ(loader.PerformAll(), 1);
  loader.SetInstalled();
  EXPECT_FALSE(a->GetNode(0)->Info->Checked);
  EXPECT_TRUE(a->GetNode(1)->Info->Checked);
  EXPECT_FALSE(a->Info->AllCheck);
  EXPECT_EQ(loader.SetAll(), 1);  // a second SetAll replaces the images
  EXPECT_EQ(loader.Images.size(), 2u);
  EXPECT_NE(loader.GetImage(0), nullptr);
  loader.UnLoadDLLs();
}

TEST_F(DriversTest, FlatPointerChecksAndNeedSelfInstall) {
  TDllsLoader loader;
  EXPECT_TRUE(loader.NeedSelfInstall());
  EXPECT_FALSE(loader.SetPointer(nullptr));
  Add(&root_, "A", "");
  Add(&root_, "B", "");
  root_.Info->IsInst = true;
  image_ = ImageOf(root_);
  ASSERT_TRUE(loader.SetPointer(image_.data(), image_.size()));
  EXPECT_FALSE(loader.NeedSelfInstall());
  EXPECT_EQ(loader.GetPointer(-1), nullptr);
  EXPECT_EQ(loader.GetPointer(2), nullptr);
  ASSERT_NE(loader.GetPointer(1), nullptr);
  TDllsLoader::SetChecked(loader.GetPointer(1), true);
  TDllsLoader::SetChecked(nullptr, true);
  EXPECT_TRUE(Done(true, 1));
  // A truncated image is refused by the sized reader.
  EXPECT_FALSE(loader.SetPointer(image_.data(), image_.size() - 1));
  EXPECT_EQ(loader.TreeImage, image_.data());
}

}  // namespace
}  // namespace instkit::testing

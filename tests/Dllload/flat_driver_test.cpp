// End-to-end runs of the flat-image driver (TDllsLoader): the caller's image
// is the record of root_, whose children are the subsystems; results come
// back as the Checked bytes of their records.
#include "driver_fixture.h"

namespace instkit::testing {
namespace {

const Lines kUnload = Logged({"IN function UNLOADDLLS", "OUT function UNLOADDLLS"});

class FlatDriverTest : public DriverTest {
 protected:
  // Runs the whole driver over the image of root_ and keeps the image.
  std::string Run(uint8_t mode) {
    image_ = ImageOf(root_);
    TDllsLoader loader;
    Configure(loader, mode);
    EXPECT_TRUE(loader.SetPointer(image_.data(), image_.size()));
    return RunFlat(loader);
  }
  // From the line `from` to the end of the log.
  Lines LogFrom(const std::string& from) const {
    const Lines& log = Recorder().log;
    return Lines(std::find(log.begin(), log.end(), from), log.end());
  }
};

TEST_F(FlatDriverTest, InstallRunWritesResultsIntoTheCallersImage) {
  const std::string a = Library("a"), b = Library("b");
  TSysNode* sa = Add(&root_, "A", a);
  Add(sa, "A1", "");
  Add(&root_, "N", "");
  Add(&root_, "B", b, "perform=3");
  EXPECT_EQ(Run(1), "1 1 1 1");
  const Lines expected =
      Logged({"IN function LoadDlls"}) + Lines{" library " + a + " loaded successful", " library " + b + " loaded successful"} +
      Logged({"OUT function LoadDlls", "IN function SETALL"}) + GoodSetup("A") + GoodSetup("B") +
      Logged({"OUT function SETALL", "IN procedure ASKALL", " before calling AskQuestions :A",
              "AskQuestions = TRUE  :A", " before calling AskQuestions :B", "AskQuestions = TRUE  :B",
              "OUT procedure ASKALL", "IN function PERFORMALL", "before calling Perform :A", "Perform = TRUE  :A",
              "before calling Perform :B", "OUT function PERFORMALL"}) +
      kUnload;
  EXPECT_EQ(Recorder().log, expected) << ::testing::PrintToString(Log());
  EXPECT_EQ(CheckedByte(image_, 0), 1);
  EXPECT_EQ(CheckedByte(image_, 1), 1);  // no library: done
  EXPECT_EQ(CheckedByte(image_, 2), 0);  // code 3: not done
  // Progress only right after each Perform.
  EXPECT_EQ(Recorder().progress, (Lines{"100||0", "100||0"}));
  const Lines calls = Calls();
  // A has a child: it gets its own record; B has none: null.
  EXPECT_EQ(calls[1], "A SetTreePointer image children=1");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "B SetTreePointer null"), 1);
}

TEST_F(FlatDriverTest, OperatorAnswersAfterFailures) {
  struct Case {
    const char* script;
    int answer;
    const char* outcomes;
    Lines tail;
    int checked;
  };
  const Case cases[] = {
      {"ask=0", kIdNo, "1 1 1 1",
       Logged({"IN procedure ASKALL", " before calling AskQuestions :A", "AskQuestions = FALSE  :A",
               "OUT procedure ASKALL", "IN function PERFORMALL", "OUT function PERFORMALL"}),
       0},
      // Yes in the questions phase leaves AskAll without its closing line.
      {"ask=0", kIdYes, "1 1 2 1",
       Logged({"IN procedure ASKALL", " before calling AskQuestions :A", "AskQuestions = FALSE  :A",
               "user abort installation", "IN function PERFORMALL", "OUT function PERFORMALL"}),
       0},
      {"perform=0", kIdNo, "1 1 1 1",
       Logged({"IN procedure ASKALL", " before calling AskQuestions :A", "AskQuestions = TRUE  :A",
               "OUT procedure ASKALL", "IN function PERFORMALL", "before calling Perform :A", "Perform = FALSE  :A",
               "OUT function PERFORMALL"}),
       0},
      {"perform=0", kIdYes, "1 1 1 2",
       Logged({"IN procedure ASKALL", " before calling AskQuestions :A", "AskQuestions = TRUE  :A",
               "OUT procedure ASKALL", "IN function PERFORMALL", "before calling Perform :A", "Perform = FALSE  :A",
               "user abort installation", "OUT function PERFORMALL"}),
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.script) + (c.answer == kIdYes ? " yes" : " no"));
    TearDown();
    SetUp();
    root_.ClearNodes();
    Add(&root_, "A", Library("a"), c.script);
    Recorder().answers.push_back(c.answer);
    EXPECT_EQ(Run(1), c.outcomes);
    EXPECT_EQ(Recorder().boxes,
              (Lines{"Внимание|Система A не была установлена. Прервать инсталляцию? |0x2024"}));
    EXPECT_EQ(LogFrom(" IN procedure ASKALL"), c.tail + kUnload) << ::testing::PrintToString(Log());
    EXPECT_EQ(CheckedByte(image_, 0), c.checked);
  }
}

TEST_F(FlatDriverTest, CodeTwoInEachPhase) {
  Add(&root_, "A", Library("a"), "ask=2");
  Add(&root_, "B", Library("b"));
  EXPECT_EQ(Run(1), "1 1 2 1");
  EXPECT_EQ(CheckedByte(image_, 0), 0);
  EXPECT_EQ(CheckedByte(image_, 1), 1);
  const Lines ask = LogFrom(" AskQuestions = TRUE  :B");
  EXPECT_NE(std::find(Recorder().log.begin(), Recorder().log.end(), " user abort installation"),
            Recorder().log.end());
  for (uint8_t mode : {1, 2}) {
    SCOPED_TRACE(mode);
    TearDown();
    SetUp();
    root_.ClearNodes();
    Add(&root_, "A", Library("a"), "perform=2");
    Add(&root_, "B", Library("b"));
    EXPECT_EQ(Run(mode), "1 1 1 2");
    EXPECT_EQ(CheckedByte(image_, 0), mode == 1 ? 1 : 0);
    EXPECT_EQ(CheckedByte(image_, 1), 1);  // the next library is still performed
    const Lines tail = LogFrom(" before calling Perform :A");
    ASSERT_GE(tail.size(), 2u);
    EXPECT_EQ(tail[1], " user abort installation");
  }
}

TEST_F(FlatDriverTest, RefusedTreeIsLoggedInEnglish) {
  TSysNode* a = Add(&root_, "A", Library("a"), "tree=0");
  Add(a, "A1", "");
  Recorder().answers.push_back(kIdNo);
  EXPECT_EQ(Run(2), "1 1 1 1");
  EXPECT_EQ(Recorder().boxes, (Lines{"Ошибка|Ошибка при передаче дерева подсистем|0x2010",
                                     "Внимание|Прервать деинсталляцию?|0x2024"}));
  const Lines tail = LogFrom(" call SETTREEPOINTER");
  ASSERT_GE(tail.size(), 4u);
  EXPECT_EQ(Lines(tail.begin(), tail.begin() + 4),
            Logged({"call SETTREEPOINTER", "error receiving subsystems tree", "error sending subsystems params : A",
                    "OUT function SETALL"}));
}

TEST_F(FlatDriverTest, OperatorAbortsTheSetupPhase) {
  const std::string a = Library("a");
  Add(&root_, "A", a, "regim=0");
  Add(&root_, "B", Library("b"));
  Recorder().answers.push_back(kIdYes);
  EXPECT_EQ(Run(1), "1 2 1 1");
  EXPECT_EQ(Recorder().boxes,
            (Lines{"Внимание|Библиотека " + a + " не поддерживает режим инсталляции.\r\nСистема  не будет установлена|0x2030",
                   "Внимание|Прервать инсталляцию?|0x2024"}));
  // SaveName does not travel in the image, so the private tree has none:
  // hence the empty name in the message above.
  const Lines tail = LogFrom(" call SETUIGREGIM");
  ASSERT_GE(tail.size(), 5u);
  EXPECT_EQ(Lines(tail.begin(), tail.begin() + 5),
            Logged({"call SETUIGREGIM"}) + Lines{" library " + a + " do not have install regim."} +
                Logged({"error sending subsystems params : A", "user abort installing", "IN procedure ASKALL"}));
  // B got no setup calls.  (Its Checked still comes from the image, so a
  // caller that goes on to AskAll regardless reaches it: callers stop here.)
  const Lines calls = Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "B SetLogCallBack set"), 0);
}

TEST_F(FlatDriverTest, ProgressCallbackFalseEndsThePerformPhase) {
  Add(&root_, "A", Library("a"));
  Add(&root_, "B", Library("b"));
  Recorder().progress_answers = {0};
  EXPECT_EQ(Run(1), "1 1 1 1");
  EXPECT_EQ(LogFrom(" IN function PERFORMALL"),
            Logged({"IN function PERFORMALL", "before calling Perform :A"}) + kUnload);
  EXPECT_EQ(CheckedByte(image_, 0), 0);
  // B's turn never came: its byte keeps what the caller wrote (fresh nodes are Checked).
  EXPECT_EQ(CheckedByte(image_, 1), 1);
}

TEST_F(FlatDriverTest, MissingEntryPointsAreLogged) {
  Add(&root_, "P", Library("p", INSTKIT_TEST_NOPERFORM));
  Add(&root_, "E", Library("e", INSTKIT_TEST_EMPTY));
  EXPECT_EQ(Run(1), "1 1 1 1");
  EXPECT_EQ(LogFrom(" get functions addesses : E"),
            Logged({"get functions addesses : E", "set all : E", "IN function SETPARAMS", "OUT function SETPARAMS",
                    "OUT function SETALL", "IN procedure ASKALL", " before calling AskQuestions :P",
                    "AskQuestions = TRUE  :P", " before calling AskQuestions :E",
                    "function ASKQUESTIONS not found. Subsystem: E", "OUT procedure ASKALL",
                    "IN function PERFORMALL", "before calling Perform :P", "function PERFORM not found. Subsystem: P",
                    "OUT function PERFORMALL"}) +
                kUnload);
  EXPECT_EQ(CheckedByte(image_, 0), 0);
  EXPECT_EQ(CheckedByte(image_, 1), 0);
  EXPECT_TRUE(Recorder().progress.empty());
}

TEST_F(FlatDriverTest, RaisedFailureCostsOnlyThatLibrarysTurn) {
  Add(&root_, "A", Library("a"), "throw=Perform");
  Add(&root_, "B", Library("b"));
  EXPECT_EQ(Run(1), "1 1 1 0");
  EXPECT_EQ(LogFrom(" IN function PERFORMALL"),
            Logged({"IN function PERFORMALL", "before calling Perform :A", "ETestFailure : Perform failed",
                    "before calling Perform :B", "Perform = TRUE  :B", "OUT function PERFORMALL"}) +
                kUnload);
  EXPECT_EQ(CheckedByte(image_, 0), 0);
  EXPECT_EQ(CheckedByte(image_, 1), 1);
}

TEST_F(FlatDriverTest, UnloadableLibraryInGenerationMode) {
  const std::string missing = (temp_ / "nothere").string();
  Add(&root_, "M", missing);
  Add(&root_, "B", Library("b"));
  EXPECT_EQ(Run(3), "0 1 1 1");
  const std::string text = "Не удалось загрузить " + missing + ". Генерация будет прервана.";
  EXPECT_EQ(Recorder().boxes, (Lines{"Ошибка|" + text + "|0x2010"}));
  EXPECT_EQ(Recorder().log, Logged({"IN function LoadDlls", text, "OUT function LoadDlls", "IN function SETALL",
                                    "OUT function SETALL", "IN procedure ASKALL", "OUT procedure ASKALL",
                                    "IN function PERFORMALL", "OUT function PERFORMALL"}) +
                                kUnload);
  // B got no record, so nothing touched its byte: callers must look at GetCount.
  EXPECT_EQ(CheckedByte(image_, 1), 1);
}

TEST_F(FlatDriverTest, PointerChecksAndNeedSelfInstall) {
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
  EXPECT_EQ(CheckedByte(image_, 1), 1);
  // A truncated image is refused by the sized reader.
  EXPECT_FALSE(loader.SetPointer(image_.data(), image_.size() - 1));
  EXPECT_EQ(loader.TreeImage, image_.data());
}

}  // namespace
}  // namespace instkit::testing

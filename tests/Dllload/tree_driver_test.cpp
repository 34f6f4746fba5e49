// End-to-end runs of the node-tree driver (TDllLoader) over copies of the
// scripted test library: whole log transcripts, the calls every library
// received, operator messages and the results left in the catalogue.
#include "driver_fixture.h"

namespace instkit::testing {
namespace {

Lines Loaded(const std::vector<std::string>& libraries) {
  Lines lines = Logged({"IN function LoadDlls"});
  for (const auto& lib : libraries) lines.push_back(" library " + lib + " loaded successful");
  return lines + Logged({"OUT function LoadDlls"});
}

const Lines kUnload = Logged({"IN function UNLOADDLLS", "OUT function UNLOADDLLS"});

class TreeDriverTest : public DriverTest {};

TEST_F(TreeDriverTest, InstallRunLogsEveryStepAndMarksDoneSubsystems) {
  const std::string a = Library("a"), b = Library("b");
  Add(&tree_, "A", a);
  Add(&tree_, "N", "");  // no library: done without being driven
  Add(&tree_, "B", b, "perform=3");
  TDllLoader loader;
  Configure(loader, 1);
  EXPECT_EQ(RunTree(loader), "1 1 1 1");
  const Lines expected = Loaded({a, b}) + Logged({"IN function SETALL"}) + GoodSetup("A") + GoodSetup("B") +
                         Logged({"OUT function SETALL", "IN procedure ASKALL", "before calling AskQuestions :A",
                                 "AskQuestions = TRUE  :A", "before calling AskQuestions :B",
                                 "AskQuestions = TRUE  :B", "OUT procedure ASKALL", "IN procedure PERFORMALL",
                                 "before calling Perform :A", "Perform = TRUE  :A", "before calling Perform :B",
                                 "OUT procedure PERFORMALL"}) +
                         kUnload;
  EXPECT_EQ(Recorder().log, expected) << ::testing::PrintToString(Log());
  EXPECT_TRUE(tree_.GetNode(0)->Info->Checked);
  EXPECT_TRUE(tree_.GetNode(1)->Info->Checked);
  EXPECT_FALSE(tree_.GetNode(2)->Info->Checked);  // code 3: not done, no message
  EXPECT_TRUE(Recorder().boxes.empty());
  // Progress callback: after each Perform and again at the end of each turn.
  EXPECT_EQ(Recorder().progress, (Lines{"100||0", "100||0", "100||0", "100||0"}));
  const std::string target = (temp_ / "target").string();
  const std::string param_a = "id=A;record=" + calls_file_;
  const std::string param_b = "id=B;record=" + calls_file_ + ";perform=3";
  EXPECT_EQ(Calls(), (Lines{"A SetLogCallBack set", "A SetTreePointer image children=0",
                            "A SetExternalParameter " + param_a, "A SetIUGRegim 1", "A SetQuestionsLevel 3",
                            "A SetPath " + target, "A SetClientNumber 42", "A SetProgressCallBack set",
                            "A SetSessionName S1", "A SetHideProgressCallBack null",
                            "A SetShowProgressCallBack null", "B SetLogCallBack set",
                            "B SetTreePointer image children=0", "B SetExternalParameter " + param_b,
                            "B SetIUGRegim 1", "B SetQuestionsLevel 3", "B SetPath " + target,
                            "B SetClientNumber 42", "B SetProgressCallBack set", "B SetSessionName S1",
                            "B SetHideProgressCallBack null", "B SetShowProgressCallBack null", "A AskQuestions",
                            "B AskQuestions", "A Perform", "B Perform"}));
}

TEST_F(TreeDriverTest, LogPrefixFollowsTheLeadingBlank) {
  Add(&tree_, "N", "");
  TDllLoader loader;
  Configure(loader, 1);
  loader.LogPrefix = "setup";
  loader.SysTree = &tree_;
  loader.LoadDLLs();
  EXPECT_EQ(Recorder().log, (Lines{" setup: IN function LoadDlls", " setup: OUT function LoadDlls"}));
}

// Operator answers after a failed AskQuestions / Perform, per phase.
TEST_F(TreeDriverTest, OperatorAnswersAfterFailures) {
  struct Case {
    const char* script;
    int answer;
    const char* outcomes;
    Lines tail;  // log from "IN procedure ASKALL" up to the unload lines
    bool checked;
  };
  const std::string q = "Внимание|Система A не была установлена. Прервать инсталляцию? |0x2024";
  const Case cases[] = {
      {"ask=0", kIdNo, "1 1 1 1",
       Logged({"IN procedure ASKALL", "before calling AskQuestions :A", "AskQuestions = FALSE  :A",
               "OUT procedure ASKALL", "IN procedure PERFORMALL", "OUT procedure PERFORMALL"}),
       false},
      {"ask=0", kIdYes, "1 1 2 1",
       Logged({"IN procedure ASKALL", "before calling AskQuestions :A", "AskQuestions = FALSE  :A",
               "user abort installation", "OUT procedure ASKALL", "IN procedure PERFORMALL",
               "OUT procedure PERFORMALL"}),
       false},
      {"perform=0", kIdNo, "1 1 1 1",
       Logged({"IN procedure ASKALL", "before calling AskQuestions :A", "AskQuestions = TRUE  :A",
               "OUT procedure ASKALL", "IN procedure PERFORMALL", "before calling Perform :A",
               "Perform = FALSE  :A", "OUT procedure PERFORMALL"}),
       false},
      {"perform=0", kIdYes, "1 1 1 2",
       Logged({"IN procedure ASKALL", "before calling AskQuestions :A", "AskQuestions = TRUE  :A",
               "OUT procedure ASKALL", "IN procedure PERFORMALL", "before calling Perform :A",
               "Perform = FALSE  :A", "user abort installation", "OUT procedure PERFORMALL"}),
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.script) + (c.answer == kIdYes ? " yes" : " no"));
    TearDown();
    SetUp();
    tree_.ClearNodes();
    Add(&tree_, "A", Library("a"), c.script);
    Recorder().answers.push_back(c.answer);
    TDllLoader loader;
    Configure(loader, 1);
    EXPECT_EQ(RunTree(loader), c.outcomes);
    EXPECT_EQ(Recorder().boxes, (Lines{q}));
    const Lines& log = Recorder().log;
    const Lines tail(std::find(log.begin(), log.end(), " IN procedure ASKALL"), log.end());
    EXPECT_EQ(tail, c.tail + kUnload) << ::testing::PrintToString(Log());
    EXPECT_EQ(tree_.GetNode(0)->Info->Checked, c.checked);
  }
}

TEST_F(TreeDriverTest, CodeTwoInEachPhase) {
  // AskQuestions 2: not performed, run marked aborted, later libraries asked.
  {
    Add(&tree_, "A", Library("a"), "ask=2");
    Add(&tree_, "B", Library("b"));
    TDllLoader loader;
    Configure(loader, 1);
    EXPECT_EQ(RunTree(loader), "1 1 2 1");
    EXPECT_FALSE(tree_.GetNode(0)->Info->Checked);
    EXPECT_TRUE(tree_.GetNode(1)->Info->Checked);
    EXPECT_NE(std::find(Recorder().log.begin(), Recorder().log.end(), " abort installation"), Recorder().log.end());
  }
  // Perform 2: install counts it as done, uninstall does not; outcome 2 and
  // the next library is still performed.
  for (uint8_t mode : {1, 2}) {
    SCOPED_TRACE(mode);
    tree_.ClearNodes();
    TearDown();
    SetUp();
    Add(&tree_, "A", Library("a"), "perform=2");
    Add(&tree_, "B", Library("b"));
    TDllLoader loader;
    Configure(loader, mode);
    EXPECT_EQ(RunTree(loader), "1 1 1 2");
    EXPECT_EQ(tree_.GetNode(0)->Info->Checked, mode == 1);
    EXPECT_TRUE(tree_.GetNode(1)->Info->Checked);
    const Lines& log = Recorder().log;
    auto at = std::find(log.begin(), log.end(), " before calling Perform :A");
    ASSERT_NE(at, log.end());
    EXPECT_EQ(*(at + 1), " abort installation");
  }
}

TEST_F(TreeDriverTest, SetupFailuresAskTheOperatorPerMode) {
  struct Case {
    const char* script;
    uint8_t mode;
    int answer;
    const char* outcomes;
    Lines boxes;
    Lines log_lines;  // the lines after "set all : A" up to the end of A's turn
  };
  const Case cases[] = {
      {"tree=0", 1, kIdNo, "1 1 1 1",
       {"Ошибка|Ошибка при передаче дерева подсистем|0x2010", "Внимание|Прервать инсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "Ошибка при передаче дерева подсистем",
               "error sending subsystems params : A"})},
      {"param=0", 1, kIdYes, "1 2 1 1",
       {"Ошибка|Неверный параметр. Система SecAне будет установлена|0x2010",
        "Внимание|Прервать инсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "IN function SETPARAMS", "call SETEXTERNALPARAMETER",
               "Invalid parameter. Subsystem SecAdoes not installing", "error sending subsystems params : A",
               "user abort installing"})},
      {"param=0", 2, kIdNo, "1 1 1 1",
       {"Ошибка|Неверный параметр. Система SecAне будет удалена|0x2010",
        "Внимание|Прервать деинсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "IN function SETPARAMS", "call SETEXTERNALPARAMETER",
               "Invalid parameter. Subsystem SecAdoes not uninstalling", "error sending subsystems params : A"})},
      {"param=0", 3, kIdYes, "1 1 1 1", {},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "IN function SETPARAMS", "call SETEXTERNALPARAMETER",
               "error sending subsystems params : A"})},
      {"regim=0", 2, kIdYes, "1 2 1 1",
       {"Внимание|Библиотека LIB не поддерживает режим деинсталляции.\r\nСистема SecA не будет удалена|0x2030",
        "Внимание|Прервать деинсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "IN function SETPARAMS", "call SETEXTERNALPARAMETER",
               "call SETUIGREGIM", "library LIB do not have uninstall regim.", "error sending subsystems params : A",
               "user abort uninstalling"})},
      {"throw=SetPath", 1, kIdNo, "1 1 1 1", {"Внимание|Прервать инсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "IN function SETPARAMS", "call SETEXTERNALPARAMETER",
               "call SETUIGREGIM", "call SETQUESTIONSLEVEL", "call SETPATH", "OUT function SETPARAMS",
               "error sending subsystems params : A"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.script) + " mode " + std::to_string(c.mode));
    TearDown();
    SetUp();
    tree_.ClearNodes();
    const std::string a = Library("a");
    Add(&tree_, "A", a, c.script);
    Recorder().answers.push_back(c.answer);
    TDllLoader loader;
    Configure(loader, c.mode);
    EXPECT_EQ(RunTree(loader), c.outcomes);
    Lines boxes;
    for (std::string box : c.boxes) {
      if (auto at = box.find("LIB"); at != std::string::npos) box.replace(at, 3, a);
      boxes.push_back(box);
    }
    EXPECT_EQ(Recorder().boxes, boxes);
    const Lines& log = Recorder().log;
    auto from = std::find(log.begin(), log.end(), " set all : A");
    ASSERT_NE(from, log.end());
    Lines got(from + 1, from + 1 + std::min<size_t>(c.log_lines.size(), log.end() - from - 1));
    Lines want;
    for (std::string line : c.log_lines) {
      if (auto at = line.find("LIB"); at != std::string::npos) line.replace(at, 3, a);
      want.push_back(line);
    }
    EXPECT_EQ(got, want) << ::testing::PrintToString(Log());
    EXPECT_FALSE(tree_.GetNode(0)->Info->Checked);
    // An abort leaves SetAll without its closing line.
    const bool closed = std::find(log.begin(), log.end(), " OUT function SETALL") != log.end();
    EXPECT_EQ(closed, std::string(c.outcomes).substr(2, 1) != "2");
  }
}

TEST_F(TreeDriverTest, ProgressCallbackFalseEndsThePerformPhase) {
  Add(&tree_, "A", Library("a"));
  Add(&tree_, "B", Library("b"));
  Recorder().progress_answers = {0};
  TDllLoader loader;
  Configure(loader, 1);
  EXPECT_EQ(RunTree(loader), "1 1 1 1");
  const Lines& log = Recorder().log;
  const Lines tail(std::find(log.begin(), log.end(), " IN procedure PERFORMALL"), log.end());
  EXPECT_EQ(tail, Logged({"IN procedure PERFORMALL", "before calling Perform :A"}) + kUnload);
  EXPECT_FALSE(tree_.GetNode(0)->Info->Checked);
  // B was never reached: it keeps the Checked of the questions phase.
  EXPECT_TRUE(tree_.GetNode(1)->Info->Checked);
  const Lines calls = Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "B Perform"), 0);
  EXPECT_EQ(Recorder().progress.size(), 1u);
}

TEST_F(TreeDriverTest, LibraryWithoutPerformOrWithoutEntryPoints) {
  const std::string empty = Library("empty", INSTKIT_TEST_EMPTY);
  Add(&tree_, "P", Library("p", INSTKIT_TEST_NOPERFORM));
  Add(&tree_, "E", empty);
  TDllLoader loader;
  Configure(loader, 1);
  EXPECT_EQ(RunTree(loader), "1 1 1 1");
  const Lines& log = Recorder().log;
  const Lines tail(std::find(log.begin(), log.end(), " get functions addesses : E"), log.end());
  EXPECT_EQ(tail, Logged({"get functions addesses : E", "set all : E", "IN function SETPARAMS",
                          "OUT function SETPARAMS", "OUT function SETALL", "IN procedure ASKALL",
                          "before calling AskQuestions :P", "AskQuestions = TRUE  :P",
                          "before calling AskQuestions :E", "OUT procedure ASKALL", "IN procedure PERFORMALL",
                          "before calling Perform :P", "OUT procedure PERFORMALL"}) +
                      kUnload);
  EXPECT_FALSE(tree_.GetNode(0)->Info->Checked);
  EXPECT_FALSE(tree_.GetNode(1)->Info->Checked);
  // The library without Perform still gets the end-of-turn progress call.
  EXPECT_EQ(Recorder().progress.size(), 1u);
  EXPECT_EQ(loader.GetImage(1), nullptr);  // no SetTreePointer: no image
}

TEST_F(TreeDriverTest, RaisedFailureEndsTheWholePhase) {
  Add(&tree_, "A", Library("a"), "throw=Perform");
  Add(&tree_, "B", Library("b"));
  TDllLoader loader;
  Configure(loader, 1);
  EXPECT_EQ(RunTree(loader), "1 1 1 0");
  const Lines& log = Recorder().log;
  const Lines tail(std::find(log.begin(), log.end(), " IN procedure PERFORMALL"), log.end());
  EXPECT_EQ(tail, Logged({"IN procedure PERFORMALL", "before calling Perform :A",
                          "ETestFailure : Perform failed", "OUT procedure PERFORMALL"}) +
                      kUnload);
  const Lines calls = Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "B Perform"), 0);
}

TEST_F(TreeDriverTest, UnloadableLibraryStopsLoadingWithAMessagePerMode) {
  struct Case {
    uint8_t mode;
    const char* box;
    bool logged;
  };
  const Case cases[] = {
      {1, " Не удалось загрузить LIB. Инсталляция будет прервана.", true},
      {2, "Не удалось загрузить LIB. Денсталляция будет прервана.", true},
      {3, "Не удалось загрузить LIB. Генерация будет прервана.", true},
      {0, "Не удалось загрузить LIB", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    TearDown();
    SetUp();
    tree_.ClearNodes();
    const std::string missing = (temp_ / "missing.so").string();
    const std::string a = Library("a");
    Add(&tree_, "A", a);
    Add(&tree_, "M", missing);
    Add(&tree_, "C", Library("c"));
    TDllLoader loader;
    Configure(loader, c.mode);
    loader.SysTree = &tree_;
    EXPECT_FALSE(loader.LoadDLLs());
    EXPECT_EQ(loader.GetCount(), 1);  // C gets no record
    EXPECT_EQ(loader.LoadFailureLibrary, missing);
    EXPECT_NE(loader.LoadFailureReason.find("missing.so"), std::string::npos) << loader.LoadFailureReason;
    std::string text = c.box;
    text.replace(text.find("LIB"), 3, missing);
    EXPECT_EQ(Recorder().boxes, (Lines{"Ошибка|" + text + "|0x2010"}));
    Lines expected = Logged({"IN function LoadDlls"});
    expected.push_back(" library " + a + " loaded successful");
    if (c.logged) expected.push_back(" " + Utf8ToCp1251(text));
    expected.push_back(" OUT function LoadDlls");
    EXPECT_EQ(Recorder().log, expected);
    loader.UnLoadDLLs();
  }
}

TEST_F(TreeDriverTest, ImagesAreKeptUntilTheNextSetAllAndReadBack) {
  TSysNode* a = Add(&tree_, "A", Library("a"), "checked=01");
  Add(a, "A1", "");
  Add(a, "A2", "");
  Add(&tree_, "N", "");
  TDllLoader loader;
  Configure(loader, 1);
  loader.SysTree = &tree_;
  ASSERT_TRUE(loader.LoadDLLs());
  ASSERT_EQ(loader.SetAll(), 1);
  ASSERT_EQ(loader.Images.size(), 2u);
  EXPECT_EQ(loader.Images[0].Size, static_cast<size_t>(a->GetSize()));
  EXPECT_EQ(loader.Images[1].Data, nullptr);
  loader.AskAll();
  EXPECT_EQ(loader.PerformAll(), 1);
  loader.SetInstalled();
  EXPECT_FALSE(a->GetNode(0)->Info->Checked);
  EXPECT_TRUE(a->GetNode(1)->Info->Checked);
  EXPECT_FALSE(a->Info->AllCheck);
  void* first = loader.GetImage(0);
  EXPECT_EQ(loader.SetAll(), 1);  // a second SetAll replaces the images
  EXPECT_EQ(loader.Images.size(), 2u);
  EXPECT_NE(loader.GetImage(0), nullptr);
  (void)first;
  loader.UnLoadDLLs();
}

}  // namespace
}  // namespace instkit::testing

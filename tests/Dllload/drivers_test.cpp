// End-to-end runs of both drivers over copies of the scripted test library:
// the node-tree driver (TDllLoader, results in the catalogue) and the
// flat-image driver (TDllsLoader over the image of root_, results in the
// Checked bytes of the caller's image).  Whole log transcripts, the calls
// every library received, operator messages and the results.
#include "driver_fixture.h"

namespace instkit::testing {
namespace {

Lines Loaded(const std::vector<std::string>& libraries) {
  Lines lines = Logged({"IN function LoadDlls"});
  for (const auto& lib : libraries) lines.push_back(" library " + lib + " loaded successful");
  return lines + Logged({"OUT function LoadDlls"});
}

const Lines kUnload = Logged({"IN function UNLOADDLLS", "OUT function UNLOADDLLS"});

int Count(const Lines& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

const char* DriverName(bool flat) { return flat ? "flat" : "tree"; }

// Log lines written once for both drivers, as Logged() gives them, except
// that the flat driver indents "before calling AskQuestions" once more and
// calls PERFORMALL a function where the node-tree driver calls it a
// procedure; a line starting with "tree:" or "flat:" is written by that
// driver only.
Lines ForDriver(bool flat, const Lines& texts) {
  Lines lines;
  for (std::string text : texts) {
    if (text.rfind("tree:", 0) == 0 || text.rfind("flat:", 0) == 0) {
      if ((text[0] == 'f') != flat) continue;
      text.erase(0, 5);
    }
    if (flat && text.rfind("before calling AskQuestions", 0) == 0) text = " " + text;
    if (auto at = text.find("procedure PERFORMALL"); flat && at != std::string::npos) text.replace(at, 9, "function");
    lines.push_back(" " + Utf8ToCp1251(text));
  }
  return lines;
}

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
    const Lines expected =
        Loaded({a, b}) + Logged({"IN function SETALL"}) + GoodSetup("A") + GoodSetup("B") +
        ForDriver(flat, {"OUT function SETALL", "IN procedure ASKALL", "before calling AskQuestions :A",
                         "AskQuestions = TRUE  :A", "before calling AskQuestions :B", "AskQuestions = TRUE  :B",
                         "OUT procedure ASKALL", "IN procedure PERFORMALL", "before calling Perform :A",
                         "Perform = TRUE  :A", "before calling Perform :B", "OUT procedure PERFORMALL"}) +
        kUnload;
    EXPECT_EQ(Recorder().log, expected) << ::testing::PrintToString(Log());
    EXPECT_TRUE(Done(flat, 0));
    EXPECT_TRUE(Done(flat, 1));
    EXPECT_FALSE(Done(flat, 2));  // code 3: not done, no message
    EXPECT_TRUE(Recorder().boxes.empty());
    EXPECT_EQ(Recorder().progress, Lines(flat ? 2 : 4, "100||0"));
    auto setup = [&](const std::string& id, const std::string& tree, const std::string& script) {
      const std::string x = id + " ";
      return Lines{x + "SetLogCallBack set", x + "SetTreePointer " + tree,
                   x + "SetExternalParameter id=" + id + ";record=" + calls_file_ + script, x + "SetIUGRegim 1",
                   x + "SetQuestionsLevel 3", x + "SetPath " + (temp_ / "target").string(), x + "SetClientNumber 42",
                   x + "SetProgressCallBack set", x + "SetSessionName S1", x + "SetHideProgressCallBack null",
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
    Lines tail;  // log from "IN procedure ASKALL" up to the unload lines
  };
  const Case cases[] = {
      {"ask=0", kIdNo, "1 1 1 1",
       {"IN procedure ASKALL", "before calling AskQuestions :A", "AskQuestions = FALSE  :A", "OUT procedure ASKALL",
        "IN procedure PERFORMALL", "OUT procedure PERFORMALL"}},
      // Yes in the questions phase leaves the flat AskAll without its closing line.
      {"ask=0", kIdYes, "1 1 2 1",
       {"IN procedure ASKALL", "before calling AskQuestions :A", "AskQuestions = FALSE  :A", "user abort installation",
        "tree:OUT procedure ASKALL", "IN procedure PERFORMALL", "OUT procedure PERFORMALL"}},
      {"perform=0", kIdNo, "1 1 1 1",
       {"IN procedure ASKALL", "before calling AskQuestions :A", "AskQuestions = TRUE  :A", "OUT procedure ASKALL",
        "IN procedure PERFORMALL", "before calling Perform :A", "Perform = FALSE  :A", "OUT procedure PERFORMALL"}},
      {"perform=0", kIdYes, "1 1 1 2",
       {"IN procedure ASKALL", "before calling AskQuestions :A", "AskQuestions = TRUE  :A", "OUT procedure ASKALL",
        "IN procedure PERFORMALL", "before calling Perform :A", "Perform = FALSE  :A", "user abort installation",
        "OUT procedure PERFORMALL"}},
  };
  for (bool flat : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(DriverName(flat)) + " " + c.script + (c.answer == kIdYes ? " yes" : " no"));
      Restart();
      Add(Top(flat), "A", Library("a"), c.script);
      Recorder().answers.push_back(c.answer);
      EXPECT_EQ(Run(flat, 1), c.outcomes);
      EXPECT_EQ(Recorder().boxes, (Lines{"Внимание|Система A не была установлена. Прервать инсталляцию? |0x2024"}));
      EXPECT_EQ(LogFrom(" IN procedure ASKALL"), ForDriver(flat, c.tail) + kUnload) << ::testing::PrintToString(Log());
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

TEST_F(DriversTest, SetupFailuresAskTheOperatorPerMode) {
  struct Case {
    bool flat;
    const char* script;
    uint8_t mode;
    int answer;
    const char* outcomes;
    Lines boxes;
    Lines log_lines;  // the lines after "set all : A" up to the end of A's turn
  };
  const Case cases[] = {
      {false, "tree=0", 1, kIdNo, "1 1 1 1",
       {"Ошибка|Ошибка при передаче дерева подсистем|0x2010", "Внимание|Прервать инсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "Ошибка при передаче дерева подсистем",
               "error sending subsystems params : A"})},
      // The flat driver logs the refused tree in English.
      {true, "tree=0", 2, kIdNo, "1 1 1 1",
       {"Ошибка|Ошибка при передаче дерева подсистем|0x2010", "Внимание|Прервать деинсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "error receiving subsystems tree",
               "error sending subsystems params : A"})},
      {false, "param=0", 1, kIdYes, "1 2 1 1",
       {"Ошибка|Неверный параметр. Система SecAне будет установлена|0x2010",
        "Внимание|Прервать инсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "IN function SETPARAMS", "call SETEXTERNALPARAMETER",
               "Invalid parameter. Subsystem SecAdoes not installing", "error sending subsystems params : A",
               "user abort installing"})},
      {false, "param=0", 2, kIdNo, "1 1 1 1",
       {"Ошибка|Неверный параметр. Система SecAне будет удалена|0x2010",
        "Внимание|Прервать деинсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "IN function SETPARAMS", "call SETEXTERNALPARAMETER",
               "Invalid parameter. Subsystem SecAdoes not uninstalling", "error sending subsystems params : A"})},
      {false, "param=0", 3, kIdYes, "1 1 1 1", {},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "IN function SETPARAMS", "call SETEXTERNALPARAMETER",
               "error sending subsystems params : A"})},
      {false, "regim=0", 2, kIdYes, "1 2 1 1",
       {"Внимание|Библиотека LIB не поддерживает режим деинсталляции.\r\nСистема SecA не будет удалена|0x2030",
        "Внимание|Прервать деинсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "IN function SETPARAMS", "call SETEXTERNALPARAMETER",
               "call SETUIGREGIM", "library LIB do not have uninstall regim.", "error sending subsystems params : A",
               "user abort uninstalling"})},
      // SaveName does not travel in the image, so the flat driver's private
      // tree has none: hence the empty name in its message.
      {true, "regim=0", 1, kIdYes, "1 2 1 1",
       {"Внимание|Библиотека LIB не поддерживает режим инсталляции.\r\nСистема  не будет установлена|0x2030",
        "Внимание|Прервать инсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "IN function SETPARAMS", "call SETEXTERNALPARAMETER",
               "call SETUIGREGIM", "library LIB do not have install regim.", "error sending subsystems params : A",
               "user abort installing"})},
      {false, "throw=SetPath", 1, kIdNo, "1 1 1 1", {"Внимание|Прервать инсталляцию?|0x2024"},
       Logged({"call SETLOGCALLBACK", "call SETTREEPOINTER", "IN function SETPARAMS", "call SETEXTERNALPARAMETER",
               "call SETUIGREGIM", "call SETQUESTIONSLEVEL", "call SETPATH", "OUT function SETPARAMS",
               "error sending subsystems params : A"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(DriverName(c.flat)) + " " + c.script + " mode " + std::to_string(c.mode));
    Restart();
    const std::string a = Library("a");
    Add(Add(Top(c.flat), "A", a, c.script), "A1", "");  // the child gives A a record in the flat image
    Add(Top(c.flat), "B", Library("b"));
    Recorder().answers.push_back(c.answer);
    EXPECT_EQ(Run(c.flat, c.mode), c.outcomes);
    auto with_library = [&](Lines lines) {
      for (std::string& line : lines) {
        if (auto at = line.find("LIB"); at != std::string::npos) line.replace(at, 3, a);
      }
      return lines;
    };
    EXPECT_EQ(Recorder().boxes, with_library(c.boxes));
    const Lines& log = Recorder().log;
    auto from = std::find(log.begin(), log.end(), " set all : A");
    ASSERT_NE(from, log.end());
    Lines got(from + 1, from + 1 + std::min<size_t>(c.log_lines.size(), log.end() - from - 1));
    EXPECT_EQ(got, with_library(c.log_lines)) << ::testing::PrintToString(Log());
    EXPECT_FALSE(Done(c.flat, 0));
    // An abort leaves SetAll without its closing line, and B without setup calls.
    const bool aborted = c.outcomes[2] == '2';
    EXPECT_EQ(Count(log, " OUT function SETALL"), aborted ? 0 : 1);
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
    const Lines expected = ForDriver(flat, {"IN procedure PERFORMALL", "before calling Perform :A"}) + kUnload;
    EXPECT_EQ(LogFrom(expected[0]), expected);
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
    const Lines expected = ForDriver(
        flat, {"get functions addesses : E", "set all : E", "IN function SETPARAMS", "OUT function SETPARAMS",
               "OUT function SETALL", "IN procedure ASKALL", "before calling AskQuestions :P",
               "AskQuestions = TRUE  :P", "before calling AskQuestions :E", "flat:function ASKQUESTIONS not found. Subsystem: E",
               "OUT procedure ASKALL", "IN procedure PERFORMALL", "before calling Perform :P",
               "flat:function PERFORM not found. Subsystem: P", "OUT procedure PERFORMALL"});
    EXPECT_EQ(LogFrom(" get functions addesses : E"), expected + kUnload);
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
    const Lines expected = ForDriver(flat, {"IN procedure PERFORMALL", "before calling Perform :A",
                                            "ETestFailure : Perform failed", "flat:before calling Perform :B",
                                            "flat:Perform = TRUE  :B", "OUT procedure PERFORMALL"});
    EXPECT_EQ(LogFrom(expected[0]), expected + kUnload);
    EXPECT_FALSE(Done(flat, 0));
    EXPECT_EQ(Count(Calls(), "B Perform"), flat ? 1 : 0);
  }
}

TEST_F(DriversTest, UnloadableLibraryStopsLoadingWithAMessagePerMode) {
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
    Restart();
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
    Lines expected = Loaded({a});
    if (c.logged) expected.insert(expected.end() - 1, " " + Utf8ToCp1251(text));
    EXPECT_EQ(Recorder().log, expected);
    loader.UnLoadDLLs();
  }
}

// The flat driver goes on through every phase with what it loaded.
TEST_F(DriversTest, FlatUnloadableLibraryInGenerationMode) {
  const std::string missing = (temp_ / "nothere").string();
  Add(&root_, "M", missing);
  Add(&root_, "B", Library("b"));
  EXPECT_EQ(Run(true, 3), "0 1 1 1");
  const std::string text = "Не удалось загрузить " + missing + ". Генерация будет прервана.";
  EXPECT_EQ(Recorder().boxes, (Lines{"Ошибка|" + text + "|0x2010"}));
  EXPECT_EQ(Recorder().log, Logged({"IN function LoadDlls", text, "OUT function LoadDlls", "IN function SETALL",
                                    "OUT function SETALL", "IN procedure ASKALL", "OUT procedure ASKALL",
                                    "IN function PERFORMALL", "OUT function PERFORMALL"}) +
                                kUnload);
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

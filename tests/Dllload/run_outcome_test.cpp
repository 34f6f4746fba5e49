// Whole runs through the engine (Engine/run_engine.h) over copies of the
// scripted test library, with both drivers: where a run stops, what counts
// as done, what the registry records and which links are made, together;
// and libraries that crash, exit or hang inside the worker process.
#include <algorithm>
#include <filesystem>
#include <functional>

#include "Engine/answer_book.h"
#include "Engine/run_engine.h"
#include "Engine/run_input.h"
#include "driver_fixture.h"
#include "host/platform/file.h"
#include "host/platform/registry.h"
#include "host/platform/worker.h"

namespace instkit::testing {
namespace {

namespace fs = std::filesystem;

class TTestHost : public TRunHost {
 public:
  TAnswerBook answers;
  std::function<void(const std::string&)> on_log;
  Lines output;
  TAnswer OnQuestion(const TOperatorBox& question) override {
    return answers.Find(question.kind).value_or(TAnswer{false, "default"});
  }
  void OnLogLine(const std::string& line) override {
    if (on_log) on_log(line);
  }
  void OnLibraryOutput(const std::string& line) override { output.push_back(line); }
};

// Whether runs may fork worker processes here.  ThreadSanitizer cannot
// follow a child that starts threads after a fork of a multi-threaded
// process (its own background thread counts): under it, runs use a worker
// thread.
bool ForkingWorkers() {
#if defined(__SANITIZE_THREAD__)
  return false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
  return false;
#endif
#endif
  return NewWorkerProcess() != nullptr;
}

class RunOutcomeTest : public DriverTest {
 protected:
  TRunOptions Options(bool flat) const {
    TRunOptions options;
    options.description_file = (temp_ / "setup.idf").string();
    options.path = (temp_ / "target").string();
    options.registry = (temp_ / "reg.db").string();
    options.links_root = (temp_ / "links").string();
    options.log_file = (temp_ / "run.log").string();
    options.flat = flat;
    options.in_process = !ForkingWorkers();
    return options;
  }
  // The short names the registry records as installed.
  std::string Recorded() const {
    const std::string store = (temp_ / "reg.db").string();
    if (!TRegistry::StoreExists(store)) return "";
    TRegistry registry(store);
    std::string names;
    if (registry.OpenKey(InstalledKeyFor("setup"), false)) {
      for (const std::string& name : registry.GetValueNames()) names += (names.empty() ? "" : " ") + name;
    }
    return names;
  }
  size_t Links() const {
    std::error_code code;
    const fs::recursive_directory_iterator files(temp_ / "links", code);
    return static_cast<size_t>(
        std::count_if(begin(files), end(files), [](const auto& f) { return f.is_regular_file(); }));
  }
  // "A+ B-" for done and not done, then the questions: "| perform-failed:yes".
  static std::string Outcome(const TRunReport& report) {
    std::string text;
    for (const TSubsystemReport& s : report.subsystems) text += s.short_name + (s.done ? "+ " : "- ");
    text += "|";
    for (const TQuestionReport& q : report.questions)
      text += std::string(" ") + QuestionKindName(q.question.kind) + ":" + (q.answer.yes ? "yes" : "no");
    return text;
  }
};

// A subsystem counts as done only when the perform loop came to it and its
// library said so; the registry and the links follow exactly that.
TEST_F(RunOutcomeTest, StopCasesRecordAndLinkExactlyWhatWasDone) {
  struct Case {
    const char* what;
    const char* a_script;  // A's; "missing" makes B's library a missing file
    bool yes;              // the operator's answer to every question
    TRunStatus status;
    const char* outcome;  // see Outcome
    const char* recorded;
    size_t links;
  };
  const Case cases[] = {
      {"all done", "", false, TRunStatus::kDone, "A+ A1+ B+ C+ |", "A A1 B C", 4},
      {"first Perform fails, abort", "perform=0", true, TRunStatus::kNotAllDone, "A- A1- B- C- | perform-failed:yes",
       "", 0},
      {"first Perform fails, go on", "perform=0", false, TRunStatus::kNotAllDone, "A- A1- B+ C+ | perform-failed:no",
       "B C", 2},
      {"questions fail, abort", "ask=0", true, TRunStatus::kNotAllDone, "A- A1- B- C- | questions-failed:yes", "", 0},
      {"setup fails, abort", "param=0", true, TRunStatus::kNotAllDone, "A- A1- B- C- | setup-failed:yes", "", 0},
      {"Perform returns 2 (install counts it)", "perform=2", false, TRunStatus::kDone, "A+ A1+ B+ C+ |", "A A1 B C", 4},
      {"second library does not load", "missing", false, TRunStatus::kNotAllDone, "A- A1- B- C- |", "", 0},
      {"abort while the first library performs", "worker=1", false, TRunStatus::kInterrupted, "A- A1- B- C- |", "", 0},
  };
  for (int variant = 0; variant < 3; ++variant) {
    const bool flat = variant == 1;
    const bool in_process = variant == 2;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(flat ? "flat " : in_process ? "tree in process " : "tree ") + c.what);
      Restart();
      const bool missing = std::string(c.a_script) == "missing";
      Describe(std::string("A:a:") + c.a_script + " A1<A: B:" + (missing ? "!missing.so" : "b") + " C:");
      TRunOptions options = Options(flat);
      options.in_process = options.in_process || in_process;
      TRunEngine engine(options);
      TTestHost host;
      host.answers.SetAll(c.yes, "test");
      host.on_log = [&engine](const std::string& line) {
        if (line == " worker started") engine.Abort();
      };
      const TRunReport& report = engine.Run(host);
      EXPECT_EQ(report.status, c.status) << report.failure;
      EXPECT_EQ(Outcome(report), c.outcome);
      EXPECT_EQ(Recorded(), c.recorded);
      EXPECT_EQ(Links(), c.links);
      EXPECT_EQ(report.isolated, !options.in_process);
    }
  }
}

// A question the driver asks itself has its phase's kind; one asked by a
// driver that a library runs for its children is "other".
TEST_F(RunOutcomeTest, QuestionKindsComeFromWhereTheDriverIs) {
  Describe("P:p:nested=1 C1<P:c1:perform=0 Q:q:perform=0");
  TRunEngine engine(Options(false));
  TTestHost host;
  const TRunReport& report = engine.Run(host);
  EXPECT_EQ(Outcome(report), "P+ C1- Q- | other:no perform-failed:no");
  ASSERT_EQ(report.questions.size(), 2u);
  EXPECT_EQ(report.questions[0].question.subsystem.short_name, "P");  // P's turn when C1's driver asked
  EXPECT_EQ(report.questions[1].question.subsystem.short_name, "Q");
}

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#endif
#endif
  return false;
}

// A library that crashes, exits or hangs ends only the worker process: the
// log keeps every line up to it, what finished before it is recorded, and
// the failure names the library and how it failed.
TEST_F(RunOutcomeTest, CrashExitAndHangAreContained) {
  if (!ForkingWorkers()) GTEST_SKIP() << "no worker processes here";
  struct Case {
    const char* b_script;
    const char* failure;  // after "library <b> "
  };
  // AddressSanitizer catches SIGSEGV itself and exits.
  const Case cases[] = {
      {"crash=Perform",
       UnderAddressSanitizer() ? "ended the run in Perform with exit status" : "crashed in Perform: SIGSEGV"},
      {"abort=Perform", "crashed in Perform: SIGABRT"},
      {"exit=Perform", "ended the run in Perform with exit status 3"},
      {"hang=Perform", "did not finish Perform within 1 s; it was stopped"},
      {"crash=AskQuestions",
       UnderAddressSanitizer() ? "ended the run in AskQuestions" : "crashed in AskQuestions: SIGSEGV"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.b_script);
    Restart();
    Describe(std::string("A:a:say=hello-from-A B:b:") + c.b_script + " C:");
    const std::string b = (temp_ / "b").string() + INSTKIT_TEST_LIBRARY_SUFFIX;
    TRunOptions options = Options(false);
    options.timeout_seconds = 1;
    TRunEngine engine(options);
    TTestHost host;
    const TRunReport& report = engine.Run(host);
    EXPECT_EQ(report.status, TRunStatus::kFailed);
    EXPECT_NE(report.failure.find("library " + b + " " + c.failure), std::string::npos) << report.failure;
    const bool asked = std::string(c.b_script).find("AskQuestions") != std::string::npos;
    EXPECT_EQ(Outcome(report), asked ? "A- B- C- |" : "A+ B- C- |");
    EXPECT_EQ(Recorded(), asked ? "" : "A");
    // What follows A's line is whatever the dying process printed (a
    // sanitizer's report, say).
    if (!asked) {
      EXPECT_EQ(host.output.empty() ? "" : host.output[0], "hello-from-A");
    }
    const std::string log = ReadWholeFile((temp_ / "run.log").string());
    const std::string tail = asked ? " before calling AskQuestions :B\n"
                                   : "> hello-from-A\n Perform = TRUE  :A\n before calling Perform :B\n";
    EXPECT_LT(log.find(tail), log.find("# instkit: library " + b + " " + c.failure)) << log;
    EXPECT_EQ(log.find("# instkit"), log.rfind("# instkit"));
  }
}

}  // namespace
}  // namespace instkit::testing

// One installation run from the command line (install, uninstall, generate),
// as a reusable unit in clear stages:
//
//   LoadDescription -> BuildCatalogue -> [hooks.select] -> Drive -> ReadBack
//   -> [hooks.after_run] -> PrintSummary / ExitStatus
//
// Drive uses the node-tree driver over the catalogue, or with `flat` the
// flat-image driver over an image of the whole catalogue.  Operator
// questions are answered by, in this order: the --answers file for that kind
// of question, --yes/--no, a Yes/No prompt on a terminal, else No.  Ctrl-C
// during the run calls the driver's Abort once; a second Ctrl-C ends the
// process.  The log file holds every log line exactly as the driver passed it
// (Windows-1251, leading blank), each ended by LF.
//
// Other commands extend the run through RegisterRunExtension: an extension
// adds options to each run subcommand and fills the hooks of that run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace instkit {
class TIDFTextFile;
class TSysTree;
}  // namespace instkit

namespace instkit::cli {

// The kinds of operator question, with the names --answers uses.
enum class TQuestionKind {
  kSetupFailed,      // "setup-failed": abort after a library's setup failed?
  kQuestionsFailed,  // "questions-failed": abort after AskQuestions answered 0?
  kPerformFailed,    // "perform-failed": abort after Perform answered 0?
  kOther,            // "other": any other Yes/No question
};
const char* QuestionKindName(TQuestionKind kind);
std::optional<TQuestionKind> QuestionKindFromName(const std::string& name);
// One line per kind, for --help.
std::string QuestionKindsHelp();

struct TRunOptions {
  uint8_t mode = 1;  // 1 install, 2 uninstall, 3 generation
  std::string description_file;
  std::string path;  // handed to the libraries as the file system spells it
  std::optional<bool> answer_all;  // --yes / --no
  std::string answers_file;
  std::string log_file;
  std::string log_prefix;    // UTF-8 here; the driver gets Windows-1251
  std::string session_name;  // UTF-8 here; the libraries get Windows-1251
  int32_t client_number = 0;
  uint8_t questions_level = 0;
  bool flat = false;
  bool verbose = false;
  std::vector<std::string> library_paths;  // searched after the description's folder
  bool interactive = false;  // set by the command from the terminal state
};

// The outcome of one subsystem, for the summary and the hooks.
struct TSubsystemResult {
  int depth = 0;           // 0 for a top-level subsystem
  int32_t sys_index = 0;
  std::string short_name;  // Windows-1251
  std::string library;     // Windows-1251
  bool loaded = true;      // false: its top-level library (or an earlier one) did not load
  bool done = false;
};

struct TQuestionRecord {
  TQuestionKind kind;
  std::string caption;  // Windows-1251
  std::string text;     // Windows-1251
  bool yes = false;
  std::string source;   // "answers file", "--yes", "--no", "operator", "default"
};

struct TRunReport {
  bool loaded = false;  // LoadDLLs result
  uint8_t set_outcome = 0;
  uint8_t ask_state = 0;
  uint8_t perform_outcome = 0;
  bool interrupted = false;  // Ctrl-C reached the libraries
  std::string load_failure;  // the system's reason when a library did not load
  std::vector<TSubsystemResult> results;
  std::vector<TQuestionRecord> questions;
  bool AllDone() const;
};

struct TRunHooks {
  // After the catalogue is built (every subsystem Checked), before driving:
  // may narrow the tree (clear Checked, delete nodes).  False ends the run
  // with exit status 1 before any library is loaded.
  std::function<bool(TIDFTextFile& description, TSysTree& tree)> select;
  // After the results are read back into the tree, before the summary.
  std::function<void(TIDFTextFile& description, TSysTree& tree, const TRunReport& report)> after_run;
};

// Adds options to one run subcommand and returns the hook filler that runs
// once the command line is parsed.
using TRunExtension = std::function<std::function<void(TRunOptions&, TRunHooks&)>(CLI::App& subcommand)>;
void RegisterRunExtension(TRunExtension extension);
const std::vector<TRunExtension>& RunExtensions();

class TInstallRun {
 public:
  TInstallRun(TRunOptions options, TRunHooks hooks);
  ~TInstallRun();

  // The stages; each returns false (after printing why) when the run cannot go on.
  bool LoadAnswers();
  bool LoadDescription();
  bool BuildCatalogue();
  bool Select();
  void Drive();
  void ReadBack();
  void AfterRun();
  void PrintSummary() const;
  int ExitStatus() const;

  // All stages in order; the process exit status.
  int Execute();

  const TRunReport& Report() const { return report_; }
  TSysTree& Tree() { return *tree_; }

  // The callbacks' shared state (install_run.cpp).
  struct TState;

 private:
  TRunOptions options_;
  TRunHooks hooks_;
  std::unique_ptr<TIDFTextFile> description_;
  std::unique_ptr<TSysTree> tree_;
  TRunReport report_;
  std::unique_ptr<TState> state_;
  std::vector<bool> top_loaded_;  // per top-level subsystem: its library was loaded
};

}  // namespace instkit::cli

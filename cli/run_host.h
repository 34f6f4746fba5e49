// The command line as the host of a run (Engine/run_events.h): prints what
// the operator should see and answers the questions.
//
// Unpacking shows a progress bar by bytes on stderr when stderr is a
// terminal (and neither --quiet nor --json), redrawn at most ten times a
// second and cleared when the archives are done.
//
// Questions are answered, in this order, by the answers book (--answers
// for that kind, then --yes/--no), a Yes/No prompt when stdin and stderr
// are a terminal, else No.  Messages with only an OK button go to stderr.
// -v echoes the log and the libraries' progress texts to stderr in UTF-8;
// --quiet leaves out everything but failures; with --json nothing but the
// final object goes to stdout.
#pragma once

#include "Engine/answer_book.h"
#include <cstdint>

#include "Engine/run_events.h"

namespace instkit::cli {

struct TCliRunSettings {
  bool verbose = false;
  bool quiet = false;
  bool json = false;
  bool interactive = false;   // prompt the operator
  bool progress_bar = false;  // stderr is a terminal
  TAnswerBook answers;
};

class TCliRunHost : public TRunHost {
 public:
  explicit TCliRunHost(const TCliRunSettings& settings) : settings_(settings) {}

  void OnLogLine(const std::string& line) override;
  void OnLibraryOutput(const std::string& line) override;
  void OnProgress(const TProgress& progress) override;
  TAnswer OnQuestion(const TOperatorBox& question) override;
  void OnMessage(const TOperatorBox& message) override;
  void OnNotice(const TNotice& notice) override;
  void OnUnpackProgress(const TUnpackProgressEvent& progress) override;

  // What the run recorded and which links it made, kept for after the
  // summary.
  std::string deferred;

 private:
  void ClearBar();

  const TCliRunSettings& settings_;
  bool bar_shown_ = false;
  int64_t bar_drawn_ms_ = 0;
};

}  // namespace instkit::cli

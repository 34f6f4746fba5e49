// The run screen: the engine (Engine/run_engine.h) runs on a thread of its
// own while the terminal's thread draws and reads keys.  This class is the
// run's host: every event is turned into the screen's state under a lock,
// and the key loop draws that state.
//
//   - a bar per phase (subsystems finished of those that have a turn in it)
//     and one for the subsystem whose turn it is, driven by the libraries'
//     progress callbacks where they call them;
//   - the log as it comes (the driver's and the libraries' lines, what the
//     libraries print, the engine's notices);
//   - the drivers' Yes/No questions as dialogs with their own caption and
//     Russian text: the run waits for the answer;
//   - p pauses and resumes the libraries (Suspend / Resume); Esc or Ctrl-C
//     asks "abort?" and then Abort.
// Phases and question kinds this screen does not know (a later engine may
// add some) are shown by the engine's own names, like the others.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Engine/run_engine.h"
#include "cli/setup/screen.h"
#include "cli/setup/selection_screen.h"
#include "cli/setup/widgets.h"

namespace instkit::cli::setup {

class TRunScreen : public TRunHost {
 public:
  // `top_level`: the selected top-level subsystems; `with_library`: those
  // of them that name a library (only they have turns before Perform).
  TRunScreen(TRunEngine& engine, std::string title, int top_level, int with_library);
  ~TRunScreen() override;

  // Starts the run on its thread.
  void Start();
  // The run has ended (Run returned); its report is the engine's.
  bool Finished() const;
  // What went wrong when Run itself raised; "" otherwise.
  std::string Crash() const;
  // True, once, after an event changed what the screen shows.
  bool TakeChanged();

  void Draw(TScreen& screen);
  void Key(int key, const TScreen& screen);

  // TRunHost, called on the run's thread.
  void OnLogLine(const std::string& line) override;
  void OnLibraryOutput(const std::string& line) override;
  void OnPhaseStarted(TRunPhase phase) override;
  void OnPhaseEnded(TRunPhase phase, uint8_t outcome) override;
  void OnSubsystemStarted(TRunPhase phase, const TSubsystemRef& subsystem) override;
  void OnSubsystemFinished(TRunPhase phase, const TSubsystemRef& subsystem, bool good) override;
  void OnProgress(const TProgress& progress) override;
  TAnswer OnQuestion(const TOperatorBox& question) override;
  void OnMessage(const TOperatorBox& message) override;
  void OnNotice(const TNotice& notice) override;

 private:
  struct TPhaseRow {
    TRunPhase phase;
    std::string name;
    enum { kWaiting, kRunning, kEnded, kSkipped } state = kWaiting;
    uint8_t outcome = 0;
    int finished = 0;  // subsystems whose turn ended
  };
  TPhaseRow& Row(TRunPhase phase);                             // under the lock
  void Log(std::string utf8, TStyle style = TStyle::kNormal);  // under the lock
  int Total(TRunPhase phase) const;

  TRunEngine& engine_;
  std::string title_;
  int top_level_;
  int with_library_;
  std::thread thread_;

  mutable std::mutex mutex_;
  std::condition_variable answered_;
  std::vector<TPhaseRow> phases_;
  std::string current_;  // the subsystem whose turn it is, UTF-8
  int percent_ = 0;
  std::string progress_text_;
  std::deque<std::pair<std::string, TStyle>> log_;
  size_t log_back_ = 0;  // lines scrolled back from the newest
  std::optional<TOperatorBox> question_;
  std::optional<bool> answer_;
  bool finished_ = false;
  bool changed_ = true;
  std::string crash_;

  // The key loop's own state.
  std::optional<TDialog> question_dialog_;
  std::optional<TDialog> abort_dialog_;
  bool paused_ = false;
  bool stopping_ = false;
};

}  // namespace instkit::cli::setup

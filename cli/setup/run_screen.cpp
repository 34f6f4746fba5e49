#include "cli/setup/run_screen.h"

#include <algorithm>

#include "host/base/codepage.h"

namespace instkit::cli::setup {

namespace {

constexpr size_t kLogLines = 5000;  // kept for scrolling back

}  // namespace

TRunScreen::TRunScreen(TRunEngine& engine, std::string title, int top_level, int with_library)
    : engine_(engine), title_(std::move(title)), top_level_(top_level), with_library_(with_library) {
  // Every phase the engine knows, in order, waiting.
  for (const TPhaseReport& phase : engine.Report().phases) phases_.push_back({phase.phase, PhaseName(phase.phase)});
}

TRunScreen::~TRunScreen() {
  if (thread_.joinable()) {
    engine_.Abort();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      answer_ = false;
    }
    answered_.notify_all();
    thread_.join();
  }
}

void TRunScreen::Start() {
  thread_ = std::thread([this] {
    std::string crash;
    try {
      engine_.Run(*this);
    } catch (const std::exception& e) {
      crash = e.what();
    } catch (...) {
      crash = "the run failed";
    }
    std::lock_guard<std::mutex> lock(mutex_);
    crash_ = crash;
    finished_ = true;
    changed_ = true;
  });
}

bool TRunScreen::Finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

std::string TRunScreen::Crash() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return crash_;
}

bool TRunScreen::TakeChanged() {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool changed = changed_;
  changed_ = false;
  return changed;
}

TRunScreen::TPhaseRow& TRunScreen::Row(TRunPhase phase) {
  for (TPhaseRow& row : phases_) {
    if (row.phase == phase) return row;
  }
  // A phase this screen was not told of: in its place by number.
  auto at = std::find_if(phases_.begin(), phases_.end(), [phase](const TPhaseRow& r) { return r.phase > phase; });
  return *phases_.insert(at, TPhaseRow{phase, PhaseName(phase)});
}

int TRunScreen::Total(TRunPhase phase) const {
  const bool library_turns = phase == TRunPhase::kLoad || phase == TRunPhase::kSetup ||
                             phase == TRunPhase::kQuestions || phase == TRunPhase::kUnload;
  return std::max(library_turns ? with_library_ : top_level_, 1);
}

void TRunScreen::Log(std::string utf8, TStyle style) {
  log_.emplace_back(std::move(utf8), style);
  if (log_.size() > kLogLines) log_.pop_front();
  if (log_back_ > 0) log_back_ = std::min(log_back_ + 1, log_.size());
  changed_ = true;
}

void TRunScreen::OnLogLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  Log(Cp1251ToUtf8(line));
}

void TRunScreen::OnLibraryOutput(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  Log("> " + line, TStyle::kDim);
}

void TRunScreen::OnPhaseStarted(TRunPhase phase) {
  std::lock_guard<std::mutex> lock(mutex_);
  TPhaseRow& row = Row(phase);
  // A phase the run passed over (no archives to unpack) never starts.
  for (TPhaseRow& earlier : phases_) {
    if (&earlier == &row) break;
    if (earlier.state == TPhaseRow::kWaiting) earlier.state = TPhaseRow::kSkipped;
  }
  row.state = TPhaseRow::kRunning;
  row.finished = 0;
  current_.clear();
  changed_ = true;
}

void TRunScreen::OnPhaseEnded(TRunPhase phase, uint8_t outcome) {
  std::lock_guard<std::mutex> lock(mutex_);
  TPhaseRow& row = Row(phase);
  row.state = TPhaseRow::kEnded;
  row.outcome = outcome;
  current_.clear();
  changed_ = true;
}

void TRunScreen::OnSubsystemStarted(TRunPhase phase, const TSubsystemRef& subsystem) {
  std::lock_guard<std::mutex> lock(mutex_);
  Row(phase);
  current_ = std::to_string(subsystem.sys_index) + " " + Cp1251ToUtf8(subsystem.short_name);
  percent_ = 0;
  progress_text_.clear();
  changed_ = true;
}

void TRunScreen::OnSubsystemFinished(TRunPhase phase, const TSubsystemRef& subsystem, bool good) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++Row(phase).finished;
  percent_ = 100;
  if (!good) {
    Log(Cp1251ToUtf8(subsystem.short_name) + ": " + PhaseActivity(phase) + " did not succeed", TStyle::kWarn);
  }
  changed_ = true;
}

void TRunScreen::OnProgress(const TProgress& progress) {
  std::lock_guard<std::mutex> lock(mutex_);
  percent_ = std::clamp(progress.percent, 0, 100);
  if (!progress.text.empty()) progress_text_ = Cp1251ToUtf8(progress.text);
  changed_ = true;
}

TAnswer TRunScreen::OnQuestion(const TOperatorBox& question) {
  std::unique_lock<std::mutex> lock(mutex_);
  Log(Cp1251ToUtf8(question.caption) + ": " + Cp1251ToUtf8(question.text), TStyle::kWarn);
  question_ = question;
  answer_.reset();
  changed_ = true;
  answered_.wait(lock, [this] { return answer_.has_value(); });
  const bool yes = *answer_;
  question_.reset();
  Log(std::string("  -> ") + (yes ? "Да" : "Нет") + " (operator)", TStyle::kWarn);
  return {yes, "operator"};
}

void TRunScreen::OnMessage(const TOperatorBox& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  Log(Cp1251ToUtf8(message.caption) + ": " + Cp1251ToUtf8(message.text), TStyle::kBad);
}

void TRunScreen::OnNotice(const TNotice& notice) {
  std::lock_guard<std::mutex> lock(mutex_);
  Log("instkit: " + notice.text, notice.kind == TNoticeKind::kStopping ? TStyle::kWarn : TStyle::kGood);
}

void TRunScreen::Draw(TScreen& screen) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (question_ && !answer_ && !question_dialog_) {
    question_dialog_.emplace(Cp1251ToUtf8(question_->caption), Cp1251ToUtf8(question_->text),
                             std::vector<std::string>{"Да", "Нет"}, true);
  }
  screen.Erase();
  screen.Caret(false);
  DrawTitle(screen, title_, "Step 5 of 6: Installing");
  const int cols = screen.Cols();
  const int bar = std::clamp(cols - 36, 10, 40);
  int row = 2;
  for (const TPhaseRow& p : phases_) {
    const int total = Total(p.phase);
    int percent = 0;
    std::string state;
    TStyle style = TStyle::kNormal;
    switch (p.state) {
      case TPhaseRow::kWaiting:
        state = "waiting";
        style = TStyle::kDim;
        break;
      case TPhaseRow::kSkipped:
        state = "not needed";
        style = TStyle::kDim;
        break;
      case TPhaseRow::kRunning:
        percent = (std::min(p.finished, total) * 100 + (current_.empty() ? 0 : percent_)) / total;
        state = std::to_string(std::min(p.finished, total)) + " of " + std::to_string(total);
        style = TStyle::kKey;
        break;
      case TPhaseRow::kEnded:
        percent = p.outcome == 1 ? 100 : (p.finished * 100) / total;
        state = p.outcome == 1 ? "done" : (p.outcome == 2 ? "aborted" : "failed");
        style = p.outcome == 1 ? TStyle::kGood : TStyle::kBad;
        break;
    }
    screen.Put(row, 1, p.name, style, 11);
    DrawBar(screen, row, 13, bar, percent);
    screen.Put(row, 14 + bar, state, style, cols - 15 - bar);
    ++row;
  }
  ++row;
  if (!current_.empty()) {
    const int name_width = std::min(TextWidth(current_), cols / 3);
    screen.Put(row, 1, current_, TStyle::kKey, name_width);
    const int bar_col = name_width + 3;
    const int small = std::clamp(cols - bar_col - 8 - 16, 10, 30);
    DrawBar(screen, row, bar_col, small, percent_);
    screen.Put(row, bar_col + small + 1, std::to_string(percent_) + "%  " + progress_text_, TStyle::kNormal,
               cols - bar_col - small - 2);
  }
  ++row;
  screen.Rule(row, log_back_ > 0 ? "log (" + std::to_string(log_back_) + " lines back)" : "log");
  const int log_rows = screen.Rows() - 2 - row;
  const size_t end = log_.size() - std::min(log_back_, log_.size());
  const size_t first = end > static_cast<size_t>(std::max(log_rows, 0)) ? end - static_cast<size_t>(log_rows) : 0;
  for (size_t i = first; i < end; ++i) {
    screen.Put(row + 1 + static_cast<int>(i - first), 0, FitWidth(log_[i].first, cols), log_[i].second);
  }
  const std::string status = finished_ ? "finished" : (stopping_ ? "stopping…" : (paused_ ? "PAUSED" : "running"));
  DrawHelp(screen, {{"p", paused_ ? "resume" : "pause"}, {"Esc", "abort"}, {"PgUp/PgDn", "log"}}, status);
  if (question_dialog_) {
    question_dialog_->Draw(screen);
  } else if (abort_dialog_) {
    abort_dialog_->Draw(screen);
  }
}

void TRunScreen::Key(int key, const TScreen& screen) {
  if (question_dialog_) {
    if (const auto choice = question_dialog_->Key(key)) {
      question_dialog_.reset();
      {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_ = *choice == 0;
      }
      answered_.notify_all();
    }
    return;
  }
  if (abort_dialog_) {
    if (const auto choice = abort_dialog_->Key(key)) {
      abort_dialog_.reset();
      if (*choice == 0) {
        stopping_ = true;
        // A paused library could not hear the request.
        if (paused_) engine_.Resume();
        paused_ = false;
        engine_.Abort();
      }
    }
    return;
  }
  const size_t page = static_cast<size_t>(std::max(screen.Rows() - 14, 1));
  switch (key) {
    case 'p':
    case 'P':
      if (stopping_ || Finished()) break;
      paused_ = !paused_;
      paused_ ? engine_.Suspend() : engine_.Resume();
      break;
    case kKeyEscape:
    case kKeyInterrupt:
      if (!stopping_ && !Finished()) {
        abort_dialog_.emplace("Abort?",
                              "Abort the installation? The libraries are asked to stop; what is done so far is "
                              "recorded, the rest is not.",
                              std::vector<std::string>{"Abort", "Go on"});
      }
      break;
    case kKeyPageUp: {
      std::lock_guard<std::mutex> lock(mutex_);
      log_back_ = std::min(log_back_ + page, log_.size());
      break;
    }
    case kKeyPageDown: {
      std::lock_guard<std::mutex> lock(mutex_);
      log_back_ = log_back_ > page ? log_back_ - page : 0;
      break;
    }
    default:
      break;
  }
}

}  // namespace instkit::cli::setup

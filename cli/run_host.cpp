#include "cli/run_host.h"

#include <chrono>
#include <cstdio>
#include <iostream>

#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/base/format.h"
#include "host/base/text.h"

namespace instkit::cli {

namespace {

bool StartsWith(const std::string& text, const std::string& head) { return text.compare(0, head.size(), head) == 0; }

// A Yes/No prompt on the terminal; anything but y/д (or a read that fails,
// as after Ctrl-C) is No.
bool PromptYesNo(const TOperatorBox& box) {
  PrintError("\n" + Cp1251ToUtf8(box.caption) + ": " + Cp1251ToUtf8(box.text));
  std::fputs("[y/N] ", stderr);
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  answer = std::string(Trim(answer));
  return !answer.empty() &&
         (answer[0] == 'y' || answer[0] == 'Y' || StartsWith(answer, "д") || StartsWith(answer, "Д"));
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Megabytes(uint64_t bytes) { return Format("%.1f MB", static_cast<double>(bytes) / 1e6); }

}  // namespace

void TCliRunHost::ClearBar() {
  if (!bar_shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  bar_shown_ = false;
}

void TCliRunHost::OnUnpackProgress(const TUnpackProgressEvent& progress) {
  if (!settings_.progress_bar || settings_.quiet || settings_.json) return;
  const bool last = progress.done >= progress.total && progress.archive_number == progress.archive_count &&
                    progress.entry.empty() && progress.done > 0;
  const int64_t now = NowMs();
  if (last) {
    ClearBar();
    return;
  }
  if (bar_shown_ && now - bar_drawn_ms_ < 100) return;
  bar_drawn_ms_ = now;
  constexpr int kWidth = 30;
  const double share = progress.total > 0 ? static_cast<double>(progress.done) / static_cast<double>(progress.total)
                                          : 0;
  const int filled = static_cast<int>(share * kWidth);
  const std::string line =
      "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(kWidth - filled), ' ') +
      "] " + Format("%3d%% ", static_cast<int>(share * 100)) + Megabytes(progress.done) + " of " +
      Megabytes(progress.total) + Format("  %d/%d ", progress.archive_number, progress.archive_count) +
      Cp1251ToUtf8(progress.archive);
  // Return and erase the line, then the bar; a name's own controls escaped.
  std::fputs(("\r\033[K" + EscapeControls(line)).c_str(), stderr);
  std::fflush(stderr);
  bar_shown_ = true;
}

void TCliRunHost::OnLogLine(const std::string& line) {
  if (settings_.verbose) PrintError(Cp1251ToUtf8(line));
}

void TCliRunHost::OnLibraryOutput(const std::string& line) {
  if (!settings_.quiet) PrintError(line);
}

void TCliRunHost::OnProgress(const TProgress& progress) {
  if (settings_.verbose && !progress.text.empty()) {
    PrintError(Format("progress %d%% ", progress.percent) + Cp1251ToUtf8(progress.text));
  }
}

TAnswer TCliRunHost::OnQuestion(const TOperatorBox& question) {
  ClearBar();
  if (auto answer = settings_.answers.Find(question.kind)) {
    if (!settings_.quiet) {
      PrintError(Cp1251ToUtf8(question.caption) + ": " + Cp1251ToUtf8(question.text) + " -> " +
                 (answer->yes ? "Yes" : "No") + " (" + answer->source + ")");
    }
    return *answer;
  }
  if (settings_.interactive) return {PromptYesNo(question), "operator"};
  if (!settings_.quiet) {
    PrintError(Cp1251ToUtf8(question.caption) + ": " + Cp1251ToUtf8(question.text) + " -> No (default)");
  }
  return {false, "default"};
}

void TCliRunHost::OnMessage(const TOperatorBox& message) {
  PrintError(Cp1251ToUtf8(message.caption) + ": " + Cp1251ToUtf8(message.text));
}

void TCliRunHost::OnNotice(const TNotice& notice) {
  ClearBar();
  if (notice.kind == TNoticeKind::kStopping) {
    PrintError("instkit: " + notice.text);
    return;
  }
  if (settings_.quiet || settings_.json) return;
  if (notice.kind == TNoticeKind::kRecorded || notice.kind == TNoticeKind::kLinks) {
    deferred += notice.text + "\n";
    return;
  }
  PrintUtf8(notice.text + "\n");
}

}  // namespace instkit::cli

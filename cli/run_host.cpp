#include "cli/run_host.h"

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

}  // namespace

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

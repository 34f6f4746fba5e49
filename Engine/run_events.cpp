#include "Engine/run_events.h"

#include "Engine/run_report.h"
#include "host/platform/message_box.h"

namespace instkit {

const char* PhaseName(TRunPhase phase) {
  switch (phase) {
    case TRunPhase::kLoad:
      return "load";
    case TRunPhase::kSetup:
      return "setup";
    case TRunPhase::kQuestions:
      return "questions";
    case TRunPhase::kUnpack:
      return "unpack";
    case TRunPhase::kPerform:
      return "perform";
    case TRunPhase::kUnload:
      return "unload";
  }
  return "?";
}

const char* PhaseActivity(TRunPhase phase) {
  switch (phase) {
    case TRunPhase::kLoad:
      return "loading";
    case TRunPhase::kSetup:
      return "setup";
    case TRunPhase::kQuestions:
      return "AskQuestions";
    case TRunPhase::kUnpack:
      return "unpacking";
    case TRunPhase::kPerform:
      return "Perform";
    case TRunPhase::kUnload:
      return "unloading";
  }
  return "?";
}

const std::vector<TQuestionKindInfo>& QuestionKinds() {
  // A new kind is one more line here (and its enumerator).
  static const std::vector<TQuestionKindInfo> kinds = {
      {TQuestionKind::kSetupFailed, "setup-failed", "abort the run after a library's setup failed?"},
      {TQuestionKind::kQuestionsFailed, "questions-failed", "abort after a library's AskQuestions answered 0?"},
      {TQuestionKind::kPerformFailed, "perform-failed", "abort after a library's Perform answered 0?"},
      {TQuestionKind::kOther, "other", "any other Yes/No question"},
      {TQuestionKind::kExtractFailed, "extract-failed",
       "abort before any library performs, after an archive could not be unpacked?"},
  };
  return kinds;
}

const char* QuestionKindName(TQuestionKind kind) {
  for (const TQuestionKindInfo& info : QuestionKinds()) {
    if (info.kind == kind) return info.name;
  }
  return "other";
}

std::optional<TQuestionKind> QuestionKindFromName(const std::string& name) {
  for (const TQuestionKindInfo& info : QuestionKinds()) {
    if (name == info.name) return info.kind;
  }
  return std::nullopt;
}

bool TOperatorBox::YesNo() const { return (style & kMbButtonMask) == kMbYesNo; }

int RunExitStatus(TRunStatus status) {
  switch (status) {
    case TRunStatus::kDone:
      return 0;
    case TRunStatus::kNotAllDone:
    case TRunStatus::kFailed:
      return 1;
    case TRunStatus::kBadInput:
      return 2;
    case TRunStatus::kBusy:
      return 75;
    case TRunStatus::kInterrupted:
      return 130;
  }
  return 1;
}

TPhaseReport& TRunReport::Phase(TRunPhase phase) {
  for (TPhaseReport& report : phases) {
    if (report.phase == phase) return report;
  }
  phases.push_back({phase, false, 0});
  return phases.back();
}

bool TRunReport::AllDone() const {
  for (const TSubsystemReport& s : subsystems) {
    if (!s.done) return false;
  }
  return !subsystems.empty();
}

}  // namespace instkit

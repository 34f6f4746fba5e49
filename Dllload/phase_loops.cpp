// The three phase loops of the drivers (SetAll, AskAll, PerformAll), written
// once.  The node-tree driver (dll_loader.cpp) and the flat-image driver
// (dlls_loader.cpp) differ in a handful of log texts and stopping rules,
// which their TPhaseStyle states, and in where a library's tree image comes
// from and where its result goes, which their hooks supply.  Every log line
// and message box is the one each driver writes on its own.
#include "Dllload/custom_dll_loader.h"
#include "Syslist/sys_node.h"
#include "host/base/operator_texts.h"
#include "host/platform/message_box.h"

namespace instkit {

using namespace operator_texts;

bool TCustomDLLLoader::TurnResult(TLoaderPhase phase, int32_t index) const {
  const THndlRec* rec = GetItem(index);
  if (rec == nullptr) return false;
  if (phase == TLoaderPhase::kPerform) return PerformResult(index);
  return rec->Node->Info->Checked;
}

bool TCustomDLLLoader::ProgressStep() {
  if (ProgressCallBack == nullptr) return true;
  try {
    return ResultCode(ProgressCallBack(100, "", 0)) != 0;
  } catch (...) {
    return true;  // a failing progress display does not stop the work
  }
}

uint8_t TCustomDLLLoader::SetAllLoop() {
  const TPhaseStyle& style = Style();
  WriteLog("IN function SETALL");
  BeginSetup();
  uint8_t outcome = INSTKIT_OUTCOME_COMPLETED;
  try {
    for (int32_t i = 0; i < GetCount(); ++i) {
      const TTurnScope turn(Observer, TLoaderPhase::kSetup, i);
      THndlRec& rec = *Handles[static_cast<size_t>(i)];
      TSubsystemInfo& info = *rec.Node->Info;
      if (rec.Handle == nullptr) {
        SetupSkipped(i);
        continue;
      }
      WriteLog("get functions addesses : " + info.ShortName);
      if (!GetFunctionAddress(i)) {
        SetupSkipped(i);
        continue;
      }
      WriteLog("set all : " + info.ShortName);
      bool good = true;
      if (SetLogCallBackProc != nullptr) {
        WriteLog("call SETLOGCALLBACK");
        SetLogCallBackProc(LogCallBack);
      }
      if (SetTreePointerProc != nullptr) {
        WriteLog("call SETTREEPOINTER");
        good = ResultCode(SetTreePointerProc(TreeImageFor(i))) != 0;
      } else {
        NoTreePointer(i);
      }
      if (good) {
        good = SetParams(i);
      } else {
        MessageBox(OwnerWindow, TreeTransferError(), CaptionError(), kStyleError);
        WriteLog(style.tree_refused != nullptr ? std::string(style.tree_refused) : TreeTransferError());
      }
      if (good) {
        info.Checked = true;
        continue;
      }
      if (AbortAfterFailedTransfer(info)) return INSTKIT_OUTCOME_ABORTED;
    }
  } catch (...) {
    outcome = INSTKIT_OUTCOME_FAILURE;
    LogFailure(" : ");
  }
  WriteLog("OUT function SETALL");
  return outcome;
}

void TCustomDLLLoader::AskAllLoop() {
  const TPhaseStyle& style = Style();
  WriteLog("IN procedure ASKALL");
  AskState = INSTKIT_OUTCOME_COMPLETED;
  try {
    for (int32_t i = 0; i < GetCount(); ++i) {
      const TTurnScope turn(Observer, TLoaderPhase::kQuestions, i);
      const THndlRec& rec = *Handles[static_cast<size_t>(i)];
      TSubsystemInfo& info = *rec.Node->Info;
      if (rec.Handle == nullptr || !info.Checked) continue;
      WriteLog(style.before_ask + info.ShortName);
      info.Checked = false;
      AskQuestionsProc = Lookup<InstkitAskQuestionsProc>(rec, INSTKIT_NAME_ASK_QUESTIONS);
      if (AskQuestionsProc == nullptr) {
        if (style.log_missing_entry) WriteLog("function ASKQUESTIONS not found. Subsystem: " + info.ShortName);
        continue;
      }
      const uint8_t code = ResultCode(AskQuestionsProc());
      if (code == INSTKIT_RESULT_DONE) {
        WriteLog("AskQuestions = TRUE  :" + info.ShortName);
        info.Checked = true;
      } else if (code == INSTKIT_RESULT_FAILED) {
        WriteLog("AskQuestions = FALSE  :" + info.ShortName);
        if (AskAbortAfterFailure(info.ShortName)) {
          WriteLog("user abort installation");
          AskState = INSTKIT_OUTCOME_ABORTED;
          if (style.ask_abort_skips_closing) return;
          break;
        }
      } else if (code == INSTKIT_RESULT_ABORT) {
        WriteLog(style.code_two);
        AskState = INSTKIT_OUTCOME_ABORTED;
      }
    }
  } catch (...) {
    AskState = INSTKIT_OUTCOME_FAILURE;
    LogFailure(" : ");
  }
  WriteLog("OUT procedure ASKALL");
}

namespace {

// How a perform turn ends.
enum class TTurnEnd { kNext, kStopLoop, kLeavePhase };

}  // namespace

uint8_t TCustomDLLLoader::PerformAllLoop() {
  const TPhaseStyle& style = Style();
  WriteLog(style.perform_open);
  uint8_t outcome = INSTKIT_OUTCOME_COMPLETED;
  // One record's turn.  kLeavePhase: the progress callback said stop, so
  // PerformAll ends at once without its closing line.
  auto turn = [&](int32_t i) {
    const TTurnScope scope(Observer, TLoaderPhase::kPerform, i);
    const THndlRec& rec = *Handles[static_cast<size_t>(i)];
    const TSubsystemInfo& info = *rec.Node->Info;
    BeginPerformTurn(i);
    if (rec.Handle == nullptr) {
      SetPerformResult(i, true);
      return TTurnEnd::kNext;
    }
    if (!info.Checked) return TTurnEnd::kNext;
    WriteLog("before calling Perform :" + info.ShortName);
    SetPerformResult(i, false);
    PerformProc = Lookup<InstkitPerformProc>(rec, INSTKIT_NAME_PERFORM);
    if (PerformProc == nullptr) {
      if (style.log_missing_entry) WriteLog("function PERFORM not found. Subsystem: " + info.ShortName);
    } else {
      const uint8_t code = ResultCode(PerformProc());
      if (!ProgressStep()) return TTurnEnd::kLeavePhase;
      if (code == INSTKIT_RESULT_DONE) {
        WriteLog("Perform = TRUE  :" + info.ShortName);
        SetPerformResult(i, true);
      } else if (code == INSTKIT_RESULT_FAILED) {
        if (!style.ask_only_when_not_done || !PerformResult(i)) {
          WriteLog("Perform = FALSE  :" + info.ShortName);
          if (AskAbortAfterFailure(info.ShortName)) {
            WriteLog("user abort installation");
            outcome = INSTKIT_OUTCOME_ABORTED;
            return TTurnEnd::kStopLoop;
          }
        }
      } else if (code == INSTKIT_RESULT_ABORT) {
        WriteLog(style.code_two);
        if (Regim == INSTKIT_MODE_INSTALL) SetPerformResult(i, true);
        outcome = INSTKIT_OUTCOME_ABORTED;
      }
    }
    if (style.progress_at_end_of_turn && !ProgressStep()) return TTurnEnd::kLeavePhase;
    return TTurnEnd::kNext;
  };
  // The node-tree driver ends the phase at a raised failure; the flat-image
  // driver loses only that record's turn.
  auto guarded = [&](int32_t i) {
    try {
      return turn(i);
    } catch (...) {
      outcome = INSTKIT_OUTCOME_FAILURE;
      LogFailure(" : ");
      return style.failure_ends_perform ? TTurnEnd::kStopLoop : TTurnEnd::kNext;
    }
  };
  for (int32_t i = 0; i < GetCount(); ++i) {
    const TTurnEnd end = guarded(i);
    if (end == TTurnEnd::kLeavePhase) return outcome;
    if (end == TTurnEnd::kStopLoop) break;
  }
  WriteLog(style.perform_close);
  return outcome;
}

}  // namespace instkit

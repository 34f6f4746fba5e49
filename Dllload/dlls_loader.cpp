#include "Dllload/dlls_loader.h"

#include "host/base/operator_texts.h"
#include "Syslist/flat_image.h"
#include "Syslist/sys_tree.h"
#include "host/platform/message_box.h"

namespace instkit {

using namespace operator_texts;

TDllsLoader::TDllsLoader() : tree_(std::make_unique<TSysTree>()) { SysTree = tree_.get(); }

TDllsLoader::~TDllsLoader() {
  // The records point into the private tree; drop them before it goes.
  ClearHndls();
  SysTree = nullptr;
}

bool TDllsLoader::SetPointer(void* P) { return SetPointer(P, 0); }

bool TDllsLoader::SetPointer(void* P, size_t Size) {
  bool result = false;
  try {
    tree_->ClearNodes();
    if (P != nullptr) result = Size > 0 ? tree_->LoadFrompointer(P, Size) : tree_->LoadFrompointer(P);
  } catch (...) {
    result = false;
  }
  TreeImage = P;
  TreeImageSize = Size;
  return result;
}

void* TDllsLoader::GetPointer(int32_t Index) const {
  if (Index < 0 || Index >= tree_->Count) return nullptr;
  try {
    return TreeImageSize > 0 ? TCustomSysNode::GetPointer(Index, TreeImage, TreeImageSize)
                             : TCustomSysNode::GetPointer(Index, TreeImage);
  } catch (...) {
    return nullptr;
  }
}

void TDllsLoader::SetChecked(void* P, bool Value) {
  if (P == nullptr) return;
  static_cast<uint8_t*>(P)[kImageCheckedOffset] = Value ? 1 : 0;
}

bool TDllsLoader::NeedSelfInstall() const {
  if (TreeImage == nullptr) return true;
  if (TreeImageSize > 0 && TreeImageSize <= static_cast<size_t>(kImageIsInstOffset)) return true;
  return static_cast<const uint8_t*>(TreeImage)[kImageIsInstOffset] == 0;
}

uint8_t TDllsLoader::SetAll() {
  WriteLog("IN function SETALL");
  uint8_t outcome = INSTKIT_OUTCOME_COMPLETED;
  try {
    for (int32_t i = 0; i < GetCount(); ++i) {
      THndlRec& rec = *Handles[static_cast<size_t>(i)];
      TSubsystemInfo& info = *rec.Node->Info;
      if (rec.Handle == nullptr) continue;
      WriteLog("get functions addesses : " + info.ShortName);
      if (!GetFunctionAddress(i)) continue;
      WriteLog("set all : " + info.ShortName);
      bool good = true;
      if (SetLogCallBackProc != nullptr) {
        WriteLog("call SETLOGCALLBACK");
        SetLogCallBackProc(LogCallBack);
      }
      if (SetTreePointerProc != nullptr) {
        WriteLog("call SETTREEPOINTER");
        good = ResultCode(SetTreePointerProc(rec.Node->Count > 0 ? GetPointer(i) : nullptr)) != 0;
      }
      if (good) {
        good = SetParams(i);
      } else {
        MessageBox(OwnerWindow, TreeTransferError(), CaptionError(), kStyleError);
        WriteLog("error receiving subsystems tree");
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

void TDllsLoader::AskAll() {
  WriteLog("IN procedure ASKALL");
  AskState = INSTKIT_OUTCOME_COMPLETED;
  try {
    for (const auto& rec : Handles) {
      TSubsystemInfo& info = *rec->Node->Info;
      if (rec->Handle == nullptr || !info.Checked) continue;
      WriteLog(" before calling AskQuestions :" + info.ShortName);
      info.Checked = false;
      AskQuestionsProc = Lookup<InstkitAskQuestionsProc>(*rec, INSTKIT_NAME_ASK_QUESTIONS);
      if (AskQuestionsProc == nullptr) {
        WriteLog("function ASKQUESTIONS not found. Subsystem: " + info.ShortName);
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
          return;  // this driver skips the closing line here
        }
      } else if (code == INSTKIT_RESULT_ABORT) {
        WriteLog("user abort installation");
        AskState = INSTKIT_OUTCOME_ABORTED;
      }
    }
  } catch (...) {
    AskState = INSTKIT_OUTCOME_FAILURE;
    LogFailure(" : ");
  }
  WriteLog("OUT procedure ASKALL");
}

uint8_t TDllsLoader::PerformAll() {
  WriteLog("IN function PERFORMALL");
  uint8_t outcome = INSTKIT_OUTCOME_COMPLETED;
  for (int32_t i = 0; i < GetCount(); ++i) {
    try {
      const THndlRec& rec = *Handles[static_cast<size_t>(i)];
      TSubsystemInfo& info = *rec.Node->Info;
      void* record = GetPointer(i);
      SetChecked(record, false);
      if (rec.Handle == nullptr) {
        SetChecked(record, true);
        continue;
      }
      if (!info.Checked) continue;
      WriteLog("before calling Perform :" + info.ShortName);
      PerformProc = Lookup<InstkitPerformProc>(rec, INSTKIT_NAME_PERFORM);
      if (PerformProc == nullptr) {
        WriteLog("function PERFORM not found. Subsystem: " + info.ShortName);
        continue;
      }
      const uint8_t code = ResultCode(PerformProc());
      if (ProgressCallBack != nullptr) {
        bool go_on = true;
        try {
          go_on = ResultCode(ProgressCallBack(100, "", 0)) != 0;
        } catch (...) {
          go_on = true;  // a failing progress display does not stop the work
        }
        if (!go_on) return outcome;
      }
      if (code == INSTKIT_RESULT_DONE) {
        WriteLog("Perform = TRUE  :" + info.ShortName);
        SetChecked(record, true);
      } else if (code == INSTKIT_RESULT_FAILED) {
        WriteLog("Perform = FALSE  :" + info.ShortName);
        if (AskAbortAfterFailure(info.ShortName)) {
          WriteLog("user abort installation");
          outcome = INSTKIT_OUTCOME_ABORTED;
          break;
        }
      } else if (code == INSTKIT_RESULT_ABORT) {
        WriteLog("user abort installation");
        if (Regim == INSTKIT_MODE_INSTALL) SetChecked(record, true);
        outcome = INSTKIT_OUTCOME_ABORTED;
      }
    } catch (...) {
      // One library's failure costs only its own turn.
      outcome = INSTKIT_OUTCOME_FAILURE;
      LogFailure(" : ");
    }
  }
  WriteLog("OUT function PERFORMALL");
  return outcome;
}

}  // namespace instkit

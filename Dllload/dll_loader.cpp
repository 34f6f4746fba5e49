#include "Dllload/dll_loader.h"

#include "host/base/operator_texts.h"
#include "Syslist/sys_node.h"
#include "host/platform/message_box.h"

namespace instkit {

using namespace operator_texts;

void* TDllLoader::GetImage(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= Images.size()) return nullptr;
  return Images[static_cast<size_t>(index)].Data.get();
}

uint8_t TDllLoader::SetAll() {
  WriteLog("IN function SETALL");
  Images.clear();
  uint8_t outcome = INSTKIT_OUTCOME_COMPLETED;
  try {
    for (int32_t i = 0; i < GetCount(); ++i) {
      THndlRec& rec = *Handles[static_cast<size_t>(i)];
      TSubsystemInfo& info = *rec.Node->Info;
      if (rec.Handle == nullptr) {
        Images.emplace_back();
        continue;
      }
      WriteLog("get functions addesses : " + info.ShortName);
      if (!GetFunctionAddress(i)) {
        Images.emplace_back();
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
        TImageBlock block;
        block.Size = static_cast<size_t>(rec.Node->GetSize());
        block.Data = std::make_unique<uint8_t[]>(block.Size);  // zeroed
        rec.Node->SaveToPointer(block.Data.get(), block.Size);
        void* address = block.Data.get();
        Images.push_back(std::move(block));
        good = ResultCode(SetTreePointerProc(address)) != 0;
      } else {
        Images.emplace_back();
      }
      if (good) {
        good = SetParams(i);
      } else {
        MessageBox(OwnerWindow, TreeTransferError(), CaptionError(), kStyleError);
        WriteLog(TreeTransferError());
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

void TDllLoader::AskAll() {
  WriteLog("IN procedure ASKALL");
  AskState = INSTKIT_OUTCOME_COMPLETED;
  try {
    for (const auto& rec : Handles) {
      TSubsystemInfo& info = *rec->Node->Info;
      if (rec->Handle == nullptr || !info.Checked) continue;
      WriteLog("before calling AskQuestions :" + info.ShortName);
      info.Checked = false;
      AskQuestionsProc = Lookup<InstkitAskQuestionsProc>(*rec, INSTKIT_NAME_ASK_QUESTIONS);
      if (AskQuestionsProc == nullptr) continue;
      const uint8_t code = ResultCode(AskQuestionsProc());
      if (code == INSTKIT_RESULT_DONE) {
        WriteLog("AskQuestions = TRUE  :" + info.ShortName);
        info.Checked = true;
      } else if (code == INSTKIT_RESULT_FAILED) {
        WriteLog("AskQuestions = FALSE  :" + info.ShortName);
        if (AskAbortAfterFailure(info.ShortName)) {
          WriteLog("user abort installation");
          AskState = INSTKIT_OUTCOME_ABORTED;
          break;
        }
      } else if (code == INSTKIT_RESULT_ABORT) {
        WriteLog("abort installation");
        AskState = INSTKIT_OUTCOME_ABORTED;
      }
    }
  } catch (...) {
    LogFailure(" : ");
    AskState = INSTKIT_OUTCOME_FAILURE;
  }
  WriteLog("OUT procedure ASKALL");
}

bool TDllLoader::ProgressStep() {
  if (ProgressCallBack == nullptr) return true;
  try {
    return ResultCode(ProgressCallBack(100, "", 0)) != 0;
  } catch (...) {
    return true;  // a failing progress display does not stop the work
  }
}

uint8_t TDllLoader::PerformAll() {
  WriteLog("IN procedure PERFORMALL");
  uint8_t outcome = INSTKIT_OUTCOME_COMPLETED;
  try {
    for (const auto& rec : Handles) {
      TSubsystemInfo& info = *rec->Node->Info;
      if (rec->Handle == nullptr) {
        info.Checked = true;
        continue;
      }
      if (!info.Checked) continue;
      WriteLog("before calling Perform :" + info.ShortName);
      info.Checked = false;
      PerformProc = Lookup<InstkitPerformProc>(*rec, INSTKIT_NAME_PERFORM);
      if (PerformProc != nullptr) {
        const uint8_t code = ResultCode(PerformProc());
        if (!ProgressStep()) return outcome;
        bool stop = false;
        if (code == INSTKIT_RESULT_DONE) {
          WriteLog("Perform = TRUE  :" + info.ShortName);
          info.Checked = true;
        } else if (code == INSTKIT_RESULT_FAILED) {
          // The progress callback may have marked the subsystem meanwhile.
          if (!info.Checked) {
            WriteLog("Perform = FALSE  :" + info.ShortName);
            if (AskAbortAfterFailure(info.ShortName)) {
              WriteLog("user abort installation");
              outcome = INSTKIT_OUTCOME_ABORTED;
              stop = true;
            }
          }
        } else if (code == INSTKIT_RESULT_ABORT) {
          if (Regim == INSTKIT_MODE_INSTALL) info.Checked = true;
          outcome = INSTKIT_OUTCOME_ABORTED;
          WriteLog("abort installation");
        }
        if (stop) break;
      }
      if (!ProgressStep()) return outcome;
    }
  } catch (...) {
    LogFailure(" : ");
    outcome = INSTKIT_OUTCOME_FAILURE;
  }
  WriteLog("OUT procedure PERFORMALL");
  return outcome;
}

void TDllLoader::SetInstalled() {
  for (size_t i = 0; i < Handles.size() && i < Images.size(); ++i) {
    const TImageBlock& block = Images[i];
    if (block.Data == nullptr) continue;
    try {
      Handles[i]->Node->SetSysInstaled(block.Data.get(), block.Size);
    } catch (...) {
      // A record that cannot be read back keeps its flags.
    }
  }
}

}  // namespace instkit

#include "Dllload/custom_dll_loader.h"

#include "host/base/operator_texts.h"
#include "Syslist/sys_node.h"
#include "Syslist/sys_tree.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/platform/message_box.h"

namespace instkit {

namespace {

using namespace operator_texts;

class EListError : public Exception {
 public:
  explicit EListError(int32_t index) : Exception("EListError", Format("List index out of bounds (%d)", index)) {}
};

}  // namespace

TCustomDLLLoader::TCustomDLLLoader() = default;

TCustomDLLLoader::~TCustomDLLLoader() { ClearHndls(); }

void TCustomDLLLoader::AddHndl(TLibraryHandle handle, TSysNode* node) {
  Handles.push_back(std::make_unique<THndlRec>(handle, node));
}

THndlRec* TCustomDLLLoader::GetItem(int32_t index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return Handles[static_cast<size_t>(index)].get();
}

void TCustomDLLLoader::DeleteHndl(int32_t index) {
  if (index < 0 || index >= GetCount()) return;
  Handles.erase(Handles.begin() + index);
}

void TCustomDLLLoader::ClearHndls() {
  while (GetCount() > 0) DeleteHndl(GetCount() - 1);
}

void TCustomDLLLoader::SetRegim(uint8_t mode) {
  if (mode == INSTKIT_MODE_INSTALL) AbortQuestion = NotInstalledAbortQuestion();
  if (mode == INSTKIT_MODE_UNINSTALL) AbortQuestion = NotUninstalledAbortQuestion();
  Regim = mode;
}

void TCustomDLLLoader::WriteLog(const std::string& text) {
  if (LogCallBack == nullptr) return;
  std::string line = " ";
  if (!LogPrefix.empty()) line += LogPrefix + ": ";
  line += text;
  LogCallBack(line.c_str());
}

int TCustomDLLLoader::WriteAndShow(const std::string& text, const std::string& caption, uint32_t style) {
  WriteLog(text);
  return MessageBox(OwnerWindow, text, caption, style);
}

void TCustomDLLLoader::LogFailure(const char* separator) {
  const CaughtFailure failure = DescribeCurrentException();
  WriteLog(failure.class_name + separator + failure.message);
}

int TCustomDLLLoader::AskOperator(const std::string& text) {
  if (Observer != nullptr) Observer->Asking(true);
  int answer = kIdNo;
  try {
    answer = MessageBox(OwnerWindow, text, CaptionAttention(), kStyleQuestion);
  } catch (...) {
    if (Observer != nullptr) Observer->Asking(false);
    throw;
  }
  if (Observer != nullptr) Observer->Asking(false);
  return answer;
}

bool TCustomDLLLoader::AskAbortAfterFailure(const std::string& short_name) {
  return AskOperator(SystemPrefix() + short_name + AbortQuestion) == kIdYes;
}

bool TCustomDLLLoader::AbortAfterFailedTransfer(TSubsystemInfo& info) {
  WriteLog("error sending subsystems params : " + info.ShortName);
  info.Checked = false;
  if (Regim == INSTKIT_MODE_INSTALL) {
    if (AskOperator(AbortInstallQuestion()) == kIdYes) {
      WriteLog("user abort installing");
      return true;
    }
  } else if (Regim == INSTKIT_MODE_UNINSTALL) {
    if (AskOperator(AbortUninstallQuestion()) == kIdYes) {
      WriteLog("user abort uninstalling");
      return true;
    }
  }
  return false;
}

bool TCustomDLLLoader::LoadDLLs() {
  WriteLog("IN function LoadDlls");
  LoadFailureLibrary.clear();
  LoadFailureReason.clear();
  if (SysTree == nullptr) {
    WriteLog("OUT function LoadDlls");
    return true;
  }
  bool result = true;
  try {
    for (int32_t i = 0; i < SysTree->Count; ++i) {
      const TTurnScope turn(Observer, TLoaderPhase::kLoad, i);
      TSysNode* node = SysTree->GetNode(i);
      const std::string& library = node->Info->Library;
      if (library.empty()) {
        AddHndl(nullptr, node);
        node->Info->Checked = true;
        continue;
      }
      TLibraryHandle handle = LoadDynamicLibrary(NativeLibraryName(library));
      if (handle != nullptr) {
        AddHndl(handle, node);
        WriteLog("library " + library + " loaded successful");
        continue;
      }
      LoadFailureLibrary = library;
      LoadFailureReason = LastDynamicLibraryError();
      switch (Regim) {
        case INSTKIT_MODE_INSTALL:
          WriteAndShow(" " + LoadFailed() + library + InstallWillBeAborted(), CaptionError(), kStyleError);
          break;
        case INSTKIT_MODE_UNINSTALL:
          WriteAndShow(LoadFailed() + library + UninstallWillBeAborted(), CaptionError(), kStyleError);
          break;
        case INSTKIT_MODE_GENERATE:
          WriteAndShow(LoadFailed() + library + GenerationWillBeAborted(), CaptionError(), kStyleError);
          break;
        default:
          MessageBox(OwnerWindow, LoadFailed() + library, CaptionError(), kStyleError);
          break;
      }
      // Loading stops here; the result tells the caller so.
      result = false;
      break;
    }
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    WriteAndShow(failure.class_name + ": " + failure.message, CaptionError(), kStyleError);
    result = false;
  }
  WriteLog("OUT function LoadDlls");
  return result;
}

bool TCustomDLLLoader::GetFunctionAddress(int32_t index) {
  try {
    THndlRec* rec = GetItem(index);
    if (rec == nullptr) throw EListError(index);
    if (rec->Handle == nullptr) {
      SetIUGRegimProc = nullptr;
      SetPathProc = nullptr;
      SetClientNumberProc = nullptr;
      SetExternalParameterProc = nullptr;
      SetProgressCallBackProc = nullptr;
      SetTreePointerProc = nullptr;
      SetQuestionsLevelProc = nullptr;
      SetSessionNameProc = nullptr;
      SetLogCallBackProc = nullptr;
      SetHideProgressCallBackProc = nullptr;
      SetShowProgressCallBackProc = nullptr;
      return true;
    }
    SetIUGRegimProc = Lookup<InstkitSetIUGRegimProc>(*rec, INSTKIT_NAME_SET_IUG_REGIM);
    SetPathProc = Lookup<InstkitSetPathProc>(*rec, INSTKIT_NAME_SET_PATH);
    SetClientNumberProc = Lookup<InstkitSetClientNumberProc>(*rec, INSTKIT_NAME_SET_CLIENT_NUMBER);
    SetExternalParameterProc = Lookup<InstkitSetExternalParameterProc>(*rec, INSTKIT_NAME_SET_EXTERNAL_PARAMETER);
    SetProgressCallBackProc = Lookup<InstkitSetProgressCallBackProc>(*rec, INSTKIT_NAME_SET_PROGRESS_CALLBACK);
    SetTreePointerProc = Lookup<InstkitSetTreePointerProc>(*rec, INSTKIT_NAME_SET_TREE_POINTER);
    SetQuestionsLevelProc = Lookup<InstkitSetQuestionsLevelProc>(*rec, INSTKIT_NAME_SET_QUESTIONS_LEVEL);
    SetSessionNameProc = Lookup<InstkitSetSessionNameProc>(*rec, INSTKIT_NAME_SET_SESSION_NAME);
    SetLogCallBackProc = Lookup<InstkitSetLogCallBackProc>(*rec, INSTKIT_NAME_SET_LOG_CALLBACK);
    SetHideProgressCallBackProc =
        Lookup<InstkitSetHideProgressCallBackProc>(*rec, INSTKIT_NAME_SET_HIDE_PROGRESS_CALLBACK);
    SetShowProgressCallBackProc =
        Lookup<InstkitSetShowProgressCallBackProc>(*rec, INSTKIT_NAME_SET_SHOW_PROGRESS_CALLBACK);
    return true;
  } catch (...) {
    LogFailure(":");
    return false;
  }
}

bool TCustomDLLLoader::SetParams(int32_t index) {
  WriteLog("IN function SETPARAMS");
  bool result = false;
  try {
    THndlRec* rec = GetItem(index);
    if (rec == nullptr) throw EListError(index);
    const TSubsystemInfo& info = *rec->Node->Info;
    if (SetExternalParameterProc != nullptr) {
      WriteLog("call SETEXTERNALPARAMETER");
      if (ResultCode(SetExternalParameterProc(info.Parameter.c_str())) == 0) {
        if (Regim == INSTKIT_MODE_INSTALL) {
          MessageBox(OwnerWindow, InvalidParameter() + info.SaveName + WillNotBeInstalled(), CaptionError(),
                     kStyleError);
          WriteLog("Invalid parameter. Subsystem " + info.SaveName + "does not installing");
        } else if (Regim == INSTKIT_MODE_UNINSTALL) {
          MessageBox(OwnerWindow, InvalidParameter() + info.SaveName + WillNotBeRemoved(), CaptionError(), kStyleError);
          WriteLog("Invalid parameter. Subsystem " + info.SaveName + "does not uninstalling");
        }
        return false;
      }
    }
    if (SetIUGRegimProc != nullptr) {
      WriteLog("call SETUIGREGIM");
      if (ResultCode(SetIUGRegimProc(Regim)) == 0) {
        if (Regim == INSTKIT_MODE_INSTALL) {
          MessageBox(OwnerWindow,
                     LibraryPrefix() + info.Library + NoInstallMode() + "\r\n" + SystemPrefix() + info.SaveName + " " +
                         WillNotBeInstalled(),
                     CaptionAttention(), kStyleWarning);
          WriteLog("library " + info.Library + " do not have install regim.");
        } else if (Regim == INSTKIT_MODE_UNINSTALL) {
          MessageBox(OwnerWindow,
                     LibraryPrefix() + info.Library + NoUninstallMode() + "\r\n" + SystemPrefix() + info.SaveName +
                         " " + WillNotBeRemoved(),
                     CaptionAttention(), kStyleWarning);
          WriteLog("library " + info.Library + " do not have uninstall regim.");
        }
        return false;
      }
    }
    if (SetQuestionsLevelProc != nullptr) {
      WriteLog("call SETQUESTIONSLEVEL");
      SetQuestionsLevelProc(QuestionsLevel);
    }
    if (SetPathProc != nullptr) {
      WriteLog("call SETPATH");
      SetPathProc(Path.c_str());
    }
    if (SetClientNumberProc != nullptr) {
      WriteLog("call SETCLIENTNUMBER");
      SetClientNumberProc(ClientNumber);
    }
    if (SetProgressCallBackProc != nullptr) {
      WriteLog("call SETPROGRESSCALLBACK");
      SetProgressCallBackProc(ProgressCallBack);
    }
    if (SetSessionNameProc != nullptr) {
      WriteLog("call SETSESSIONNAME");
      SetSessionNameProc(SessionName.c_str());
    }
    if (SetHideProgressCallBackProc != nullptr) {
      WriteLog("call SETHIDEPROGRESSCALLBACK");
      SetHideProgressCallBackProc(HideProgressCallBack);
    }
    if (SetShowProgressCallBackProc != nullptr) {
      WriteLog("call SETSHOWPROGRESSCALLBACK");
      SetShowProgressCallBackProc(ShowProgressCallBack);
    }
    result = true;
  } catch (...) {
    // A setter that raises makes the library's setup fail; the caller logs that.
    result = false;
  }
  WriteLog("OUT function SETPARAMS");
  return result;
}

bool TCustomDLLLoader::UnLoadDLLs() {
  WriteLog("IN function UNLOADDLLS");
  bool result = true;
  for (int32_t i = 0; i < GetCount(); ++i) {
    const TTurnScope turn(Observer, TLoaderPhase::kUnload, i);
    const auto& rec = Handles[static_cast<size_t>(i)];
    try {
      if (rec->Handle != nullptr && !FreeDynamicLibrary(rec->Handle)) {
        throw Exception("EInOutError", LastDynamicLibraryError());
      }
    } catch (...) {
      result = false;
      MessageBox(OwnerWindow, UnloadFailed(), CaptionError(), kStyleError);
      WriteLog("do not unload library " + rec->Node->Info->ShortName);
    }
  }
  ClearHndls();
  WriteLog("OUT function UNLOADDLLS");
  return result;
}

void TCustomDLLLoader::Abort() {
  WriteLog("IN procedure ABORT");
  for (const auto& rec : Handles) {
    if (rec->Handle == nullptr) continue;
    InstkitUserAbortProc proc = Lookup<InstkitUserAbortProc>(*rec, INSTKIT_NAME_USER_ABORT);
    UserAbortProc.store(proc);
    if (proc != nullptr) proc();
  }
  WriteLog("OUT procedure ABORT");
}

void TCustomDLLLoader::SuspendAll() {
  WriteLog("IN procedure SUSPENDALL");
  try {
    for (const auto& rec : Handles) {
      if (rec->Handle == nullptr) continue;
      WriteLog("before calling UserSuspendThread :" + rec->Node->Info->ShortName);
      InstkitUserSuspendThreadProc proc = Lookup<InstkitUserSuspendThreadProc>(*rec, INSTKIT_NAME_USER_SUSPEND_THREAD);
      UserSuspendThreadProc.store(proc);
      if (proc != nullptr) proc();
    }
  } catch (...) {
    LogFailure(" : ");
  }
  WriteLog("OUT procedure SUSPENDALL");
}

void TCustomDLLLoader::ResumeAll() {
  WriteLog("IN procedure RESUMEALL");
  try {
    for (const auto& rec : Handles) {
      if (rec->Handle == nullptr) continue;
      WriteLog("before calling UserResumeThread :" + rec->Node->Info->ShortName);
      InstkitUserResumeThreadProc proc = Lookup<InstkitUserResumeThreadProc>(*rec, INSTKIT_NAME_USER_RESUME_THREAD);
      UserResumeThreadProc.store(proc);
      if (proc != nullptr) proc();
    }
  } catch (...) {
    LogFailure(" : ");
  }
  WriteLog("OUT procedure RESUMEALL");
}

}  // namespace instkit

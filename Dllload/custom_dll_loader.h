// TCustomDLLLoader: the loader core shared by the two drivers of subsystem
// libraries.  It holds the run parameters the host sets, one THndlRec per
// top-level subsystem of SysTree, the entry points of the library being set
// up, and the shared operations: loading and unloading the libraries,
// resolving the setters, handing the run parameters to one library, log lines,
// operator messages and the broadcasts Abort / SuspendAll / ResumeAll.  The
// three phases (SetAll, AskAll, PerformAll) belong to the derived drivers.
//
// Log lines: every line is " " + (LogPrefix + ": " when set) + text, passed to
// LogCallBack; without LogCallBack nothing is logged.  Operator messages are
// Windows-1251 and go through MessageBox (host/platform/message_box.h).
//
// Threads: every operation runs on the caller's thread.  Abort, SuspendAll and
// ResumeAll may run on another thread while PerformAll is under way: the
// phases never change Handles, and the three broadcast slots are atomics, so
// they only read shared state.  LoadDLLs, UnLoadDLLs and destruction must not
// overlap any other operation of the same loader.  The log callback and the
// message-box handler may then be entered from two threads; they are the
// host's and must cope.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Dllload/hndl_rec.h"
#include "Dllload/subsystem_api.h"

namespace instkit {

class TCustomSysNode;
class TSubsystemInfo;

class TCustomDLLLoader {
 public:
  TCustomDLLLoader();
  virtual ~TCustomDLLLoader();
  TCustomDLLLoader(const TCustomDLLLoader&) = delete;
  TCustomDLLLoader& operator=(const TCustomDLLLoader&) = delete;

  // Run fields, written by the host before LoadDLLs (Regim through SetRegim).
  InstkitProgressCallback ProgressCallBack = nullptr;
  InstkitLogCallback LogCallBack = nullptr;
  InstkitHideProgressCallback HideProgressCallBack = nullptr;
  InstkitShowProgressCallback ShowProgressCallBack = nullptr;
  int32_t ClientNumber = 0;
  uint8_t QuestionsLevel = 0;
  std::string LogPrefix;
  uintptr_t OwnerWindow = 0;
  std::string Path;
  uint8_t Regim = 0;
  std::string SessionName;
  // The tree whose top-level nodes are driven; ownership is the derived class's.
  TCustomSysNode* SysTree = nullptr;
  // One record per processed top-level node, in node order.
  std::vector<std::unique_ptr<THndlRec>> Handles;
  // Outcome of the last AskAll: 1 completed, 2 aborted, 0 raised failure.
  uint8_t AskState = 0;

  // Entry points.  The eleven setters hold the library last resolved by
  // GetFunctionAddress; the others are looked up afresh by each use.
  InstkitSetIUGRegimProc SetIUGRegimProc = nullptr;
  InstkitSetPathProc SetPathProc = nullptr;
  InstkitSetExternalParameterProc SetExternalParameterProc = nullptr;
  InstkitSetProgressCallBackProc SetProgressCallBackProc = nullptr;
  InstkitSetLogCallBackProc SetLogCallBackProc = nullptr;
  InstkitSetHideProgressCallBackProc SetHideProgressCallBackProc = nullptr;
  InstkitSetShowProgressCallBackProc SetShowProgressCallBackProc = nullptr;
  InstkitSetClientNumberProc SetClientNumberProc = nullptr;
  InstkitAskQuestionsProc AskQuestionsProc = nullptr;
  InstkitPerformProc PerformProc = nullptr;
  InstkitSetTreePointerProc SetTreePointerProc = nullptr;
  InstkitSetQuestionsLevelProc SetQuestionsLevelProc = nullptr;
  InstkitSetSessionNameProc SetSessionNameProc = nullptr;
  // Written by the broadcasts, which may run on any thread.
  std::atomic<InstkitUserAbortProc> UserAbortProc{nullptr};
  std::atomic<InstkitUserResumeThreadProc> UserResumeThreadProc{nullptr};
  std::atomic<InstkitUserSuspendThreadProc> UserSuspendThreadProc{nullptr};

  // The tail of the operator's question after a library failed; SetRegim.
  std::string AbortQuestion;

  // Not part of the log: the system's reason for the last library that could
  // not be loaded (dlerror / GetLastError text), and its name.  Empty when
  // every load succeeded.
  std::string LoadFailureLibrary;
  std::string LoadFailureReason;

  // The phases.  Outcomes: 1 completed, 2 aborted, 0 ended by a raised failure.
  virtual void AskAll() = 0;
  virtual uint8_t PerformAll() = 0;
  virtual uint8_t SetAll() = 0;

  void AddHndl(TLibraryHandle handle, TSysNode* node);
  THndlRec* GetItem(int32_t index) const;
  void DeleteHndl(int32_t index);
  void ClearHndls();
  int32_t GetCount() const { return static_cast<int32_t>(Handles.size()); }

  // 1 install, 2 uninstall set AbortQuestion; any mode sets Regim.
  void SetRegim(uint8_t mode);

  void WriteLog(const std::string& text);
  int WriteAndShow(const std::string& text, const std::string& caption, uint32_t style);

  // Loads one library per top-level node of SysTree (appending records).
  // Returns TRUE when every top-level node got its record.  FALSE when a
  // library could not be loaded (loading stopped there: the remaining nodes
  // have no record, LoadFailureLibrary/LoadFailureReason say why) or when a
  // failure was raised.
  bool LoadDLLs();
  // Resolves the eleven setters of record `index`; FALSE for a bad index.
  bool GetFunctionAddress(int32_t index);
  // Hands the run parameters to the library of record `index`.
  bool SetParams(int32_t index);
  // Releases every library and clears Handles; FALSE when one release failed.
  bool UnLoadDLLs();

  // Broadcasts to every loaded library; see the thread note above.
  void Abort();
  void SuspendAll();
  void ResumeAll();

 protected:
  // Logs a caught failure as "<class><separator><message>".
  void LogFailure(const char* separator);
  // Asks "Система <name><AbortQuestion>"; true on Yes.
  bool AskAbortAfterFailure(const std::string& short_name);
  // SetAll's answer to a subsystem whose tree or parameters did not reach
  // its library: logs it, unticks it and, installing or uninstalling, asks
  // whether to abort.  True when the operator aborts.
  bool AbortAfterFailedTransfer(TSubsystemInfo& info);
  // Looks an entry point up in a record's library.
  template <typename Proc>
  static Proc Lookup(const THndlRec& rec, const char* name) {
    return reinterpret_cast<Proc>(FindLibrarySymbol(rec.Handle, name));
  }
};

// Low 8 bits of an entry point's 32-bit result.
inline uint8_t ResultCode(int32_t raw) { return static_cast<uint8_t>(raw & 0xFF); }

}  // namespace instkit

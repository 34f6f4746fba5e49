// TCustomDLLLoader: the loader core shared by the two drivers of subsystem
// libraries.  It holds the run parameters the host sets, one THndlRec per
// top-level subsystem of SysTree, the entry points of the library being set
// up, and the shared operations: loading and unloading the libraries,
// resolving the setters, handing the run parameters to one library, log lines,
// operator messages and the broadcasts Abort / SuspendAll / ResumeAll.  The
// three phases (SetAll, AskAll, PerformAll) are the derived drivers'; their
// loops are written once here (SetAllLoop, AskAllLoop, PerformAllLoop) and
// each driver supplies what differs: a few log texts and flags (TPhaseStyle),
// where the tree image of a library comes from and where a result is kept.
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
#include "host/base/export.h"

namespace instkit {

class TCustomSysNode;
class TSubsystemInfo;

// The loops of a loader, as a TLoaderObserver sees them.
enum class TLoaderPhase : uint8_t { kLoad, kSetup, kQuestions, kPerform, kUnload };

// Watches where a loader's loops are, for a host that reports progress per
// subsystem or must know which library was running when something went
// wrong.  Not part of the drivers' log or messages: a loader without an
// observer behaves exactly the same.  Called on the thread that runs the
// loop; the calls must not throw.
class INSTKIT_API TLoaderObserver {
 public:
  virtual ~TLoaderObserver() = default;
  // A loop came to record `index` (LoadDLLs: to top-level node `index`)...
  virtual void TurnStarted(TLoaderPhase phase, int32_t index) = 0;
  // ...and is done with it, however the turn ended (also by a raised
  // failure or an early return).  TurnResult tells the outcome.
  virtual void TurnFinished(TLoaderPhase phase, int32_t index) = 0;
  // Around the loader's own abort questions (the Yes/No boxes of SetAll,
  // AskAll and PerformAll): true before the box, false after it.  Boxes
  // shown while no question is open come from elsewhere (a library, a
  // nested loader).
  virtual void Asking(bool open) = 0;
};

class INSTKIT_API TCustomDLLLoader {
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

  // Not one of the run fields: told where the loops are (see above); null
  // for none.  Not owned.
  TLoaderObserver* Observer = nullptr;

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

  // What the last turn of `phase` left for record `index`: in setup and
  // questions the subsystem's Checked flag, in the perform phase the
  // driver's result (TDllLoader: Checked; TDllsLoader: the Checked byte of
  // the record in the caller's image).  False for an index out of range.
  bool TurnResult(TLoaderPhase phase, int32_t index) const;

 protected:
  // Where the two drivers' loops differ in what they log and when they stop.
  struct TPhaseStyle {
    // SetAll: the log line when "SetTreePointer" refuses (null: the Russian
    // operator text).
    const char* tree_refused;
    // AskAll: the line before the call, without the short name.
    const char* before_ask;
    // Log "function ASKQUESTIONS / PERFORM not found. Subsystem: " lines.
    bool log_missing_entry;
    // The line after a code 2 from AskQuestions or Perform.
    const char* code_two;
    // Yes after AskQuestions answered 0 leaves AskAll without its closing line.
    bool ask_abort_skips_closing;
    // PerformAll's opening and closing lines.
    const char* perform_open;
    const char* perform_close;
    // A raised failure ends the perform phase (else only that record's turn).
    bool failure_ends_perform;
    // The progress step again at the end of every perform turn.
    bool progress_at_end_of_turn;
    // After Perform answered 0, ask only while the result is still false
    // (the progress callback may have set it).
    bool ask_only_when_not_done;
  };
  virtual const TPhaseStyle& Style() const = 0;

  // The driver's parts of the loops.
  // SetAll starts (before its first record).
  virtual void BeginSetup() {}
  // SetAll passes record `index` over (no library, or its setters could not
  // be resolved).
  virtual void SetupSkipped(int32_t index) { (void)index; }
  // The image handed to "SetTreePointer" of record `index`, after "call
  // SETTREEPOINTER" is logged.
  virtual void* TreeImageFor(int32_t index) = 0;
  // Record `index`'s library has no "SetTreePointer".
  virtual void NoTreePointer(int32_t index) { (void)index; }
  // A perform turn starts (before anything is logged for it).
  virtual void BeginPerformTurn(int32_t index) { (void)index; }
  // The perform phase's result of record `index`.
  virtual void SetPerformResult(int32_t index, bool done) = 0;
  virtual bool PerformResult(int32_t index) const = 0;

  // Tells the observer that a loop is at one record for as long as it lives.
  class TTurnScope {
   public:
    TTurnScope(TLoaderObserver* observer, TLoaderPhase phase, int32_t index)
        : observer_(observer), phase_(phase), index_(index) {
      if (observer_ != nullptr) observer_->TurnStarted(phase_, index_);
    }
    ~TTurnScope() {
      if (observer_ != nullptr) observer_->TurnFinished(phase_, index_);
    }
    TTurnScope(const TTurnScope&) = delete;
    TTurnScope& operator=(const TTurnScope&) = delete;

   private:
    TLoaderObserver* observer_;
    TLoaderPhase phase_;
    int32_t index_;
  };

  // The loops, written once for both drivers.
  uint8_t SetAllLoop();
  void AskAllLoop();
  uint8_t PerformAllLoop();

  // Logs a caught failure as "<class><separator><message>".
  void LogFailure(const char* separator);
  // Shows one of the loader's abort questions (caption "Внимание", Yes/No),
  // telling the observer; returns the answer.
  int AskOperator(const std::string& text);
  // Asks "Система <name><AbortQuestion>"; true on Yes.
  bool AskAbortAfterFailure(const std::string& short_name);
  // SetAll's answer to a subsystem whose tree or parameters did not reach
  // its library: logs it, unticks it and, installing or uninstalling, asks
  // whether to abort.  True when the operator aborts.
  bool AbortAfterFailedTransfer(TSubsystemInfo& info);
  // The host's progress callback after a Perform; false asks to stop.
  bool ProgressStep();
  // Looks an entry point up in a record's library.
  template <typename Proc>
  static Proc Lookup(const THndlRec& rec, const char* name) {
    return reinterpret_cast<Proc>(FindLibrarySymbol(rec.Handle, name));
  }
};

// Low 8 bits of an entry point's 32-bit result.
inline uint8_t ResultCode(int32_t raw) { return static_cast<uint8_t>(raw & 0xFF); }

}  // namespace instkit

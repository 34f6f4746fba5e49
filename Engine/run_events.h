// What a run tells its host while it goes: typed events instead of texts to
// parse.  The host implements TRunHost; TRunEngine::Run calls it on the
// thread that called Run, one call at a time, in the order things happen.
// The host steers the run from anywhere with TRunEngine::Abort, Suspend and
// Resume, which are safe on any thread (a full-screen host calls them from
// its key loop, an embedding host from a button handler).
//
// Texts from the driver and the libraries (log lines, questions, captions,
// short names) are Windows-1251 bytes, as the driver has them; texts the
// engine writes itself (notices, failures) are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/base/export.h"

namespace instkit {

// The phases of a run, in order.  `kLoad` loads one library per top-level
// subsystem, `kUnload` releases them.  `kUnpack` (install only, when the
// selected subsystems name archives) unpacks the archives into the target
// folder after the questions and before the libraries perform
// (Engine/run_media.h); the libraries do nothing in it.  Its value comes
// last, so that the others keep the values of the driver's phases
// (TLoaderPhase, Dllload/custom_dll_loader.h), which the worker sends.
enum class TRunPhase : uint8_t { kLoad, kSetup, kQuestions, kPerform, kUnload, kUnpack };
// "load", "setup", "questions", "unpack", "perform", "unload".
INSTKIT_API const char* PhaseName(TRunPhase phase);
// What the libraries are doing in the phase, for sentences such as
// "library core.so crashed in Perform": "loading", "setup",
// "AskQuestions", "unpacking", "Perform", "unloading".
INSTKIT_API const char* PhaseActivity(TRunPhase phase);

// Why the operator is asked a Yes/No question.  The engine knows it from
// where the driver is when it asks, never from the question's text: a
// question the driver asks itself after a library failed in setup, in
// AskQuestions or in Perform has that kind; every other Yes/No box (a
// library's own, or one of a driver that a library runs for its children)
// is kOther.  The engine asks kExtractFailed itself, in the unpack phase,
// when an archive is missing, damaged or refused: Yes stops the run before
// any library performs.  More kinds may follow; hosts should treat a kind
// they do not know like kOther.
enum class TQuestionKind : uint8_t {
  kSetupFailed,      // "setup-failed"
  kQuestionsFailed,  // "questions-failed"
  kPerformFailed,    // "perform-failed"
  kOther,            // "other"
  kExtractFailed,    // "extract-failed"
};

struct TQuestionKindInfo {
  TQuestionKind kind;
  const char* name;  // as answers files and --json spell it
  const char* help;  // one line for --help
};
// Every kind, in the order above.
INSTKIT_API const std::vector<TQuestionKindInfo>& QuestionKinds();
INSTKIT_API const char* QuestionKindName(TQuestionKind kind);
INSTKIT_API std::optional<TQuestionKind> QuestionKindFromName(const std::string& name);

// A top-level subsystem: the driver works on one record per top-level
// subsystem, in catalogue order.
struct TSubsystemRef {
  int32_t index = -1;      // the record's position (0 for the first top-level subsystem)
  int32_t sys_index = 0;   // its number in the catalogue
  std::string short_name;  // Windows-1251
  std::string library;     // as the catalogue names it, Windows-1251
};

// A message box the driver or a library shows: a question (Yes/No) or a
// message (OK only).
struct INSTKIT_API TOperatorBox {
  TQuestionKind kind = TQuestionKind::kOther;
  TRunPhase phase = TRunPhase::kLoad;
  // The subsystem whose turn it is; index -1 when the box comes between
  // turns.
  TSubsystemRef subsystem;
  std::string text;     // Windows-1251
  std::string caption;  // Windows-1251
  uint32_t style = 0;   // Windows message-box style (host/platform/message_box.h)
  bool YesNo() const;
};

struct TAnswer {
  bool yes = false;
  // Who answered, for the report ("operator", "answers file", "--yes", ...).
  std::string source;
};

struct TProgress {
  int32_t percent = 0;
  std::string text;  // Windows-1251; empty from the driver's own call after each Perform
  int32_t extra = 0;
  TSubsystemRef subsystem;  // whose turn it is
};

// Unpacking progress, by bytes (TRunHost::OnUnpackProgress).
struct TUnpackProgressEvent {
  std::string archive;         // as the catalogue names it, Windows-1251
  int32_t archive_number = 0;  // from 1
  int32_t archive_count = 0;
  uint64_t done = 0;      // bytes of all the archives' files read so far
  uint64_t total = 0;     // the archives' total size
  uint64_t unpacked = 0;  // bytes written into the target so far, all archives
  std::string entry;      // the entry being unpacked, UTF-8
};

// Something the engine itself has to say, besides the driver's log.
enum class TNoticeKind : uint8_t {
  kAlreadyInstalled,  // install: the registry records this subsystem already
  kNotInstalled,      // uninstall: the registry does not record it
  kRecorded,          // the registry was updated
  kLinks,             // menu and desktop links were made or removed
  kStopping,          // the run is being stopped (Ctrl-C, Abort, a timeout)
  kMedia,             // archives: unpacked, taken back, files removed or kept, an earlier run recovered
};

struct TNotice {
  TNoticeKind kind;
  int32_t sys_index = 0;   // the subsystem concerned, 0 when none
  std::string short_name;  // Windows-1251, "" when none
  std::string text;        // one UTF-8 sentence
};

class INSTKIT_API TRunHost {
 public:
  virtual ~TRunHost() = default;

  // One line of the driver's or a library's log, exactly as written
  // (leading blank, LogPrefix), without a line end.
  virtual void OnLogLine(const std::string& line) { (void)line; }
  // One line a library wrote to its standard output or error (worker
  // process only; in-process output goes wherever the host's goes).
  virtual void OnLibraryOutput(const std::string& line) { (void)line; }
  virtual void OnPhaseStarted(TRunPhase phase) { (void)phase; }
  // `outcome`: 1 completed, 2 aborted, 0 failed (for load and unload: 1 or 0).
  virtual void OnPhaseEnded(TRunPhase phase, uint8_t outcome) { (void)phase, (void)outcome; }
  // A phase's turn of one top-level subsystem.  A subsystem without a
  // library has turns only in the perform phase (nothing happens to it in
  // the others).
  virtual void OnSubsystemStarted(TRunPhase phase, const TSubsystemRef& subsystem) { (void)phase, (void)subsystem; }
  // `good`: loaded, set up, answered its questions, done (by phase).
  virtual void OnSubsystemFinished(TRunPhase phase, const TSubsystemRef& subsystem, bool good) {
    (void)phase, (void)subsystem, (void)good;
  }
  // The libraries' progress callback (and the driver's own call after each
  // Perform).  The libraries are told to go on unless the run is stopping.
  virtual void OnProgress(const TProgress& progress) { (void)progress; }
  // A library's show-progress (true) or hide-progress (false) call.
  virtual void OnProgressVisible(bool visible) { (void)visible; }
  // A Yes/No question; the run waits for the answer (and its timeout, if
  // any, waits too).
  virtual TAnswer OnQuestion(const TOperatorBox& question) = 0;
  // A message with only an OK button; the run does not wait.
  virtual void OnMessage(const TOperatorBox& message) { (void)message; }
  virtual void OnNotice(const TNotice& notice) { (void)notice; }
  // Unpacking went on: every few hundred KiB and at the start and end of
  // each archive.
  virtual void OnUnpackProgress(const TUnpackProgressEvent& progress) { (void)progress; }
};

}  // namespace instkit

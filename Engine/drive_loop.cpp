#include "Engine/drive_loop.h"

#include <chrono>

#include "Engine/run_log.h"
#include "Engine/worker_protocol.h"
#include "Syslist/sys_tree.h"
#include "host/base/codepage.h"
#include "host/base/format.h"
#include "host/platform/interrupt.h"
#include "host/platform/message_box.h"
#include "host/platform/worker.h"

namespace instkit {

namespace {

using Clock = std::chrono::steady_clock;

// How often the loop looks at Abort, Suspend, Ctrl-C and the timeout when
// the worker is quiet.
constexpr int kTickMs = 20;

class TDriveLoop {
 public:
  explicit TDriveLoop(const TDriveSetup& setup) : s_(setup) {
    const size_t n = static_cast<size_t>(setup.tree->Count);
    result_.reached.assign(n, 0);
    result_.done.assign(n, 0);
    result_.images.assign(n, std::string());
  }

  TDriveResult Run() {
    std::string data;
    while (true) {
      Steer();
      if (ended_) break;
      switch (s_.worker->Receive(data, kTickMs)) {
        case TWorkerEvent::kMessage:
          Dispatch(data);
          break;
        case TWorkerEvent::kOutput:
          s_.log->Line("> " + data);
          s_.host->OnLibraryOutput(data);
          break;
        case TWorkerEvent::kTimeout:
          break;
        case TWorkerEvent::kEnded:
          Ended();
          break;
      }
    }
    return std::move(result_);
  }

 private:
  TSubsystemRef Ref(int32_t index) const {
    TSubsystemRef ref;
    const TSysNode* node = s_.tree->GetNode(index);
    if (node == nullptr) return ref;
    ref.index = index;
    ref.sys_index = node->Info->SysIndex;
    ref.short_name = node->Info->ShortName;
    ref.library = node->Info->Library;
    return ref;
  }

  TPhaseReport& PhaseOf(TRunPhase phase) { return s_.report->Phase(phase); }

  void Send(const wire::TWriter& message) { s_.worker->Send(message.Bytes()); }

  // Aborts, suspensions, Ctrl-C and the timeout, between two messages.
  void Steer() {
    const int interrupts = s_.interrupts != nullptr ? s_.interrupts->Count() : 0;
    if ((s_.abort->load() || interrupts > 0) && !abort_sent_) {
      abort_sent_ = true;
      result_.interrupted = true;
      s_.host->OnNotice({TNoticeKind::kStopping, 0, "",
                         interrupts > 0 ? "interrupted: asking the libraries to stop (Ctrl-C again stops them at once)"
                                        : "stopping: asking the libraries to stop"});
      Send(wire::TWriter(wire::kControl).U8(wire::kControlAbort));
    }
    if (interrupts > 1 && !killed_ && s_.worker->Isolated()) {
      Stop("the run was stopped by a second Ctrl-C");
    }
    const bool suspend = s_.suspend->load();
    if (suspend != suspended_) {
      suspended_ = suspend;
      Send(wire::TWriter(wire::kControl).U8(suspend ? wire::kControlSuspend : wire::kControlResume));
      // A suspended library is not hung: its phase's clock stops meanwhile.
      if (suspend) {
        suspended_at_ = Clock::now();
      } else {
        deadline_ += Clock::now() - suspended_at_;
      }
    }
    if (timing_ && !suspended_ && !killed_ && s_.worker->Isolated() && Clock::now() > deadline_) {
      Stop(Format("%s did not finish %s within %d s; it was stopped", Culprit().c_str(), PhaseActivity(phase_),
                  s_.timeout_seconds));
    }
  }

  // Who the current phase was busy with, for a sentence.
  std::string Culprit() const {
    const TSubsystemRef ref = Ref(turn_);
    if (ref.index < 0) return std::string("the run");
    if (ref.library.empty()) return "subsystem " + Cp1251ToUtf8(ref.short_name);
    return "library " + Cp1251ToUtf8(ref.library);
  }

  void Stop(const std::string& why) {
    killed_ = true;
    if (result_.failure.empty()) result_.failure = why;
    s_.worker->Kill();
  }

  void Ended() {
    ended_ = true;
    const TWorkerEnd end = s_.worker->Wait();
    if (result_.finished) return;
    if (result_.failure.empty()) {
      const std::string where = turn_ >= 0 ? std::string(" in ") + PhaseActivity(turn_phase_)
                                           : std::string(" during the ") + PhaseName(phase_) + " phase";
      if (!end.signal.empty()) {
        result_.failure = Culprit() + " crashed" + where + ": " + end.signal;
      } else {
        result_.failure = Culprit() + " ended the run" + where + " with exit status " + std::to_string(end.status);
      }
    }
    s_.log->Line("# instkit: " + result_.failure);
    if (timing_) PhaseOf(phase_).outcome = 0;
  }

  void Dispatch(const std::string& data) {
    wire::TReader in(data);
    switch (in.Kind()) {
      case wire::kLog: {
        const std::string line = in.Str();
        s_.log->Line(line);
        s_.host->OnLogLine(line);
        break;
      }
      case wire::kPhaseStarted: {
        phase_ = static_cast<TRunPhase>(in.U8());
        PhaseOf(phase_).ran = true;
        timing_ = s_.timeout_seconds > 0;
        deadline_ = Clock::now() + std::chrono::seconds(s_.timeout_seconds);
        s_.host->OnPhaseStarted(phase_);
        break;
      }
      case wire::kPhaseEnded: {
        const auto phase = static_cast<TRunPhase>(in.U8());
        const uint8_t outcome = in.U8();
        PhaseOf(phase).outcome = outcome;
        timing_ = false;
        s_.host->OnPhaseEnded(phase, outcome);
        break;
      }
      case wire::kTurnStarted: {
        turn_phase_ = static_cast<TRunPhase>(in.U8());
        turn_ = in.I32();
        s_.host->OnSubsystemStarted(turn_phase_, Ref(turn_));
        break;
      }
      case wire::kTurnFinished: {
        const auto phase = static_cast<TRunPhase>(in.U8());
        const int32_t index = in.I32();
        const bool good = in.U8() != 0;
        std::string image = in.Str();
        if (phase == TRunPhase::kPerform && index >= 0 && static_cast<size_t>(index) < result_.reached.size()) {
          result_.reached[static_cast<size_t>(index)] = 1;
          result_.done[static_cast<size_t>(index)] = good ? 1 : 0;
          if (!image.empty()) result_.images[static_cast<size_t>(index)] = std::move(image);
        }
        turn_ = -1;
        s_.host->OnSubsystemFinished(phase, Ref(index), good);
        break;
      }
      case wire::kProgress: {
        TProgress progress;
        progress.percent = in.I32();
        progress.text = in.Str();
        progress.extra = in.I32();
        progress.subsystem = Ref(turn_);
        s_.host->OnProgress(progress);
        break;
      }
      case wire::kProgressVisible:
        s_.host->OnProgressVisible(in.U8() != 0);
        break;
      case wire::kBox:
        Box(in);
        break;
      case wire::kLoaded: {
        result_.loaded = in.I32();
        const std::string library = in.Str();
        const std::string reason = in.Str();
        if (!library.empty()) {
          s_.report->load_failure = "cannot load " + Cp1251ToUtf8(library) + (reason.empty() ? "" : ": " + reason);
        }
        break;
      }
      case wire::kResults: {
        const int32_t count = in.I32();
        for (int32_t i = 0; i < count && in.ok(); ++i) {
          const bool done = in.U8() != 0;
          std::string image = in.Str();
          // Only a record the perform loop came to has a result.
          if (static_cast<size_t>(i) >= result_.reached.size() || !result_.reached[static_cast<size_t>(i)]) continue;
          result_.done[static_cast<size_t>(i)] = done ? 1 : 0;
          if (!image.empty()) result_.images[static_cast<size_t>(i)] = std::move(image);
        }
        break;
      }
      case wire::kAwaitMedia: {
        TMediaDecision decision = s_.unpack ? s_.unpack() : TMediaDecision();
        wire::TWriter media(wire::kMedia);
        media.U8(decision.go ? 1 : 0).I32(static_cast<int32_t>(decision.skip.size()));
        for (uint8_t skip : decision.skip) media.U8(skip);
        Send(media);
        result_.media_failed = std::move(decision.skip);
        break;
      }
      case wire::kFinished:
        result_.finished = true;
        Send(wire::TWriter(wire::kBye));
        break;
      default:
        break;
    }
  }

  void Box(wire::TReader& in) {
    const uint32_t id = in.U32();
    TOperatorBox box;
    box.kind = static_cast<TQuestionKind>(in.U8());
    box.phase = static_cast<TRunPhase>(in.U8());
    box.subsystem = Ref(in.I32());
    box.text = in.Str();
    box.caption = in.Str();
    box.style = in.U32();
    if (!box.YesNo()) {
      s_.host->OnMessage(box);
      return;
    }
    // The operator's time does not count against the phase.
    const Clock::time_point asked = Clock::now();
    TAnswer answer = s_.host->OnQuestion(box);
    deadline_ += Clock::now() - asked;
    Send(wire::TWriter(wire::kAnswer).U32(id).I32(answer.yes ? kIdYes : kIdNo));
    s_.report->questions.push_back({std::move(box), std::move(answer)});
  }

  const TDriveSetup& s_;
  TDriveResult result_;
  TRunPhase phase_ = TRunPhase::kLoad;
  TRunPhase turn_phase_ = TRunPhase::kLoad;
  int32_t turn_ = -1;
  bool timing_ = false;
  Clock::time_point deadline_;
  Clock::time_point suspended_at_;
  bool suspended_ = false;
  bool abort_sent_ = false;
  bool killed_ = false;
  bool ended_ = false;
};

}  // namespace

TDriveResult DriveWorker(const TDriveSetup& setup) {
  TDriveLoop loop(setup);
  return loop.Run();
}

}  // namespace instkit

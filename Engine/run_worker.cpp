#include "Engine/run_worker.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Dllload/dll_loader.h"
#include "Dllload/dlls_loader.h"
#include "Engine/run_events.h"
#include "Engine/worker_protocol.h"
#include "Syslist/flat_image.h"
#include "Syslist/sys_tree.h"
#include "host/base/settings.h"
#include "host/platform/message_box.h"
#include "host/platform/worker.h"

namespace instkit {

namespace {

class TWorkerSide;
// The worker of this process, for the plain callbacks the driver and the
// libraries call (libraries may call them from threads of their own).
std::atomic<TWorkerSide*> g_side{nullptr};

class TWorkerSide : public TLoaderObserver {
 public:
  TWorkerSide(TWorkerChannel& channel, const TWorkerJob& job) : channel_(channel), job_(job) {}

  int Run();

  void Log(const char* line) { Send(wire::TWriter(wire::kLog).Str(line)); }

  int32_t Progress(int32_t percent, const char* text, int32_t extra) {
    Send(wire::TWriter(wire::kProgress).I32(percent).Str(text != nullptr ? text : "").I32(extra));
    return stopping_.load() ? INSTKIT_FALSE : INSTKIT_TRUE;
  }

  void ProgressVisible(bool visible) { Send(wire::TWriter(wire::kProgressVisible).U8(visible ? 1 : 0)); }

  int Box(const std::string& text, const std::string& caption, uint32_t style);

  void TurnStarted(TLoaderPhase phase, int32_t index) override {
    phase_ = phase;
    turn_ = index;
    if (Quiet(phase, index)) return;
    Send(wire::TWriter(wire::kTurnStarted).U8(static_cast<uint8_t>(phase)).I32(index));
  }

  void TurnFinished(TLoaderPhase phase, int32_t index) override {
    if (Quiet(phase, index)) {
      turn_ = -1;
      return;
    }
    bool good = true;
    std::string image;
    if (phase == TLoaderPhase::kLoad) {
      good = loader_->GetCount() > index;
    } else if (phase != TLoaderPhase::kUnload) {
      good = loader_->TurnResult(phase, index);
      if (phase == TLoaderPhase::kPerform) image = ImageOf(index);
    }
    // What a library printed during its turn goes out with it.
    std::fflush(nullptr);
    Send(wire::TWriter(wire::kTurnFinished).U8(static_cast<uint8_t>(phase)).I32(index).U8(good ? 1 : 0).Str(image));
    turn_ = -1;
  }

  void Asking(bool open) override { asking_thread_ = open ? std::this_thread::get_id() : std::thread::id(); }

 private:
  void Send(const wire::TWriter& message) { channel_.Send(message.Bytes()); }
  // Turns of a subsystem without a library do nothing but in the perform
  // phase (where it counts as done): they are not reported, which spares a
  // catalogue of a million library-less subsystems millions of messages.
  bool Quiet(TLoaderPhase phase, int32_t index) const {
    if (phase == TLoaderPhase::kPerform) return false;
    const TSysNode* node = loader_->SysTree != nullptr ? loader_->SysTree->GetNode(index) : nullptr;
    return node != nullptr && node->Info->Library.empty();
  }
  void ReadHost();
  void Control(uint8_t control);
  // Waits for the run to unpack; marks the records it says to leave out as
  // not checked, so the perform loop passes them over.  False: no perform.
  bool AwaitMedia();
  std::string ImageOf(int32_t index) const;
  void BuildLoader();
  // Runs one phase between its started and ended messages.
  template <typename Body>
  uint8_t Phase(TRunPhase phase, Body&& body) {
    Send(wire::TWriter(wire::kPhaseStarted).U8(static_cast<uint8_t>(phase)));
    const uint8_t outcome = body();
    Send(wire::TWriter(wire::kPhaseEnded).U8(static_cast<uint8_t>(phase)).U8(outcome));
    return outcome;
  }

  TWorkerChannel& channel_;
  const TWorkerJob& job_;
  std::unique_ptr<TCustomDLLLoader> loader_;
  TDllLoader* tree_loader_ = nullptr;
  TDllsLoader* flat_loader_ = nullptr;
  std::vector<uint8_t> image_;  // the flat-image driver's image of the whole catalogue

  std::atomic<bool> stopping_{false};
  std::atomic<TLoaderPhase> phase_{TLoaderPhase::kLoad};
  std::atomic<int32_t> turn_{-1};
  // The thread on which the driver has one of its own questions open.
  std::atomic<std::thread::id> asking_thread_{};

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<uint32_t, int> answers_;
  uint32_t next_box_ = 1;
  bool host_gone_ = false;
  bool bye_ = false;
  bool media_ready_ = false;  // the run's kMedia came
  bool media_go_ = false;
  std::vector<uint8_t> media_skip_;

  // Abort, SuspendAll and ResumeAll may reach the loader only between
  // LoadDLLs and UnLoadDLLs.
  std::mutex gate_;
  bool controllable_ = false;
};

void INSTKIT_CALL LogToRun(const char* line) {
  if (TWorkerSide* side = g_side.load(); side != nullptr && line != nullptr) side->Log(line);
}

int32_t INSTKIT_CALL ProgressToRun(int32_t percent, const char* text, int32_t extra) {
  TWorkerSide* side = g_side.load();
  return side != nullptr ? side->Progress(percent, text, extra) : INSTKIT_TRUE;
}

void INSTKIT_CALL HideProgressOfRun() {
  if (TWorkerSide* side = g_side.load()) side->ProgressVisible(false);
}

void INSTKIT_CALL ShowProgressOfRun() {
  if (TWorkerSide* side = g_side.load()) side->ProgressVisible(true);
}

int TWorkerSide::Box(const std::string& text, const std::string& caption, uint32_t style) {
  const bool yes_no = (style & kMbButtonMask) == kMbYesNo;
  TQuestionKind kind = TQuestionKind::kOther;
  if (yes_no && asking_thread_.load() == std::this_thread::get_id()) {
    switch (phase_.load()) {
      case TLoaderPhase::kSetup:
        kind = TQuestionKind::kSetupFailed;
        break;
      case TLoaderPhase::kQuestions:
        kind = TQuestionKind::kQuestionsFailed;
        break;
      case TLoaderPhase::kPerform:
        kind = TQuestionKind::kPerformFailed;
        break;
      default:
        break;
    }
  }
  uint32_t id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = next_box_++;
  }
  Send(wire::TWriter(wire::kBox)
           .U32(id)
           .U8(static_cast<uint8_t>(kind))
           .U8(static_cast<uint8_t>(phase_.load()))
           .I32(turn_.load())
           .Str(text)
           .Str(caption)
           .U32(style));
  if (!yes_no) return kIdOk;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return answers_.count(id) > 0 || host_gone_ || bye_; });
  auto it = answers_.find(id);
  if (it == answers_.end()) return kIdNo;  // nobody is left to answer
  const int answer = it->second;
  answers_.erase(it);
  return answer;
}

void TWorkerSide::Control(uint8_t control) {
  if (control == wire::kControlAbort) stopping_ = true;
  std::lock_guard<std::mutex> gate(gate_);
  if (!controllable_) return;
  try {
    if (control == wire::kControlAbort) loader_->Abort();
    if (control == wire::kControlSuspend) loader_->SuspendAll();
    if (control == wire::kControlResume) loader_->ResumeAll();
  } catch (...) {
    // A library's UserAbort that raises: the stop goes on through the
    // progress callback's answer.
  }
}

void TWorkerSide::ReadHost() {
  std::string message;
  while (channel_.Receive(message)) {
    wire::TReader in(message);
    const wire::TKind kind = in.Kind();
    if (kind == wire::kAnswer) {
      const uint32_t id = in.U32();
      const int answer = in.I32();
      std::lock_guard<std::mutex> lock(mutex_);
      answers_[id] = answer;
    } else if (kind == wire::kControl) {
      Control(in.U8());
      continue;
    } else if (kind == wire::kBye) {
      std::lock_guard<std::mutex> lock(mutex_);
      bye_ = true;
    } else if (kind == wire::kMedia) {
      std::lock_guard<std::mutex> lock(mutex_);
      media_go_ = in.U8() != 0;
      const int32_t count = in.I32();
      for (int32_t i = 0; i < count && in.ok(); ++i) media_skip_.push_back(in.U8());
      media_ready_ = true;
    }
    changed_.notify_all();
    if (kind == wire::kBye) return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    host_gone_ = true;
  }
  changed_.notify_all();
}

bool TWorkerSide::AwaitMedia() {
  Send(wire::TWriter(wire::kAwaitMedia));
  std::vector<uint8_t> skip;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return media_ready_ || host_gone_ || bye_; });
    if (!media_ready_ || !media_go_) return false;
    skip = media_skip_;
  }
  for (size_t i = 0; i < skip.size() && static_cast<int32_t>(i) < loader_->GetCount(); ++i) {
    if (skip[i] == 0) continue;
    const auto index = static_cast<int32_t>(i);
    if (tree_loader_ != nullptr) {
      if (TSysNode* node = job_.tree->GetNode(index)) node->Info->Checked = false;
    } else if (const void* record = flat_loader_->GetPointer(index)) {
      const_cast<uint8_t*>(static_cast<const uint8_t*>(record))[kImageCheckedOffset] = 0;
    }
  }
  return true;
}

std::string TWorkerSide::ImageOf(int32_t index) const {
  if (tree_loader_ != nullptr) {
    if (index < 0 || static_cast<size_t>(index) >= tree_loader_->Images.size()) return std::string();
    const TDllLoader::TImageBlock& block = tree_loader_->Images[static_cast<size_t>(index)];
    if (block.Data == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(block.Data.get()), block.Size);
  }
  const auto* record = static_cast<const uint8_t*>(flat_loader_->GetPointer(index));
  if (record == nullptr) return std::string();
  const size_t rest = image_.size() - static_cast<size_t>(record - image_.data());
  const int64_t size = FlatImageRecordSize(record, rest);
  if (size <= 0) return std::string();
  return std::string(reinterpret_cast<const char*>(record), static_cast<size_t>(size));
}

void TWorkerSide::BuildLoader() {
  if (job_.flat) {
    // One root record whose children are the top-level subsystems.
    TSysNode root;
    job_.tree->GetChildTree(&root);
    image_.resize(static_cast<size_t>(root.GetSize()));
    root.SaveToPointer(image_.data(), image_.size());
    auto flat = std::make_unique<TDllsLoader>();
    flat_loader_ = flat.get();
    loader_ = std::move(flat);
  } else {
    auto tree = std::make_unique<TDllLoader>();
    tree_loader_ = tree.get();
    loader_ = std::move(tree);
  }
  loader_->LogCallBack = LogToRun;
  loader_->ProgressCallBack = ProgressToRun;
  loader_->HideProgressCallBack = HideProgressOfRun;
  loader_->ShowProgressCallBack = ShowProgressOfRun;
  loader_->ClientNumber = job_.client_number;
  loader_->QuestionsLevel = job_.questions_level;
  loader_->LogPrefix = job_.log_prefix;
  loader_->Path = job_.path;
  loader_->SessionName = job_.session_name;
  loader_->SetRegim(job_.mode);
  if (flat_loader_ != nullptr) {
    flat_loader_->SetPointer(image_.data(), image_.size());
  } else {
    tree_loader_->SysTree = job_.tree;
  }
  loader_->Observer = this;
}

int TWorkerSide::Run() {
  g_side = this;
  const TMessageBoxHandler previous =
      Settings().SetMessageBoxHandler([this](uintptr_t, const std::string& text, const std::string& caption,
                                             uint32_t style) { return Box(text, caption, style); });
  std::thread reader([this] { ReadHost(); });
  BuildLoader();

  bool loaded = false;
  Phase(TRunPhase::kLoad, [&]() -> uint8_t {
    loaded = loader_->LoadDLLs();
    Send(wire::TWriter(wire::kLoaded)
             .I32(loader_->GetCount())
             .Str(loader_->LoadFailureLibrary)
             .Str(loader_->LoadFailureReason));
    return loaded ? INSTKIT_OUTCOME_COMPLETED : INSTKIT_OUTCOME_FAILURE;
  });
  {
    std::lock_guard<std::mutex> gate(gate_);
    controllable_ = true;
  }
  // Each phase only after the one before completed, and not once the run
  // is stopping.
  auto next = [&](bool go) { return go && !stopping_.load(); };
  const uint8_t set = next(loaded) ? Phase(TRunPhase::kSetup, [&] { return loader_->SetAll(); }) : 0;
  const uint8_t ask = next(set == INSTKIT_OUTCOME_COMPLETED) ? Phase(TRunPhase::kQuestions,
                                                                     [&] {
                                                                       loader_->AskAll();
                                                                       return loader_->AskState;
                                                                     })
                                                             : 0;
  bool perform = next(ask == INSTKIT_OUTCOME_COMPLETED);
  if (perform && job_.pause_for_media) perform = AwaitMedia() && !stopping_.load();
  if (perform) {
    Phase(TRunPhase::kPerform, [&] { return loader_->PerformAll(); });
    if (tree_loader_ != nullptr) tree_loader_->SetInstalled();
    // What the libraries left in their images until now; a result counts
    // only for a record the perform loop came to (the run knows which).
    wire::TWriter results(wire::kResults);
    results.I32(loader_->GetCount());
    for (int32_t i = 0; i < loader_->GetCount(); ++i) {
      results.U8(loader_->TurnResult(TLoaderPhase::kPerform, i) ? 1 : 0).Str(ImageOf(i));
    }
    Send(results);
  }
  {
    std::lock_guard<std::mutex> gate(gate_);
    controllable_ = false;
  }
  Phase(TRunPhase::kUnload,
        [&]() -> uint8_t { return loader_->UnLoadDLLs() ? INSTKIT_OUTCOME_COMPLETED : INSTKIT_OUTCOME_FAILURE; });
  std::fflush(nullptr);
  Send(wire::TWriter(wire::kFinished));
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return bye_ || host_gone_; });
  }
  reader.join();
  loader_.reset();
  Settings().SetMessageBoxHandler(previous);
  g_side = nullptr;
  return 0;
}

}  // namespace

int RunWorker(TWorkerChannel& channel, const TWorkerJob& job) {
  TWorkerSide side(channel, job);
  return side.Run();
}

}  // namespace instkit

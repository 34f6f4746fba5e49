#include "Engine/run_engine.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <set>

#include "Engine/drive_loop.h"
#include "Engine/run_input.h"
#include "Engine/run_links.h"
#include "Engine/run_log.h"
#include "Engine/run_media.h"
#include "Engine/run_record.h"
#include "Engine/run_worker.h"
#include "Engine/selection.h"
#include "Syslist/node_walk.h"
#include "Syslist/sys_tree.h"
#include "Tidf/idf_text_file.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/settings.h"
#include "host/platform/dynamic_library.h"
#include "host/platform/interrupt.h"
#include "host/platform/process_lock.h"
#include "host/platform/registry.h"
#include "host/platform/user_dirs.h"
#include "host/platform/worker.h"

namespace instkit {

namespace fs = std::filesystem;

struct TRunEngine::TState {
  TRunOptions options;
  TRunReport report;
  bool prepared = false;
  bool prepare_ok = false;
  TIDFTextFile description;
  TSysTree catalogue;              // the whole catalogue
  std::unique_ptr<TSysTree> tree;  // the selected subsystems, driven
  TPlan plan;
  std::string registry_path;
  std::string description_copy;            // for the product's record (install)
  std::set<std::string> installed_before;  // short names the registry recorded before the run
  std::string previous_manifest;           // the product's manifest before the run
  std::unique_ptr<TRunMedia> media;        // the archives (Engine/run_media.h)
  std::string manifest;                    // for the record
  bool manifest_changed = false;
  std::atomic<bool> abort{false};
  std::atomic<bool> suspend{false};

  bool Fail(TRunStatus status, std::string sentence, std::string detail = std::string()) {
    report.status = status;
    report.failure = std::move(sentence);
    report.failure_detail = detail.empty() ? report.failure : std::move(detail);
    return false;
  }
  bool Fail(const TInputError& error) { return Fail(TRunStatus::kBadInput, error.sentence, error.detail); }

  bool LoadInput();
  bool LoadRecordedCopy();
  bool TakeLocks(TProcessLock& product_lock, TProcessLock& target_lock);
  std::set<std::string> InstalledBefore();
  void Drive(TRunHost& host, TRunLog& log, TDriveResult& result);
  void ApplyResults(const TDriveResult& result);
  void SettleMedia(TRunHost& host);
  void Record(TRunHost& host);
  void Links(TRunHost& host);
  void Conclude(const TDriveResult& result);
};

namespace {

// FNV-1a: lock file names from a product name or a folder path.
std::string Hash(const std::string& text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  std::string hex(16, '0');
  for (int i = 15; i >= 0; --i, h >>= 4) hex[static_cast<size_t>(i)] = "0123456789abcdef"[h & 15];
  return hex;
}

// Called on the thread of Run only, so gmtime's shared result is safe here.
std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  char text[32] = "";
  if (const std::tm* utc = std::gmtime(&now)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
  return text;
}

std::string Absolute(const std::string& path) {
  std::error_code code;
  const fs::path absolute = fs::absolute(fs::path(path), code);
  return code ? path : absolute.lexically_normal().string();
}

}  // namespace

// ---- Prepare -----------------------------------------------------------------

bool TRunEngine::TState::LoadRecordedCopy() {
  TProductRecord record;
  try {
    if (!ReadProduct(registry_path, options.product, record)) {
      return Fail(TRunStatus::kBadInput,
                  "the registry " + registry_path + " records no product \"" + Cp1251ToUtf8(options.product) + "\"");
    }
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    return Fail(TRunStatus::kBadInput, "cannot read the registry " + registry_path + ": " + failure.message,
                failure.class_name + ": " + failure.message);
  }
  if (record.description_copy.empty()) {
    return Fail(TRunStatus::kBadInput, "the registry keeps no copy of the description of \"" +
                                           Cp1251ToUtf8(options.product) + "\": give the description file instead");
  }
  const std::string name = "the description copy of \"" + Cp1251ToUtf8(options.product) + "\" in " + registry_path;
  if (!description.LoadFromText(record.description_copy, name)) {
    return Fail(TRunStatus::kBadInput, "cannot use " + name + ": " + Cp1251ToUtf8(description.LastError));
  }
  if (options.path.empty()) options.path = record.path;
  report.description_file = record.description + " (the copy recorded at install)";
  return true;
}

bool TRunEngine::TState::LoadInput() {
  report.mode = options.mode;
  report.flat = options.flat;
  report.path = options.path;
  report.description_file = options.description_file;
  for (TRunPhase phase : {TRunPhase::kLoad, TRunPhase::kSetup, TRunPhase::kQuestions, TRunPhase::kUnpack,
                          TRunPhase::kPerform, TRunPhase::kUnload}) {
    report.phases.push_back({phase, false, 0});
  }
  if (options.mode < INSTKIT_MODE_INSTALL || options.mode > INSTKIT_MODE_GENERATE) {
    return Fail(TRunStatus::kBadInput, Format("unknown mode %d", options.mode));
  }
  registry_path = options.registry.empty() ? TRegistry::DefaultPath() : options.registry;
  std::string source = options.description_file;
  if (!options.product.empty()) {
    if (options.mode != INSTKIT_MODE_UNINSTALL) {
      return Fail(TRunStatus::kBadInput, "a recorded product can only be uninstalled");
    }
    if (registry_path.empty()) return Fail(TRunStatus::kBadInput, "no registry location is known: give one");
    if (!LoadRecordedCopy()) return false;
    source = report.description_file;
  } else {
    if (options.description_file.empty()) return Fail(TRunStatus::kBadInput, "no description given");
    TInputError error;
    if (!ReadDescription(options.description_file, description, error)) return Fail(error);
  }
  report.path = options.path;
  TInputError error;
  if (!BuildCatalogue(description, source, catalogue, error)) return Fail(error);
  report.product = options.product.empty() ? ProductNameOf(description, source) : options.product;
  if (!CheckNames(report.product, description, source, catalogue, error)) return Fail(error);

  TSelection selection;
  if (!selection.Apply(catalogue, options.selection))
    return Fail(TRunStatus::kBadInput, source + ": " + selection.error);
  if (selection.selected->Count == 0) return Fail(TRunStatus::kBadInput, "no subsystem is selected");
  plan.file = source;
  plan.product = report.product;
  plan.registry_key = InstalledKeyFor(report.product);
  plan.request = options.selection;
  plan.choices = std::move(selection.choices);
  tree = std::move(selection.selected);
  GatherPlanMaterial(*tree, plan);
  return true;
}

TRunEngine::TRunEngine(TRunOptions options) : state_(std::make_unique<TState>()) {
  state_->options = std::move(options);
}

TRunEngine::~TRunEngine() = default;

bool TRunEngine::Prepare() {
  TState& s = *state_;
  if (!s.prepared) {
    s.prepared = true;
    s.prepare_ok = s.LoadInput();
  }
  return s.prepare_ok;
}

const TPlan& TRunEngine::Plan() const { return state_->plan; }
TSysTree* TRunEngine::Catalogue() { return state_->prepare_ok ? &state_->catalogue : nullptr; }
const TRunReport& TRunEngine::Report() const { return state_->report; }

void TRunEngine::Abort() { state_->abort = true; }
void TRunEngine::Suspend() { state_->suspend = true; }
void TRunEngine::Resume() { state_->suspend = false; }

// ---- Run ---------------------------------------------------------------------

bool TRunEngine::TState::TakeLocks(TProcessLock& product_lock, TProcessLock& target_lock) {
  const std::string store_folder = registry_path.empty() ? std::string() : TRegistry::StoreFolder(registry_path);
  const std::string folder = store_folder.empty() ? (fs::temp_directory_path() / "instkit-locks").string()
                                                  : (fs::path(store_folder) / "locks").string();
  try {
    EnsureDirectory(folder);
  } catch (...) {
    return Fail(TRunStatus::kFailed, "cannot take the run's lock: " + DescribeCurrentException().message);
  }
  std::error_code code;
  const std::string target = fs::weakly_canonical(fs::path(Absolute(options.path)), code).string();
  const std::pair<TProcessLock*, std::string> locks[] = {
      {&product_lock, folder + "/product-" + Hash(report.product) + ".lock"},
      {&target_lock, folder + "/target-" + Hash(code ? Absolute(options.path) : target) + ".lock"},
  };
  for (const auto& [lock, file] : locks) {
    std::string error;
    switch (lock->Acquire(file, options.wait_for_lock, error)) {
      case TProcessLock::TResult::kLocked:
        break;
      case TProcessLock::TResult::kBusy:
        return Fail(TRunStatus::kBusy, "busy: another run is working on \"" + Cp1251ToUtf8(report.product) +
                                           "\" or in " + options.path + "; try again when it has finished");
      case TProcessLock::TResult::kFailed:
        return Fail(TRunStatus::kFailed, "cannot take the run's lock: " + error);
    }
  }
  return true;
}

std::set<std::string> TRunEngine::TState::InstalledBefore() {
  std::set<std::string> names;
  if (registry_path.empty() || options.mode == INSTKIT_MODE_GENERATE) return names;
  try {
    TProductRecord record;
    if (ReadProduct(registry_path, report.product, record)) {
      names.insert(record.installed.begin(), record.installed.end());
      previous_manifest = record.manifest;
    }
  } catch (...) {
    // An unreadable store shows when the run records; before, it only means
    // nothing is known to be installed.
  }
  return names;
}

void TRunEngine::TState::Drive(TRunHost& host, TRunLog& log, TDriveResult& result) {
  // Relative library names: the description's folder first, then the
  // extra folders.  The search list is process-wide: put it back after.
  const std::vector<std::string> previous_folders = Settings().LibrarySearchFolders();
  std::vector<std::string> folders;
  if (options.product.empty()) folders.push_back(fs::path(Absolute(options.description_file)).parent_path().string());
  for (const std::string& extra : options.library_paths) folders.push_back(Absolute(extra));
  Settings().SetLibrarySearchFolders(folders);
  // The record keeps the description with the library files this run
  // resolves, while the search folders are set.
  if (options.mode == INSTKIT_MODE_INSTALL && options.record)
    description_copy = DescriptionCopy(description, catalogue);

  TWorkerJob job;
  job.tree = tree.get();
  job.mode = options.mode;
  job.flat = options.flat;
  job.log_prefix = options.log_prefix;
  job.path = options.path;
  job.session_name = options.session_name;
  job.client_number = options.client_number;
  job.questions_level = options.questions_level;
  job.pause_for_media = media != nullptr && media->Any();

  std::unique_ptr<TWorker> worker = options.in_process ? nullptr : NewWorkerProcess();
  if (worker == nullptr) worker = NewWorkerThread();
  report.isolated = worker->Isolated();
  std::optional<TInterruptWatch> interrupts;
  if (options.watch_interrupts) interrupts.emplace(3);
  std::string error;
  if (!worker->Start([&job](TWorkerChannel& channel) { return RunWorker(channel, job); }, error)) {
    Settings().SetLibrarySearchFolders(previous_folders);
    result.failure = "cannot start the worker process: " + error;
    return;
  }
  TDriveSetup setup;
  setup.worker = worker.get();
  setup.host = &host;
  setup.tree = tree.get();
  setup.report = &report;
  setup.log = &log;
  setup.timeout_seconds = options.timeout_seconds;
  setup.interrupts = interrupts ? &*interrupts : nullptr;
  setup.abort = &abort;
  setup.suspend = &suspend;
  setup.unpack = [&]() {
    return media->Unpack(host, [&] { return abort.load() || (interrupts && interrupts->Count() > 0); });
  };
  try {
    result = DriveWorker(setup);
  } catch (...) {
    Settings().SetLibrarySearchFolders(previous_folders);
    throw;
  }
  Settings().SetLibrarySearchFolders(previous_folders);
}

void TRunEngine::TState::ApplyResults(const TDriveResult& result) {
  for (int32_t i = 0; i < tree->Count; ++i) {
    TSysNode* node = tree->GetNode(i);
    const size_t at = static_cast<size_t>(i);
    const std::string& image = at < result.images.size() ? result.images[at] : std::string();
    if (!image.empty()) node->SetSysInstaled(image.data(), image.size());
    const bool left_out = at < result.media_failed.size() && result.media_failed[at] != 0;
    node->Info->Checked = at < result.reached.size() && result.reached[at] && result.done[at] && !left_out;
  }
  // Pre-order with depth; a child counts only when its parent does.
  struct TFrame {
    TSysNode* node;
    int depth;
    bool parent_done;
    bool loaded;
  };
  std::vector<TFrame> pending;
  for (int32_t i = tree->Count - 1; i >= 0; --i) pending.push_back({tree->GetNode(i), 0, true, i < result.loaded});
  while (!pending.empty()) {
    const TFrame frame = pending.back();
    pending.pop_back();
    TSubsystemInfo& info = *frame.node->Info;
    info.Checked = frame.parent_done && info.Checked;
    report.subsystems.push_back({frame.depth, info.SysIndex, info.ShortName, info.Library, frame.loaded, info.Checked,
                                 installed_before.count(info.ShortName) > 0});
    for (int32_t i = frame.node->Count - 1; i >= 0; --i) {
      pending.push_back({frame.node->GetNode(i), frame.depth + 1, info.Checked, frame.loaded});
    }
  }
}

void TRunEngine::TState::SettleMedia(TRunHost& host) {
  if (options.mode == INSTKIT_MODE_INSTALL && media != nullptr) {
    media->Settle(*tree, host);
    manifest = media->Manifest(previous_manifest);
    return;
  }
  if (options.mode != INSTKIT_MODE_UNINSTALL || !options.record || registry_path.empty()) return;
  std::set<std::string> installed_after = installed_before;
  for (const TSubsystemReport& s : report.subsystems) {
    if (s.done) installed_after.erase(s.short_name);
  }
  TRunMedia removal(options, report);
  manifest = removal.RemoveFiles(previous_manifest, installed_after, host);
  manifest_changed = manifest != previous_manifest;
}

void TRunEngine::TState::Record(TRunHost& host) {
  const uint8_t mode = options.mode;
  if (!options.record || (mode != INSTKIT_MODE_INSTALL && mode != INSTKIT_MODE_UNINSTALL)) return;
  // Install: done means installed.  Uninstall: done means removed; what
  // could not be removed stays installed and keeps its record.
  WalkNodesBelow(tree.get(), [mode](TSysNode* node) {
    node->Info->IsInst = mode == INSTKIT_MODE_INSTALL ? node->Info->Checked : !node->Info->Checked;
    return true;
  });
  report.record.attempted = true;
  report.record.registry = registry_path;
  report.record.key = InstalledKeyFor(report.product);
  if (registry_path.empty()) {
    Fail(TRunStatus::kFailed, "nothing was recorded: no registry location is known");
    return;
  }
  // Nothing done (an install) or nothing recorded removed (an uninstall):
  // nothing to record, and no store or key is created for it.
  bool any = false;
  for (const TSubsystemReport& s : report.subsystems) {
    any = any || (mode == INSTKIT_MODE_INSTALL ? s.done : s.done && s.was_installed);
  }
  if (!any) return;
  TProductRecord record;
  record.product = report.product;
  record.path = Absolute(options.path);
  record.installed_at = UtcNow();
  record.description = options.product.empty() ? Absolute(options.description_file) : report.description_file;
  record.version = EngineVersion();
  for (const TQuestionReport& q : report.questions) {
    record.answers += std::string(QuestionKindName(q.question.kind)) + "=" + (q.answer.yes ? "yes" : "no") + "\n";
  }
  record.description_copy = description_copy;
  record.manifest = manifest;
  record.manifest_changed = manifest_changed;
  try {
    TRegistry registry(registry_path);
    RecordRun(registry, mode, record, *tree, report.record);
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    Fail(TRunStatus::kFailed,
         "nothing was recorded: the registry " + registry_path + " cannot be written: " + Cp1251ToUtf8(failure.message),
         failure.class_name + ": " + Cp1251ToUtf8(failure.message));
    return;
  }
  if (report.record.recorded) {
    host.OnNotice({TNoticeKind::kRecorded, 0, "",
                   std::string("registry: ") + (mode == INSTKIT_MODE_INSTALL ? "recorded under " : "updated ") +
                       Cp1251ToUtf8(report.record.key) + " in " + registry_path});
  }
}

void TRunEngine::TState::Links(TRunHost& host) {
  const uint8_t mode = options.mode;
  if (!options.links || (mode != INSTKIT_MODE_INSTALL && mode != INSTKIT_MODE_UNINSTALL)) return;
  if (report.status == TRunStatus::kFailed) return;  // not after a failed recording
  try {
    UpdateLinks(mode, *tree, report.product, options.path, options.links_root, report.links);
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    Fail(TRunStatus::kFailed, "links: " + Cp1251ToUtf8(failure.message),
         failure.class_name + ": " + Cp1251ToUtf8(failure.message));
    return;
  }
  const size_t changed = mode == INSTKIT_MODE_INSTALL ? report.links.made.size() : report.links.removed.size();
  if (changed > 0) {
    host.OnNotice({TNoticeKind::kLinks, 0, "",
                   "links: " + std::to_string(changed) +
                       (mode == INSTKIT_MODE_INSTALL ? " created in " : " removed from ") + report.links.applications +
                       " and " + report.links.desktop});
  }
}

void TRunEngine::TState::Conclude(const TDriveResult& result) {
  report.interrupted = result.interrupted;
  if (report.status == TRunStatus::kFailed) return;  // recording or links failed
  if (!result.finished) {
    report.status = result.interrupted ? TRunStatus::kInterrupted : TRunStatus::kFailed;
    report.failure = report.failure_detail = result.failure;
    return;
  }
  if (result.interrupted) {
    report.status = TRunStatus::kInterrupted;
    report.failure = report.failure_detail = "the run was interrupted";
    return;
  }
  size_t not_done = 0;
  for (const TSubsystemReport& s : report.subsystems) not_done += s.done ? 0 : 1;
  if (not_done == 0) {
    report.status = TRunStatus::kDone;
    return;
  }
  report.status = TRunStatus::kNotAllDone;
  std::string why;
  if (!report.load_failure.empty()) {
    why = report.load_failure;
  }
  for (const TArchiveReport& archive : report.media.archives) {
    if (why.empty() && !archive.error.empty()) why = "archive " + Cp1251ToUtf8(archive.name) + ": " + archive.error;
  }
  if (why.empty()) {
    for (const TPhaseReport& phase : report.phases) {
      if (phase.ran && phase.outcome != INSTKIT_OUTCOME_COMPLETED && phase.phase != TRunPhase::kUnload) {
        why = std::string("the ") + PhaseName(phase.phase) + " phase " +
              (phase.outcome == INSTKIT_OUTCOME_ABORTED ? "was aborted" : "ended with a failure (see the log)");
        break;
      }
    }
  }
  report.failure = std::to_string(not_done) + " of " + std::to_string(report.subsystems.size()) +
                   " subsystems were not done" + (why.empty() ? std::string() : ": " + why);
  report.failure_detail = report.failure;
}

const TRunReport& TRunEngine::Run(TRunHost& host) {
  TState& s = *state_;
  if (!Prepare()) return s.report;
  TInputError error;
  if (!CheckTargetFolder(s.options.path, error)) {
    s.Fail(TRunStatus::kFailed, error.sentence);
    return s.report;
  }
  TProcessLock product_lock, target_lock;
  if (!s.TakeLocks(product_lock, target_lock)) return s.report;
  TRunLog log;
  if (!s.options.log_file.empty()) {
    std::string reason;
    if (!log.Open(s.options.log_file, reason)) {
      s.Fail(TRunStatus::kBadInput, "cannot write the log file " + s.options.log_file + ": " + reason);
      return s.report;
    }
  }
  if (s.abort.load()) {
    s.report.interrupted = true;
    s.Fail(TRunStatus::kInterrupted, "the run was stopped before it started");
    return s.report;
  }
  s.installed_before = s.InstalledBefore();
  WalkNodesBelow(s.tree.get(), [&](TSysNode* node) {
    const TSubsystemInfo& info = *node->Info;
    const bool installed = s.installed_before.count(info.ShortName) > 0;
    if (s.options.mode == INSTKIT_MODE_INSTALL && installed) {
      host.OnNotice({TNoticeKind::kAlreadyInstalled, info.SysIndex, info.ShortName,
                     Cp1251ToUtf8(info.ShortName) + " is already installed"});
    } else if (s.options.mode == INSTKIT_MODE_UNINSTALL && !installed) {
      host.OnNotice({TNoticeKind::kNotInstalled, info.SysIndex, info.ShortName,
                     Cp1251ToUtf8(info.ShortName) + " is not installed"});
    }
    return true;
  });

  if (s.options.mode == INSTKIT_MODE_INSTALL || s.options.mode == INSTKIT_MODE_UNINSTALL) {
    TRunMedia recovery(s.options, s.report);
    try {
      recovery.Recover(s.registry_path, host);
    } catch (...) {
      const CaughtFailure failure = DescribeCurrentException();
      s.Fail(TRunStatus::kFailed,
             "cannot finish an interrupted earlier run in " + s.options.path + ": " + failure.message,
             failure.class_name + ": " + failure.message);
      return s.report;
    }
  }
  if (s.options.mode == INSTKIT_MODE_INSTALL) {
    if (s.options.media.empty())
      s.options.media = fs::path(Absolute(s.options.description_file)).parent_path().string();
    s.media = std::make_unique<TRunMedia>(s.options, s.report);
    s.media->Plan(*s.tree);
  }

  TDriveResult result;
  s.Drive(host, log, result);
  s.ApplyResults(result);
  s.SettleMedia(host);
  s.Record(host);
  if (s.media != nullptr) {
    try {
      s.media->Finish(s.report.status != TRunStatus::kFailed);
    } catch (...) {
      s.Fail(TRunStatus::kFailed, "the unpacked files could not be settled: " + DescribeCurrentException().message);
    }
  }
  s.Links(host);
  s.Conclude(result);
  // The drive loop has logged a failure of the worker when it came.
  if (!s.report.failure.empty() && s.report.status != TRunStatus::kNotAllDone && s.report.failure != result.failure) {
    log.Line("# instkit: " + s.report.failure_detail);
  }
  log.Close();
  if (log.Failed() && (s.report.status == TRunStatus::kDone || s.report.status == TRunStatus::kNotAllDone)) {
    s.Fail(TRunStatus::kFailed, "the log file " + s.options.log_file + " could not be written completely");
  }
  return s.report;
}

}  // namespace instkit

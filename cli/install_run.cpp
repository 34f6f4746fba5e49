#include "cli/install_run.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

#include "Dllload/dll_loader.h"
#include "Dllload/dlls_loader.h"
#include "Syslist/flat_image.h"
#include "Syslist/sys_node.h"
#include "Syslist/sys_tree.h"
#include "Tidf/idf_text_file.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/platform/dynamic_library.h"
#include "host/base/exception.h"
#include "host/platform/file.h"
#include "host/base/format.h"
#include "host/platform/message_box.h"
#include "host/base/text.h"

namespace instkit::cli {

namespace {

struct TKindName {
  TQuestionKind kind;
  const char* name;
  const char* help;
};
const TKindName kKinds[] = {
    {TQuestionKind::kSetupFailed, "setup-failed", "abort the run after a library's setup failed?"},
    {TQuestionKind::kQuestionsFailed, "questions-failed", "abort after a library's AskQuestions answered 0?"},
    {TQuestionKind::kPerformFailed, "perform-failed", "abort after a library's Perform answered 0?"},
    {TQuestionKind::kOther, "other", "any other Yes/No question"},
};

std::vector<TRunExtension>& ExtensionRegistry() {
  static std::vector<TRunExtension> registry;
  return registry;
}

// Ctrl-C: the handler only counts; a watcher thread calls Abort.
std::atomic<int> g_interrupts{0};

extern "C" void OnRunInterrupt(int) {
  if (g_interrupts.fetch_add(1) + 1 >= 2) std::_Exit(130);
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool StartsWith(const std::string& text, const std::string& head) { return text.compare(0, head.size(), head) == 0; }

const char* OutcomeName(uint8_t outcome) {
  switch (outcome) {
    case 1: return "completed";
    case 2: return "aborted";
    case 0: return "failed";
    default: return "?";
  }
}

}  // namespace

const char* QuestionKindName(TQuestionKind kind) {
  for (const TKindName& k : kKinds)
    if (k.kind == kind) return k.name;
  return "other";
}

std::optional<TQuestionKind> QuestionKindFromName(const std::string& name) {
  for (const TKindName& k : kKinds)
    if (name == k.name) return k.kind;
  return std::nullopt;
}

std::string QuestionKindsHelp() {
  std::string text;
  for (const TKindName& k : kKinds) text += std::string("  ") + k.name + ": " + k.help + "\n";
  return text;
}

void RegisterRunExtension(TRunExtension extension) { ExtensionRegistry().push_back(std::move(extension)); }
const std::vector<TRunExtension>& RunExtensions() { return ExtensionRegistry(); }

bool TRunReport::AllDone() const {
  for (const TSubsystemResult& r : results)
    if (!r.done) return false;
  return true;
}

// What the callbacks of one run share.  The driver calls the log callback and
// the message-box handler from its own thread, libraries may call them from
// theirs, and Abort logs from the Ctrl-C watcher: everything here is guarded.
struct TInstallRun::TState {
  std::mutex mutex;
  std::unique_ptr<TAtomicFileWriter> log;
  bool verbose = false;
  std::string phase;  // "questions" or "perform": the last phase the log opened
  std::map<TQuestionKind, bool> answers;
  TRunOptions* options = nullptr;
  TRunReport* report = nullptr;

  // The driver whose Abort Ctrl-C reaches, while it may be called.
  std::mutex abort_gate;
  TCustomDLLLoader* abortable = nullptr;
};

namespace {

TInstallRun::TState* g_state = nullptr;  // the run whose callbacks are active

}  // namespace

namespace {

void INSTKIT_CALL LogToRun(const char* line) {
  TInstallRun::TState* state = g_state;
  if (state == nullptr || line == nullptr) return;
  const std::string text(line);
  std::lock_guard<std::mutex> lock(state->mutex);
  if (EndsWith(text, "IN procedure ASKALL")) state->phase = "questions";
  if (EndsWith(text, "IN procedure PERFORMALL") || EndsWith(text, "IN function PERFORMALL")) state->phase = "perform";
  if (state->log) {
    state->log->Write(text);
    state->log->Write("\n");
  }
  if (state->verbose) PrintError(Cp1251ToUtf8(text));
}

int32_t INSTKIT_CALL ProgressOfRun(int32_t percent, const char* text, int32_t) {
  TInstallRun::TState* state = g_state;
  if (state != nullptr && state->verbose && text != nullptr && text[0] != '\0') {
    PrintError(Format("progress %d%% ", percent) + Cp1251ToUtf8(text));
  }
  return INSTKIT_TRUE;
}

TQuestionKind Classify(const std::string& text, const std::string& phase) {
  static const std::string setup_install = Utf8ToCp1251("Прервать инсталляцию?");
  static const std::string setup_uninstall = Utf8ToCp1251("Прервать деинсталляцию?");
  static const std::string system = Utf8ToCp1251("Система ");
  static const std::string tail_install = Utf8ToCp1251(" Прервать инсталляцию? ");
  static const std::string tail_uninstall = Utf8ToCp1251(" Прервать деинсталляцию? ");
  if (text == setup_install || text == setup_uninstall) return TQuestionKind::kSetupFailed;
  if (StartsWith(text, system) && (EndsWith(text, tail_install) || EndsWith(text, tail_uninstall))) {
    return phase == "questions" ? TQuestionKind::kQuestionsFailed : TQuestionKind::kPerformFailed;
  }
  return TQuestionKind::kOther;
}

bool PromptYesNo(const std::string& caption, const std::string& text) {
  PrintError("\n" + Cp1251ToUtf8(caption) + ": " + Cp1251ToUtf8(text));
  std::fputs("[y/N] ", stderr);
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  answer = std::string(Trim(answer));
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y' || StartsWith(answer, "д") ||
                             StartsWith(answer, "Д"));
}

int AnswerBox(TInstallRun::TState& state, const std::string& text, const std::string& caption, uint32_t style) {
  if ((style & kMbButtonMask) != kMbYesNo) {
    PrintError(Cp1251ToUtf8(caption) + ": " + Cp1251ToUtf8(text));
    return kIdOk;
  }
  TQuestionRecord record;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    record.kind = Classify(text, state.phase);
    if (auto it = state.answers.find(record.kind); it != state.answers.end()) {
      record.yes = it->second;
      record.source = "answers file";
    } else if (state.options->answer_all.has_value()) {
      record.yes = *state.options->answer_all;
      record.source = record.yes ? "--yes" : "--no";
    }
  }
  record.caption = caption;
  record.text = text;
  if (record.source.empty()) {
    if (state.options->interactive) {
      record.yes = PromptYesNo(caption, text);
      record.source = "operator";
    } else {
      record.yes = false;
      record.source = "default";
    }
  }
  if (record.source != "operator") {
    PrintError(Cp1251ToUtf8(caption) + ": " + Cp1251ToUtf8(text) + " -> " + (record.yes ? "Yes" : "No") + " (" +
               record.source + ")");
  }
  std::lock_guard<std::mutex> lock(state.mutex);
  state.report->questions.push_back(record);
  return record.yes ? kIdYes : kIdNo;
}

// Copies the selection flags of `from`'s subtree onto the same-shaped `to`.
void CopyFlags(const TCustomSysNode& from, TCustomSysNode& to) {
  for (int32_t i = 0; i < from.Count && i < to.Count; ++i) {
    TSysNode* a = from.GetNode(i);
    TSysNode* b = to.GetNode(i);
    b->Info->Checked = a->Info->Checked;
    b->Info->AllCheck = a->Info->AllCheck;
    b->Info->IsInst = a->Info->IsInst;
    CopyFlags(*a, *b);
  }
}

void CollectResults(const TCustomSysNode& node, int depth, bool ancestor_done, bool loaded,
                    std::vector<TSubsystemResult>& out) {
  for (int32_t i = 0; i < node.Count; ++i) {
    const TSysNode* child = node.GetNode(i);
    TSubsystemResult r;
    r.depth = depth;
    r.sys_index = child->Info->SysIndex;
    r.short_name = child->Info->ShortName;
    r.library = child->Info->Library;
    r.loaded = loaded;
    r.done = ancestor_done && child->Info->Checked;
    out.push_back(r);
    CollectResults(*child, depth + 1, r.done, loaded, out);
  }
}

// Display width of a UTF-8 text (code points).
size_t Width(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string Pad(const std::string& utf8, size_t width) {
  const size_t w = Width(utf8);
  return w >= width ? utf8 : utf8 + std::string(width - w, ' ');
}

}  // namespace

TInstallRun::TInstallRun(TRunOptions options, TRunHooks hooks)
    : options_(std::move(options)), hooks_(std::move(hooks)), tree_(std::make_unique<TSysTree>()),
      state_(std::make_unique<TState>()) {
  state_->options = &options_;
  state_->report = &report_;
  state_->verbose = options_.verbose;
}

TInstallRun::~TInstallRun() = default;

bool TInstallRun::LoadAnswers() {
  if (options_.answers_file.empty()) return true;
  std::string content;
  try {
    content = ReadWholeFile(options_.answers_file);
  } catch (...) {
    PrintError("instkit: " + DescribeCurrentException().message);
    return false;
  }
  size_t start = 0;
  int line_number = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line(Trim(content.substr(start, end - start)));
    start = end + 1;
    ++line_number;
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    const std::string name(Trim(line.substr(0, eq)));
    const std::string value = eq == std::string::npos ? "" : AsciiUpper(std::string(Trim(line.substr(eq + 1))));
    const auto kind = QuestionKindFromName(name);
    if (!kind || (value != "YES" && value != "NO")) {
      PrintError(Format("instkit: %s:%d: expected <kind>=yes|no with a kind of:\n", options_.answers_file.c_str(),
                        line_number) +
                 QuestionKindsHelp());
      return false;
    }
    state_->answers[*kind] = value == "YES";
  }
  return true;
}

bool TInstallRun::LoadDescription() {
  description_ = std::make_unique<TIDFTextFile>();
  if (!description_->LoadFromFile(options_.description_file)) {
    const std::string reason = description_->LastError.empty() ? "not a valid IDF text file" : description_->LastError;
    PrintError("instkit: " + options_.description_file + ": " + Cp1251ToUtf8(reason));
    return false;
  }
  return true;
}

bool TInstallRun::BuildCatalogue() {
  try {
    if (!tree_->LoadFromIDFFile(description_.get())) {
      PrintError("instkit: " + options_.description_file + ": the subsystem catalogue cannot be read");
      return false;
    }
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    PrintError("instkit: " + options_.description_file + ": " + failure.class_name + ": " +
               Cp1251ToUtf8(failure.message));
    return false;
  }
  // Every subsystem is selected unless a selection hook narrows the tree.
  tree_->SetChecked();
  return true;
}

bool TInstallRun::Select() {
  if (!hooks_.select) return true;
  return hooks_.select(*description_, *tree_);
}

void TInstallRun::Drive() {
  // Relative library names: the description's folder first, then --library-path.
  std::vector<std::string> folders;
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::absolute(options_.description_file, ec).parent_path();
  folders.push_back(folder.string());
  for (const std::string& extra : options_.library_paths) {
    folders.push_back(std::filesystem::absolute(extra, ec).string());
  }
  SetLibrarySearchFolders(folders);

  if (!options_.log_file.empty()) state_->log = std::make_unique<TAtomicFileWriter>(options_.log_file);

  std::unique_ptr<TCustomDLLLoader> loader;
  TDllLoader* tree_loader = nullptr;
  TDllsLoader* flat_loader = nullptr;
  // The flat-image driver works on an image of the whole catalogue: a root
  // record whose children are the top-level subsystems.
  TSysNode root;
  std::vector<uint8_t> image;
  if (options_.flat) {
    tree_->GetChildTree(&root);
    CopyFlags(*tree_, root);
    image.resize(static_cast<size_t>(root.GetSize()));
    root.SaveToPointer(image.data(), image.size());
    auto flat = std::make_unique<TDllsLoader>();
    flat_loader = flat.get();
    loader = std::move(flat);
  } else {
    auto node_tree = std::make_unique<TDllLoader>();
    tree_loader = node_tree.get();
    loader = std::move(node_tree);
  }
  loader->LogCallBack = LogToRun;
  loader->ProgressCallBack = ProgressOfRun;
  loader->ClientNumber = options_.client_number;
  loader->QuestionsLevel = options_.questions_level;
  // Texts cross the boundary in Windows-1251; the path stays as the file system spells it.
  loader->LogPrefix = Utf8ToCp1251(options_.log_prefix);
  loader->Path = options_.path;
  loader->SessionName = Utf8ToCp1251(options_.session_name);
  loader->SetRegim(options_.mode);
  if (flat_loader != nullptr) {
    flat_loader->SetPointer(image.data(), image.size());
  } else {
    tree_loader->SysTree = tree_.get();
  }

  g_state = state_.get();
  TMessageBoxHandler previous = SetMessageBoxHandler(
      [state = state_.get()](uintptr_t, const std::string& text, const std::string& caption, uint32_t style) {
        return AnswerBox(*state, text, caption, style);
      });
  g_interrupts = 0;
  auto previous_signal = std::signal(SIGINT, OnRunInterrupt);
  std::atomic<bool> stop_watcher{false};
  std::thread watcher([this, &stop_watcher] {
    bool sent = false;
    while (!stop_watcher.load()) {
      if (!sent && g_interrupts.load() > 0) {
        std::lock_guard<std::mutex> gate(state_->abort_gate);
        if (state_->abortable != nullptr) {
          PrintError("instkit: interrupted, asking the libraries to stop (Ctrl-C again ends at once)");
          try {
            state_->abortable->Abort();
          } catch (...) {
            PrintError("instkit: UserAbort failed: " + Cp1251ToUtf8(DescribeCurrentException().message));
          }
          report_.interrupted = true;
          sent = true;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });

  report_.loaded = loader->LoadDLLs();
  report_.load_failure = loader->LoadFailureReason;
  if (!loader->LoadFailureLibrary.empty()) {
    PrintError("instkit: cannot load " + Cp1251ToUtf8(loader->LoadFailureLibrary) + ": " + loader->LoadFailureReason);
  }
  const int32_t loaded_count = loader->GetCount();
  {
    std::lock_guard<std::mutex> gate(state_->abort_gate);
    state_->abortable = loader.get();
  }
  // The run goes on only while every phase completed: a library that did not
  // load, an operator's abort or a raised failure ends it.
  bool performed = false;
  if (report_.loaded) {
    report_.set_outcome = loader->SetAll();
    if (report_.set_outcome == INSTKIT_OUTCOME_COMPLETED) {
      loader->AskAll();
      report_.ask_state = loader->AskState;
      if (report_.ask_state == INSTKIT_OUTCOME_COMPLETED) {
        report_.perform_outcome = loader->PerformAll();
        performed = true;
        if (tree_loader != nullptr) tree_loader->SetInstalled();
      }
    }
  }
  {
    std::lock_guard<std::mutex> gate(state_->abort_gate);
    state_->abortable = nullptr;
  }
  loader->UnLoadDLLs();
  stop_watcher = true;
  watcher.join();
  std::signal(SIGINT, previous_signal == SIG_ERR ? SIG_DFL : previous_signal);
  SetMessageBoxHandler(previous);
  g_state = nullptr;

  // Results into the tree: a top-level subsystem is done when the perform
  // phase ran and its library (or the lack of one) reported it done.
  for (int32_t i = 0; i < tree_->Count; ++i) {
    TSysNode* node = tree_->GetNode(i);
    const bool reached = performed && i < loaded_count;
    if (flat_loader != nullptr) {
      void* record = TCustomSysNode::GetPointer(i, image.data(), image.size());
      bool done = false;
      if (record != nullptr) {
        const size_t rest = image.size() - static_cast<size_t>(static_cast<uint8_t*>(record) - image.data());
        done = static_cast<uint8_t*>(record)[kImageCheckedOffset] != 0;
        node->SetSysInstaled(record, rest);  // the children's flags
      }
      node->Info->Checked = reached && done;
    } else if (!reached) {
      node->Info->Checked = false;
    }
    top_loaded_.push_back(i < loaded_count);
  }
  if (state_->log) {
    try {
      state_->log->Commit();
    } catch (...) {
      PrintError("instkit: " + DescribeCurrentException().message);
    }
    state_->log.reset();
  }
}

void TInstallRun::ReadBack() {
  report_.results.clear();
  for (int32_t i = 0; i < tree_->Count; ++i) {
    const TSysNode* node = tree_->GetNode(i);
    TSubsystemResult r;
    r.sys_index = node->Info->SysIndex;
    r.short_name = node->Info->ShortName;
    r.library = node->Info->Library;
    r.loaded = static_cast<size_t>(i) < top_loaded_.size() && top_loaded_[static_cast<size_t>(i)];
    r.done = node->Info->Checked;
    report_.results.push_back(r);
    CollectResults(*node, 1, r.done, r.loaded, report_.results);
  }
}

void TInstallRun::AfterRun() {
  if (hooks_.after_run) hooks_.after_run(*description_, *tree_, report_);
}

void TInstallRun::PrintSummary() const {
  static const char* kModes[] = {"?", "install", "uninstall", "generate"};
  const char* mode = options_.mode <= 3 ? kModes[options_.mode] : "?";
  std::vector<std::array<std::string, 3>> rows;
  rows.push_back({"Subsystem", "Library", "Result"});
  for (const TSubsystemResult& r : report_.results) {
    std::string result = r.done ? "done" : (r.loaded ? "not done" : "not loaded");
    rows.push_back({std::string(static_cast<size_t>(r.depth) * 2, ' ') + Cp1251ToUtf8(r.short_name),
                    r.library.empty() ? "-" : Cp1251ToUtf8(r.library), result});
  }
  size_t widths[2] = {0, 0};
  for (const auto& row : rows)
    for (size_t c = 0; c < 2; ++c) widths[c] = std::max(widths[c], Width(row[c]));
  std::string out = Format("%s %s, path %s%s\n", mode, options_.description_file.c_str(), options_.path.c_str(),
                           options_.flat ? " (flat image)" : "");
  for (const auto& row : rows) out += Pad(row[0], widths[0] + 2) + Pad(row[1], widths[1] + 2) + row[2] + "\n";
  out += Format("phases: load %s, setup %s, questions %s, perform %s%s\n", report_.loaded ? "completed" : "stopped",
                report_.loaded ? OutcomeName(report_.set_outcome) : "-",
                report_.set_outcome == 1 ? OutcomeName(report_.ask_state) : "-",
                report_.ask_state == 1 && report_.set_outcome == 1 ? OutcomeName(report_.perform_outcome) : "-",
                report_.interrupted ? " (interrupted)" : "");
  if (!report_.load_failure.empty()) out += "load failure: " + report_.load_failure + "\n";
  if (report_.questions.empty()) {
    out += "questions: none\n";
  } else {
    out += "questions:\n";
    for (const TQuestionRecord& q : report_.questions) {
      out += std::string("  [") + QuestionKindName(q.kind) + "] " + Cp1251ToUtf8(q.text) + " -> " +
             (q.yes ? "Yes" : "No") + " (" + q.source + ")\n";
    }
  }
  PrintUtf8(out);
}

int TInstallRun::ExitStatus() const { return report_.AllDone() ? 0 : 1; }

int TInstallRun::Execute() {
  if (!LoadAnswers()) return 2;
  if (!LoadDescription()) return 2;
  if (!BuildCatalogue()) return 2;
  if (!Select()) return 1;
  try {
    Drive();
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    PrintError("instkit: " + failure.class_name + ": " + Cp1251ToUtf8(failure.message));
    return 1;
  }
  ReadBack();
  AfterRun();
  PrintSummary();
  return ExitStatus();
}

}  // namespace instkit::cli

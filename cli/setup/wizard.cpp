#include "cli/setup/wizard.h"

#include <clocale>
#include <ctime>
#include <filesystem>
#include <cctype>
#include <memory>
#include <optional>

#include "Engine/run_engine.h"
#include "Engine/run_input.h"
#include "Engine/run_record.h"
#include "Engine/selection.h"
#include "Syslist/subsystem_info.h"
#include "Viewlist/tree_walk.h"
#include "cli/selection_options.h"
#include "cli/setup/run_screen.h"
#include "cli/setup/screen.h"
#include "cli/setup/selection_screen.h"
#include "cli/setup/widgets.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/base/tree_indent.h"
#include "host/platform/registry.h"
#include "host/platform/user_dirs.h"

namespace instkit::cli::setup {

namespace fs = std::filesystem;

namespace {

constexpr int kMinRows = 12;
constexpr int kMinCols = 40;

enum class TStep { kWelcome, kSelection, kTarget, kSummary, kRun, kFinish, kQuit };

const char* StepTitle(TStep step) {
  switch (step) {
    case TStep::kWelcome:
      return "Step 1 of 6: Welcome";
    case TStep::kSelection:
      return "Step 2 of 6: Selection";
    case TStep::kTarget:
      return "Step 3 of 6: Folder";
    case TStep::kSummary:
      return "Step 4 of 6: Summary";
    case TStep::kRun:
      return "Step 5 of 6: Installing";
    case TStep::kFinish:
    case TStep::kQuit:
      break;
  }
  return "Step 6 of 6: Finished";
}

// A word for the shell: as it is when it holds nothing the shell reads.
std::string ShellWord(const std::string& text) {
  if (!text.empty() &&
      text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./=:,+@") ==
          std::string::npos) {
    return text;
  }
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The `instkit install` command that makes the same run: the folders the
// run reads and writes, the driver and the selection.
std::string InstallCommand(const TRunOptions& options) {
  std::string command = "instkit install " + ShellWord(options.description_file) + " --path " + ShellWord(options.path);
  for (const std::string& folder : options.library_paths) command += " --library-path " + ShellWord(folder);
  if (!options.registry.empty()) command += " --registry " + ShellWord(options.registry);
  if (!options.links_root.empty()) command += " --links-root " + ShellWord(options.links_root);
  if (options.flat) command += " --flat";
  return command + SelectionArguments(options.selection);
}

std::string Bytes(uintmax_t bytes) {
  const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 4) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
  return text;
}

// The target folder as the Target screen reports it.
struct TFolderCheck {
  bool ok = false;
  std::string sentence;
};

TFolderCheck CheckFolder(const std::string& path) {
  if (path.empty()) return {false, "type the folder to install into"};
  TInputError error;
  if (!CheckTargetFolder(path, error)) return {false, error.sentence};
  std::error_code code;
  fs::path existing = fs::absolute(fs::path(path), code);
  while (!existing.empty() && !fs::exists(existing, code)) existing = existing.parent_path();
  const bool exists = fs::is_directory(fs::path(path), code);
  std::string sentence = exists ? "the folder exists and is writable" : "the folder will be created";
  const fs::space_info space = fs::space(existing, code);
  if (!code) sentence += "; " + Bytes(space.available) + " free";
  return {true, sentence};
}

std::string UtcStamp() {
  const std::time_t now = std::time(nullptr);
  char text[32] = "";
  if (const std::tm* utc = std::gmtime(&now)) std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", utc);
  return text;
}

std::string DefaultLogFile() {
  const std::string state = UserStateDirectory();
  if (state.empty()) return std::string();
  const std::string folder = state + "/instkit/logs";
  try {
    EnsureDirectory(folder);
  } catch (...) {
    return std::string();
  }
  return folder + "/setup-" + UtcStamp() + ".log";
}

class TWizard {
 public:
  TWizard(TRunOptions options, TRunEngine& engine, TScreen& screen)
      : options_(std::move(options)), engine_(engine), screen_(screen) {
    product_ = Cp1251ToUtf8(engine.Plan().product);
    title_ = "instkit setup: " + product_;
  }

  // False, with `error_`, when the catalogue cannot be shown.
  bool Begin();
  int Run();
  std::string closing;  // the line printed after the screen is gone

 private:
  void Draw();
  void DrawWelcome();
  void DrawTarget();
  void DrawPager(const THelp& help);
  void DrawSmall();
  void Key(int key);
  void GoSummary();
  void GoRun();
  void GoFinish();

  TRunOptions options_;
  TRunEngine& engine_;
  TScreen& screen_;
  std::string product_;
  std::string title_;
  TStep step_ = TStep::kWelcome;
  TSelection selection_;
  std::unique_ptr<TSelectionScreen> tree_;
  std::vector<std::string> welcome_;
  TLineField folder_;
  TFolderCheck folder_check_;
  TPager pager_;
  std::unique_ptr<TRunEngine> run_engine_;
  std::unique_ptr<TRunScreen> run_;
  std::optional<TDialog> quit_dialog_;
  std::string message_;
  int status_ = 1;
};

bool TWizard::Begin() {
  if (!selection_.Start(*engine_.Catalogue(), options_.selection.none)) {
    closing = "instkit setup: " + selection_.error;
    return false;
  }
  for (const TSelectionStep& step : options_.selection.steps) {
    for (int32_t number : step.numbers) {
      TTreeNode* item = selection_.ItemOf(number);
      if (item != nullptr) step.select ? selection_.Tick(item) : selection_.Untick(item);
    }
  }
  tree_ = std::make_unique<TSelectionScreen>(selection_, title_, StepTitle(TStep::kSelection));

  const TPlan& plan = engine_.Plan();
  welcome_ = {
      "Welcome. This wizard installs " + product_ + " from",
      "  " + plan.file,
      "",
      "The description has " + std::to_string(plan.choices.size()) +
          " subsystems. You choose which to install, then the folder; a summary shows what will be done, "
          "and the subsystem libraries install it while you watch. Nothing is changed before you start the "
          "installation on the summary.",
      "",
  };
  const std::string registry = options_.registry.empty() ? TRegistry::DefaultPath() : options_.registry;
  try {
    TProductRecord record;
    if (!registry.empty() && ReadProduct(registry, plan.product, record)) {
      welcome_.push_back("The registry " + registry + " records " + product_ +
                         " already: " + std::to_string(record.installed.size()) + " subsystems installed in " +
                         record.path + (record.installed_at.empty() ? "" : " at " + record.installed_at) +
                         ". Installing again runs their libraries again.");
    } else {
      welcome_.push_back("The registry " + (registry.empty() ? std::string("(none)") : registry) + " does not record " +
                         product_ + " yet.");
    }
  } catch (...) {
    welcome_.push_back("The registry " + registry +
                       " cannot be read: " + Cp1251ToUtf8(DescribeCurrentException().message));
  }
  std::string folder = options_.path;
  if (folder.empty() && !UserDataDirectory().empty()) {
    std::string name = product_;
    for (char& c : name) c = c == '/' ? '_' : c;
    folder = UserDataDirectory() + "/" + name;
  }
  folder_.Set(folder);
  folder_check_ = CheckFolder(folder);
  return true;
}

void TWizard::DrawWelcome() {
  int row = 2;
  for (const std::string& paragraph : welcome_) {
    for (const std::string& line : WrapText(paragraph, screen_.Cols() - 4)) {
      if (row >= screen_.Rows() - 2) break;
      screen_.Put(row++, 2, line);
    }
  }
  DrawHelp(screen_, {{"Enter", "choose the subsystems"}, {"q", "quit"}});
}

void TWizard::DrawTarget() {
  const int cols = screen_.Cols();
  screen_.Put(2, 2, "Install " + product_ + " into this folder:", TStyle::kKey, cols - 4);
  folder_.Draw(screen_, 4, 2, cols - 4);
  int row = 6;
  for (const std::string& line : WrapText(folder_check_.sentence, cols - 6)) {
    screen_.Put(row, 2, row == 6 ? (folder_check_.ok ? "ok" : "no") : "",
                folder_check_.ok ? TStyle::kGood : TStyle::kBad);
    screen_.Put(row++, 6, line, folder_check_.ok ? TStyle::kGood : TStyle::kBad);
  }
  for (const std::string& line : WrapText(std::to_string(selection_.SelectedCount()) +
                                              " subsystems are selected. The folder is handed to their "
                                              "libraries; it is checked again before anything is loaded.",
                                          cols - 4)) {
    screen_.Put(++row, 2, line, TStyle::kDim);
  }
  DrawHelp(screen_, {{"Enter", "summary"}, {"Esc", "back"}, {"Ctrl-U", "clear"}}, message_);
}

void TWizard::DrawPager(const THelp& help) {
  pager_.Draw(screen_, 2, screen_.Rows() - 3);
  DrawHelp(screen_, help, message_);
}

void TWizard::DrawSmall() {
  screen_.Erase();
  screen_.Caret(false);
  const std::string text = "The terminal is " + std::to_string(screen_.Cols()) + "x" + std::to_string(screen_.Rows()) +
                           "; setup needs at least " + std::to_string(kMinCols) + "x" + std::to_string(kMinRows) +
                           ". Make it larger, or press q to quit.";
  int row = 0;
  for (const std::string& line : WrapText(text, screen_.Cols())) screen_.Put(row++, 0, line);
  screen_.Show();
}

void TWizard::Draw() {
  if (screen_.Rows() < kMinRows || screen_.Cols() < kMinCols) {
    DrawSmall();
    return;
  }
  if (step_ == TStep::kSelection) {
    tree_->Draw(screen_);
  } else if (step_ == TStep::kRun) {
    run_->Draw(screen_);
  } else {
    screen_.Erase();
    screen_.Caret(false);
    DrawTitle(screen_, title_, StepTitle(step_));
    switch (step_) {
      case TStep::kWelcome:
        DrawWelcome();
        break;
      case TStep::kTarget:
        DrawTarget();
        break;
      case TStep::kSummary:
        DrawPager({{"Enter", "install"}, {"Esc", "back"}, {"↑↓ PgUp PgDn", "scroll"}, {"q", "quit"}});
        break;
      case TStep::kFinish:
        DrawPager({{"Enter", "exit"}, {"↑↓ PgUp PgDn", "scroll"}});
        break;
      default:
        break;
    }
  }
  if (quit_dialog_) quit_dialog_->Draw(screen_);
  screen_.Show();
}

void TWizard::GoSummary() {
  TRunOptions options = options_;
  options.mode = INSTKIT_MODE_INSTALL;
  options.path = folder_.Text();
  options.selection = selection_.Request();
  run_engine_ = std::make_unique<TRunEngine>(options);
  if (!run_engine_->Prepare()) {
    message_ = run_engine_->Report().failure;
    return;
  }
  std::string plan;
  PlanText(run_engine_->Plan(), [&plan](std::string_view piece) { plan += piece; });
  pager_ = TPager();
  pager_.Add("Ready to install into " + options.path + ". Enter starts the installation.", TStyle::kKey);
  pager_.Add("");
  if (!plan.empty() && plan.back() == '\n') plan.pop_back();
  pager_.Add(plan);  // the pager cuts it into lines
  pager_.Add("");
  pager_.Add("The same from the command line:");
  pager_.Add(InstallCommand(options));
  options_.path = options.path;
  step_ = TStep::kSummary;
}

void TWizard::GoRun() {
  int top_level = 0, with_library = 0;
  for (const TTreeNode* top = selection_.Items().GetFirstNode(); top != nullptr; top = top->getNextSibling()) {
    const TSubsystemInfo* record = ItemRecord(top);
    if (!record->Checked) continue;
    ++top_level;
    with_library += record->Library.empty() ? 0 : 1;
  }
  run_ = std::make_unique<TRunScreen>(*run_engine_, title_, top_level, with_library);
  step_ = TStep::kRun;
  run_->Start();
}

void TWizard::GoFinish() {
  const TRunReport& report = run_engine_->Report();
  status_ = report.ExitStatus();
  size_t done = 0;
  for (const TSubsystemReport& s : report.subsystems) done += s.done ? 1 : 0;
  pager_ = TPager();
  auto add = [this](std::string line, TStyle style = TStyle::kNormal) { pager_.Add(std::move(line), style); };
  size_t number_width = 1;
  for (const TSubsystemReport& s : report.subsystems)
    number_width = std::max(number_width, std::to_string(s.sys_index).size());
  const std::string crash = run_->Crash();
  if (report.status == TRunStatus::kDone) {
    add("Installed: all " + std::to_string(report.subsystems.size()) + " subsystems are done.", TStyle::kGood);
  } else {
    add(report.failure.empty()
            ? std::to_string(done) + " of " + std::to_string(report.subsystems.size()) + " subsystems were done."
            : report.failure,
        TStyle::kBad);
    if (!crash.empty()) add(crash, TStyle::kBad);
  }
  add("");
  for (const TSubsystemReport& s : report.subsystems) {
    const std::string state = s.done ? "done      " : (s.loaded ? "not done  " : "not loaded");
    const std::string number = std::to_string(s.sys_index);
    add("  " + state + "  " + std::string(number_width - number.size(), ' ') + number + "  " +
            TreeLinePrefix(static_cast<size_t>(s.depth), 8) + Cp1251ToUtf8(s.short_name),
        s.done ? TStyle::kNormal : TStyle::kBad);
  }
  add("");
  if (report.record.recorded) {
    add("registry: recorded under " + Cp1251ToUtf8(report.record.key) + " in " + report.record.registry, TStyle::kGood);
  } else {
    add("registry: nothing was recorded");
  }
  if (!report.links.made.empty()) {
    add("links: " + std::to_string(report.links.made.size()) + " created in " + report.links.applications + " and " +
        report.links.desktop);
  }
  add("log: " + (options_.log_file.empty() ? std::string("none") : options_.log_file));
  closing = "instkit setup: " + product_ + ": " + std::to_string(done) + " of " +
            std::to_string(report.subsystems.size()) + " subsystems installed into " + options_.path +
            (report.failure.empty() ? std::string() : "; " + report.failure) +
            (options_.log_file.empty() ? std::string() : "; log: " + options_.log_file);
  run_.reset();
  step_ = TStep::kFinish;
}

void TWizard::Key(int key) {
  if (quit_dialog_) {
    if (const auto choice = quit_dialog_->Key(key)) {
      quit_dialog_.reset();
      if (*choice == 0) step_ = TStep::kQuit;
    }
    return;
  }
  if (screen_.Rows() < kMinRows || screen_.Cols() < kMinCols) {
    if (key == 'q' || key == kKeyInterrupt) step_ = TStep::kQuit;
    return;
  }
  const bool quit_key = key == kKeyInterrupt || (key == 'q' && step_ != TStep::kTarget);
  if (quit_key && step_ != TStep::kRun && step_ != TStep::kFinish) {
    quit_dialog_.emplace("Quit?", "Quit setup? Nothing has been installed.", std::vector<std::string>{"Quit", "Stay"});
    return;
  }
  message_.clear();
  switch (step_) {
    case TStep::kWelcome:
      if (key == kKeyEnter) step_ = TStep::kSelection;
      break;
    case TStep::kSelection:
      switch (tree_->Key(key, screen_)) {
        case TScreenAction::kNext:
          if (selection_.SelectedCount() == 0) {
            tree_->Say("tick at least one subsystem");
          } else {
            step_ = TStep::kTarget;
          }
          break;
        case TScreenAction::kBack:
          step_ = TStep::kWelcome;
          break;
        case TScreenAction::kQuit:
          quit_dialog_.emplace("Quit?", "Quit setup? Nothing has been installed.",
                               std::vector<std::string>{"Quit", "Stay"});
          break;
        case TScreenAction::kNone:
          break;
      }
      break;
    case TStep::kTarget:
      if (key == kKeyEnter) {
        folder_check_ = CheckFolder(folder_.Text());
        if (folder_check_.ok) GoSummary();
      } else if (key == kKeyEscape) {
        step_ = TStep::kSelection;
      } else if (folder_.Key(key)) {
        folder_check_ = CheckFolder(folder_.Text());
      }
      break;
    case TStep::kSummary:
      if (key == kKeyEnter) {
        GoRun();
      } else if (key == kKeyEscape) {
        step_ = TStep::kTarget;
      } else {
        pager_.Key(key, screen_.Rows() - 3);
      }
      break;
    case TStep::kRun:
      run_->Key(key, screen_);
      break;
    case TStep::kFinish:
      if (key == kKeyEnter || key == 'q' || key == kKeyEscape) {
        step_ = TStep::kQuit;
      } else {
        pager_.Key(key, screen_.Rows() - 3);
      }
      break;
    case TStep::kQuit:
      break;
  }
}

int TWizard::Run() {
  closing = "instkit setup: quit; nothing was installed";
  bool dirty = true;
  while (step_ != TStep::kQuit) {
    if (step_ == TStep::kRun && run_->Finished()) {
      GoFinish();
      dirty = true;
    }
    if (step_ == TStep::kRun && run_->TakeChanged()) dirty = true;
    if (dirty) Draw();
    const int key = screen_.ReadKey(step_ == TStep::kRun ? 40 : -1);
    dirty = key != kKeyNone;
    if (key != kKeyNone && key != kKeyResize) Key(key);
  }
  return status_;
}

// UTF-8 on the screen: the operator's locale when it is UTF-8, else C.UTF-8.
void UseUtf8Locale() {
  const char* name = std::setlocale(LC_ALL, "");
  std::string lowered = name != nullptr ? name : "";
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lowered.find("utf-8") == std::string::npos && lowered.find("utf8") == std::string::npos) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
  }
}

}  // namespace

int RunWizard(TRunOptions options) {
  options.mode = INSTKIT_MODE_INSTALL;
  options.watch_interrupts = false;  // Ctrl-C is a key here
  if (options.log_file.empty()) options.log_file = DefaultLogFile();
  // What cannot be used is said before the screen is taken over.
  TRunEngine engine(options);
  if (!engine.Prepare()) {
    PrintError("instkit setup: " + engine.Report().failure);
    return engine.Report().ExitStatus();
  }
  UseUtf8Locale();
  int status = 1;
  std::string closing;
  {
    TScreen screen;
    TWizard wizard(options, engine, screen);
    if (wizard.Begin()) status = wizard.Run();
    closing = wizard.closing;
  }
  PrintUtf8(closing + "\n");
  return status;
}

}  // namespace instkit::cli::setup

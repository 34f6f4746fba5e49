// `instkit setup` as an operator meets it: the program runs in a terminal
// that tmux provides, keys are typed with send-keys and the screens read
// back with capture-pane.  Each scenario is a key script in
// tests/data/setup/NAME.keys and the screens it must produce in
// tests/data/setup/NAME-SCREEN.screen; a step waits (polling, with a
// generous limit) until the screen shows what it must, so a slow machine
// is slower, not flaky.  INSTKIT_UPDATE_SCREENS=1 rewrites the screen
// files from what the program shows.
//
// Script lines ("#" starts a comment):
//   size W H         the terminal's size (before start: the first size)
//   env NAME=VALUE   for the program (before start)
//   start ARGS       runs `instkit setup ARGS`; {tmp} is the scenario's folder
//   keys K...        tmux key names (Enter, Down, Space, Escape, C-c, ...)
//   type TEXT        the text as typed
//   wait TEXT        until the screen shows TEXT
//   screen NAME      until the screen is NAME's file
//   exit N           until the program has ended with status N
#ifdef INSTKIT_TEST_SUBSYSTEM
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Engine/run_record.h"
#include "support/temp_dir.h"

namespace instkit::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool HaveTmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

class TScenario {
 public:
  explicit TScenario(std::string name) : name_(std::move(name)) {
    // The folder's name always has the same length, so the screens that
    // show it keep their layout; the screens show it as /tmp/iks-XXXXXX.
    char root[] = "/tmp/iks-XXXXXX";
    EXPECT_NE(::mkdtemp(root), nullptr);
    root_ = root;
    socket_ = root_ + "/tmux.sock";
    fs::copy(fs::path(INSTKIT_SOURCE_DIR) / "examples/demo", fs::path(root_) / "demo", fs::copy_options::recursive);
#ifdef INSTKIT_DEMO_MEDIA_DIR
    fs::copy(INSTKIT_DEMO_MEDIA_DIR, fs::path(root_) / "demo", fs::copy_options::recursive);
#endif
    for (const char* idf : {"question.idf", "abort.idf"}) {
      fs::copy_file(fs::path(INSTKIT_TEST_DATA_DIR) / "setup" / idf, fs::path(root_) / idf);
    }
    fs::copy_file(INSTKIT_TEST_SUBSYSTEM, fs::path(root_) / "scripted.so");
  }
  ~TScenario() {
    Tmux("kill-server");
    std::error_code code;
    fs::remove_all(root_, code);
  }

  const std::string& Root() const { return root_; }

  void Run() {
    std::ifstream script(std::string(INSTKIT_TEST_DATA_DIR) + "/setup/" + name_ + ".keys");
    ASSERT_TRUE(script) << name_;
    std::string line;
    int number = 0;
    while (std::getline(script, line) && !::testing::Test::HasFatalFailure()) {
      ++number;
      SCOPED_TRACE(name_ + ".keys:" + std::to_string(number) + ": " + line);
      if (line.empty() || line[0] == '#') continue;
      const size_t blank = line.find(' ');
      const std::string verb = line.substr(0, blank);
      const std::string rest = blank == std::string::npos ? "" : Expand(line.substr(blank + 1));
      if (verb == "size") {
        std::istringstream(rest) >> cols_ >> rows_;
        if (started_) Tmux("resize-window -t s -x " + std::to_string(cols_) + " -y " + std::to_string(rows_));
      } else if (verb == "env") {
        env_ += " " + Quote(rest);
      } else if (verb == "start") {
        const std::string program = "cd " + Quote(root_) + " && env LANG=C.UTF-8 XDG_STATE_HOME=" + root_ +
                                    "/state XDG_DATA_HOME=" + root_ + "/data" + env_ + " " + INSTKIT_CLI_BINARY +
                                    " setup " + rest + "; echo EXIT $?; sleep 600";
        Tmux("-u -f /dev/null new-session -d -s s -x " + std::to_string(cols_) + " -y " + std::to_string(rows_) + " " +
             Quote(program));
        started_ = true;
      } else if (verb == "keys") {
        Tmux("send-keys -t s " + rest);
      } else if (verb == "type") {
        Tmux("send-keys -t s -l " + Quote(rest));
      } else if (verb == "wait") {
        Until([&](const std::string& screen) { return screen.find(rest) != std::string::npos; }, "shows " + rest);
      } else if (verb == "exit") {
        Until([&](const std::string& screen) { return screen.find("EXIT " + rest + "\n") != std::string::npos; },
              "ends with exit status " + rest);
      } else if (verb == "screen") {
        Screen(rest);
      } else {
        FAIL() << "unknown script line";
      }
    }
  }

 private:
  std::string Tmux(const std::string& args) const { return Output("tmux -S " + Quote(socket_) + " " + args + " 2>&1"); }

  std::string Expand(std::string text) const {
    for (size_t at; (at = text.find("{tmp}")) != std::string::npos;) text.replace(at, 5, root_);
    for (size_t at; (at = text.find("{lib}")) != std::string::npos;) text.replace(at, 5, INSTKIT_EXAMPLE_LIB_DIR);
    return text;
  }

  // The screen as text, with what differs from run to run replaced.
  std::string Capture() const {
    std::string screen = Tmux("capture-pane -p -t s");
    for (size_t at; (at = screen.find(root_)) != std::string::npos;)
      screen.replace(at, root_.size(), "/tmp/iks-XXXXXX");
    return std::regex_replace(screen, std::regex("[0-9.]+ (bytes|KiB|MiB|GiB|TiB) free"), "N free");
  }

  template <typename Done>
  std::string Until(Done done, const std::string& what) const {
    const auto limit = Clock::now() + std::chrono::seconds(20);
    std::string screen;
    while (Clock::now() < limit) {
      screen = Capture();
      if (done(screen)) return screen;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the screen never " << what << "; it shows:\n" << screen;
    return screen;
  }

  void Screen(const std::string& name) const {
    const std::string file = std::string(INSTKIT_TEST_DATA_DIR) + "/setup/" + name_ + "-" + name + ".screen";
    if (std::getenv("INSTKIT_UPDATE_SCREENS") != nullptr) {
      // Settled: the same twice, a moment apart.
      std::string last, now = Capture();
      do {
        last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        now = Capture();
      } while (now != last);
      std::ofstream(file, std::ios::binary) << now;
      return;
    }
    const std::string golden = TempDir::Read(file);
    ASSERT_FALSE(golden.empty()) << file << " is missing";
    EXPECT_EQ(Until([&](const std::string& screen) { return screen == golden; }, "matches " + file), golden);
  }

  std::string name_;
  std::string root_;
  std::string socket_;
  std::string env_;
  int cols_ = 80;
  int rows_ = 24;
  bool started_ = false;
};

class SetupScreensTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed (scripts/packages.txt lists it): the screens are not tried";
  }
};

TEST_P(SetupScreensTest, ShowTheScreensOfTheScript) {
  TScenario scenario(GetParam());
  scenario.Run();
  if (GetParam() != "install") return;
  TProductRecord record;
  ASSERT_TRUE(ReadProduct(scenario.Root() + "/reg.db", "instkit demo", record));
  EXPECT_EQ(record.installed.size(), 6u);
  EXPECT_TRUE(fs::exists(scenario.Root() + "/target"));
}

// ticks: ticks spreading through parents, children, dependencies and
// dependents, each row redrawn from its flags, the pane saying why.
// search: short names, case-insensitive Cyrillic, into a folded branch.
// install: every screen from the welcome to the results, ending in the
// registry.  question: a driver's question in a dialog with its Russian
// text, answered No.  abort: pause, then Esc, "abort?", Yes: the library is
// asked to stop.  narrow: a narrow terminal in monochrome, then one too
// small, then large again.
INSTANTIATE_TEST_SUITE_P(Scenarios, SetupScreensTest,
                         ::testing::Values("ticks", "search", "install", "question", "abort", "narrow"));

// Without a terminal: one line pointing to `install`.
TEST(SetupCommandTest, RefusesWithoutATerminal) {
  TempDir dir;
  const std::string out = Output(std::string(INSTKIT_CLI_BINARY) + " setup " + INSTKIT_SOURCE_DIR +
                                 "/examples/demo/setup.idf </dev/null 2>&1; echo \"EXIT $?\"");
  EXPECT_NE(out.find("instkit setup: needs a terminal for its screens; without one, use `instkit install "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("EXIT 2"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
}

}  // namespace
}  // namespace instkit::testing
#endif

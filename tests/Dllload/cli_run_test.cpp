// instkit install|uninstall|generate, run as a process with the scripted test
// library: Ctrl-C, locks and the embedding example.  The log file, answers,
// unloadable libraries, nested runs, --json, stores that cannot be written,
// usage errors, repeat runs and Cyrillic folders: the transcripts of
// tests/data/cli/ (tests/cli/commands_test.cpp).
// Every run records into the test's own registry and link folders.
#ifdef INSTKIT_CLI_BINARY
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "driver_fixture.h"
#include "host/platform/file.h"

namespace instkit::testing {
namespace {

class CliRunTest : public DriverTest {
 protected:
  // Runs instkit with stdin from /dev/null; returns the exit status.
  int Run(const std::string& args) { return RunProgram(std::string(INSTKIT_CLI_BINARY) + " " + args); }
  int RunProgram(const std::string& command_line) {
    const std::string command =
        command_line + " </dev/null >" + (temp_ / "out.txt").string() + " 2>" + (temp_ / "err.txt").string();
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  // Starts instkit in the background (stdout and stderr into out2/err2.txt).
  pid_t Spawn(const std::string& args) {
    std::vector<std::string> words = {INSTKIT_CLI_BINARY};
    std::istringstream in(args);
    for (std::string word; in >> word;) words.push_back(word);
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const std::string out = (temp_ / "out.txt").string(), err = (temp_ / "spawned-err.txt").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }
  // Waits (up to 10 s) for a line in the spawned run's stderr.
  bool WaitFor(const std::string& text) {
    for (int i = 0; i < 1000; ++i) {
      if (ReadWholeFile((temp_ / "spawned-err.txt").string()).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  int Wait(pid_t pid) {
    int raw = 0;
    EXPECT_EQ(waitpid(pid, &raw, 0), pid);
    std::filesystem::copy_file(temp_ / "spawned-err.txt", temp_ / "err.txt",
                               std::filesystem::copy_options::overwrite_existing);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string Out() { return ReadWholeFile((temp_ / "out.txt").string()); }
  std::string Err() { return ReadWholeFile((temp_ / "err.txt").string()); }
  // The test's own registry and link folders, for every run command.
  std::string Store() const {
    return " --registry " + (temp_ / "reg.db").string() + " --links-root " + (temp_ / "links").string();
  }
};

// The run's first Ctrl-C reaches every library's UserAbort once, the
// progress callback then says stop, and nothing unreached is recorded.
TEST_F(CliRunTest, CtrlCStopsTheRunAndRecordsNothingUnreached) {
  const std::string file = Describe("W:w:worker=1 X:x");
  const std::string log = (temp_ / "run.log").string();
  const pid_t pid = Spawn("install " + file + " --path " + temp_.string() + " --log " + log + " -v" + Store());
  ASSERT_TRUE(WaitFor(" worker started"));
  kill(pid, SIGINT);
  EXPECT_EQ(Wait(pid), 130);
  const std::string out = Out();
  size_t not_done = 0;
  for (size_t at = out.find("  not done\n"); at != std::string::npos; at = out.find("  not done\n", at + 1)) ++not_done;
  EXPECT_EQ(not_done, 2u) << out;
  EXPECT_NE(Out().find("(interrupted)"), std::string::npos) << Out();
  EXPECT_NE(Err().find("instkit: the run was interrupted"), std::string::npos) << Err();
  const std::string text = ReadWholeFile(log);
  EXPECT_NE(text.find(" IN procedure ABORT\n OUT procedure ABORT\n"), std::string::npos) << text;
  const Lines calls = Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "W UserAbort"), 1);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "X Perform"), 0);
  EXPECT_EQ(Run("status --registry " + (temp_ / "reg.db").string()), 0);
  EXPECT_NE(Out().find("nothing recorded"), std::string::npos) << Out();
}

// A second run on the same product, or on the same target folder, stops as
// busy while the first holds them.
TEST_F(CliRunTest, SecondRunOnTheSameProductOrFolderIsBusy) {
  const std::string file = Describe("W:w:worker=1");
  const pid_t first = Spawn("install " + file + " --path " + (temp_ / "t").string() + " -v" + Store());
  ASSERT_TRUE(WaitFor(" worker started"));
  std::filesystem::create_directories(temp_ / "other");
  WriteWholeFileAtomically((temp_ / "other/other.idf").string(),
                           "IDF-FPS-text\r\n\r\n[SubSystems]\r\nO=1\r\n[O]\r\nShort name=O\r\n");
  const std::string busy = "busy: another run is working on";
  EXPECT_EQ(Run("install " + file + " --path " + (temp_ / "elsewhere").string() + Store()), 75);
  EXPECT_NE(Err().find(busy), std::string::npos) << Err();
  EXPECT_EQ(Run("install " + (temp_ / "other/other.idf").string() + " --path " + (temp_ / "t").string() + Store()), 75);
  EXPECT_NE(Err().find(busy), std::string::npos) << Err();
  kill(first, SIGINT);
  EXPECT_EQ(Wait(first), 130);
  EXPECT_EQ(Run("install " + (temp_ / "other/other.idf").string() + " --path " + (temp_ / "t").string() + Store()), 0)
      << Err();
}

#ifdef INSTKIT_EMBED_BINARY
// The reproduction, and a clean install, give the same outcome from
// C++ (examples/embed) as from the command line.
TEST_F(CliRunTest, EmbeddedEngineGivesTheCommandLinesOutcome) {
  const std::string file = Describe("A:a:perform=0 B:b");
  WriteWholeFileAtomically((temp_ / "file").string(), "");
  WriteWholeFileAtomically((temp_ / "answers.txt").string(), "perform-failed=yes\n");
  const std::string answers = (temp_ / "answers.txt").string();
  for (const std::string& target : {(temp_ / "file/t").string(), (temp_ / "t").string()}) {
    SCOPED_TRACE(target);
    std::string outcomes[2];
    for (int embedded = 0; embedded < 2; ++embedded) {
      std::filesystem::remove_all(temp_ / "reg.db");
      const int code = embedded
                           ? RunProgram(std::string(INSTKIT_EMBED_BINARY) + " " + file + " " + target + " . " +
                                        (temp_ / "reg.db").string() + " " + (temp_ / "links").string() + " " + answers)
                           : Run("install " + file + " --path " + target + " --answers " + answers + Store());
      std::string err = Err();
      err = err.substr(err.rfind('\n', err.size() - 2) + 1);  // the last line: the failure
      if (err.rfind("instkit: ", 0) == 0) err.erase(0, 9);
      outcomes[embedded] =
          std::to_string(code) + " [" + err + "] " + (std::filesystem::exists(temp_ / "reg.db") ? "store" : "no store");
    }
    EXPECT_EQ(outcomes[1], outcomes[0]);
  }
}
#endif

}  // namespace
}  // namespace instkit::testing
#endif

// instkit install|uninstall|generate, run as a process: the log file byte
// for byte, the summary, unattended answers and the exit status.
#ifdef INSTKIT_CLI_BINARY
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "driver_fixture.h"
#include "host/platform/file.h"

namespace instkit::testing {
namespace {

class CliRunTest : public DriverTest {
 protected:
  // A description with the given subsystem sections (UTF-8, written as
  // Windows-1251 with CR LF line ends).
  std::string Description(const std::vector<std::array<std::string, 4>>& subsystems) {
    std::string text = "IDF-FPS-text\r\n\r\n[SubSystems]\r\n";
    for (size_t i = 0; i < subsystems.size(); ++i) text += subsystems[i][0] + "=" + std::to_string(i + 1) + "\r\n";
    for (const auto& s : subsystems) {
      text += "[" + s[0] + "]\r\nParent=" + s[3] + "\r\nLibrary=" + s[1] + "\r\nParameter=" + s[2] +
              "\r\nShort name=" + s[0] + "\r\n";
    }
    const std::string path = (temp_ / "setup.idf").string();
    WriteWholeFileAtomically(path, Utf8ToCp1251(text));
    return path;
  }
  // Runs instkit with stdin from /dev/null; returns the exit status.
  int Run(const std::string& args) {
    const std::string command = std::string(INSTKIT_CLI_BINARY) + " " + args + " </dev/null >" +
                                (temp_ / "out.txt").string() + " 2>" + (temp_ / "err.txt").string();
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string Out() { return ReadWholeFile((temp_ / "out.txt").string()); }
  std::string Err() { return ReadWholeFile((temp_ / "err.txt").string()); }
  std::string Param(const std::string& id, const std::string& script = "") {
    return "id=" + id + ";record=" + calls_file_ + (script.empty() ? "" : ";" + script);
  }
};

TEST_F(CliRunTest, LogFileHoldsTheDriversLinesExactly) {
  const std::string a = Library("a");
  const std::string file = Description({{{"Ядро", a, Param("A"), "0"}}, {{"Пусто", "", "", "0"}}});
  const std::string log = (temp_ / "run.log").string();
  ASSERT_EQ(Run("install " + file + " --path " + (temp_ / "target").string() + " --log " + log +
                " --log-prefix setup --session S1 --client 42 --questions-level 3"),
            0)
      << Err();
  std::string expected;
  for (const std::string& line :
       Logged({"IN function LoadDlls"}) + Lines{" library " + a + " loaded successful"} +
           Logged({"OUT function LoadDlls", "IN function SETALL"}) + GoodSetup("Ядро") +
           Logged({"OUT function SETALL", "IN procedure ASKALL", "before calling AskQuestions :Ядро",
                   "AskQuestions = TRUE  :Ядро", "OUT procedure ASKALL", "IN procedure PERFORMALL",
                   "before calling Perform :Ядро", "Perform = TRUE  :Ядро", "OUT procedure PERFORMALL",
                   "IN function UNLOADDLLS", "OUT function UNLOADDLLS"})) {
    expected += " setup: " + line.substr(1) + "\n";
  }
  EXPECT_EQ(ReadWholeFile(log), expected);
  const std::string out = Out();
  EXPECT_NE(out.find("Ядро  "), std::string::npos) << out;
  EXPECT_NE(out.find("questions: none"), std::string::npos) << out;
  const Lines calls = Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "A SetClientNumber 42"), 1);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "A SetQuestionsLevel 3"), 1);
}

TEST_F(CliRunTest, QuestionsAreAnsweredPerKindThenByFlagThenNo) {
  const std::string file = Description({{{"A", Library("a"), Param("A", "perform=0"), "0"}},
                                        {{"B", Library("b"), Param("B", "ask=0"), "0"}}});
  const std::string answers = (temp_ / "answers.txt").string();
  WriteWholeFileAtomically(answers, "# unattended\nperform-failed = yes\n");
  // questions-failed falls back to the default No (no terminal, no flag).
  EXPECT_EQ(Run("install " + file + " --path " + temp_.string() + " --answers " + answers), 1) << Err();
  std::string out = Out();
  EXPECT_NE(out.find("[questions-failed] Система B не была установлена. Прервать инсталляцию?  -> No (default)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("[perform-failed] Система A не была установлена. Прервать инсталляцию?  -> Yes (answers file)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("perform aborted"), std::string::npos) << out;
  // --yes answers the kinds the file does not list.
  EXPECT_EQ(Run("install " + file + " --path " + temp_.string() + " --answers " + answers + " --yes"), 1);
  out = Out();
  EXPECT_NE(out.find("-> Yes (--yes)"), std::string::npos) << out;
  EXPECT_NE(out.find("questions aborted"), std::string::npos) << out;  // the run stopped there
  // An unknown kind is refused before anything runs.
  WriteWholeFileAtomically(answers, "everything=yes\n");
  EXPECT_EQ(Run("install " + file + " --path " + temp_.string() + " --answers " + answers), 2);
  EXPECT_NE(Err().find("setup-failed"), std::string::npos);
}

TEST_F(CliRunTest, UnloadableLibraryEndsTheRunWithTheSystemsReason) {
  const std::string file = Description({{{"A", "missing-library", "", "0"}}, {{"B", Library("b"), Param("B"), "0"}}});
  EXPECT_EQ(Run("uninstall " + file + " --path " + temp_.string() + " --flat"), 1);
  const std::string out = Out();
  EXPECT_NE(out.find("not loaded"), std::string::npos) << out;
  EXPECT_NE(out.find("load failure: missing-library"), std::string::npos) << out;
  EXPECT_NE(Err().find("Не удалось загрузить missing-library. Денсталляция будет прервана."), std::string::npos)
      << Err();
  EXPECT_TRUE(Calls().empty());  // B was never loaded
}

TEST_F(CliRunTest, NestedChildrenResultsReachTheSummaryInBothDrivers) {
  const std::string file = Description({{{"P", Library("p"), Param("P", "nested=1"), "0"}},
                                        {{"C1", Library("c1"), Param("C1"), "1"}},
                                        {{"C2", Library("c2"), Param("C2", "perform=3"), "1"}}});
  for (const char* flat : {"", " --flat"}) {
    SCOPED_TRACE(flat);
    EXPECT_EQ(Run("generate " + file + " --path " + temp_.string() + flat), 1);
    const std::string out = Out();
    EXPECT_NE(out.find("  C1  "), std::string::npos) << out;
    EXPECT_NE(out.find("c1.so  done"), std::string::npos) << out;
    EXPECT_NE(out.find("c2.so  not done"), std::string::npos) << out;
  }
}

TEST_F(CliRunTest, CtrlCReachesTheLibrariesUserAbortOnce) {
  const std::string file = Description({{{"W", Library("w"), Param("W", "worker=1"), "0"}}});
  const std::string out = (temp_ / "out.txt").string(), err = (temp_ / "err.txt").string();
  const std::string log = (temp_ / "run.log").string();
  const std::string target = temp_.string();
  std::vector<std::string> args = {INSTKIT_CLI_BINARY, "install", file, "--path", target, "--log", log, "-v"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  bool started = false;
  for (int i = 0; i < 1000 && !started; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    started = ReadWholeFile(err).find("worker started") != std::string::npos;
  }
  ASSERT_TRUE(started);
  kill(pid, SIGINT);
  int raw = 0;
  ASSERT_EQ(waitpid(pid, &raw, 0), pid);
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 0);  // code 2 in install mode still counts as done
  EXPECT_NE(Out().find("perform aborted (interrupted)"), std::string::npos) << Out();
  const std::string text = ReadWholeFile(log);
  EXPECT_NE(text.find(" IN procedure ABORT\n OUT procedure ABORT\n"), std::string::npos) << text;
  const Lines calls = Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "W UserAbort"), 1);
}

}  // namespace
}  // namespace instkit::testing
#endif

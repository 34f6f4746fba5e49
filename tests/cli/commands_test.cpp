// The commands as an operator types them.  Each tests/data/cli/NAME.txt is
// a transcript: "$ " lines are shell commands, the lines after one are what
// it printed (stdout and stderr together), and "[exit N]" follows a command
// that ended with status N other than 0.  The commands of a transcript run
// one after another through /bin/sh in a fresh folder, with instkit (the
// program under test), $TMP (that folder), $DEMO (examples/demo), $DATA
// (tests/data/cli), $LIBS (the example libraries), $MEDIA (the demo's packed
// archives) and $TESTLIB (the scripted test library of
// tests/Dllload/scripted_subsystem.cpp) set.  What they print
// must match byte for byte, with those paths written back as the names.
// INSTKIT_UPDATE_GOLDEN=1 rewrites the transcripts from what is printed.
#if defined(INSTKIT_CLI_BINARY) && defined(INSTKIT_EXAMPLE_LIB_DIR) && defined(INSTKIT_TEST_SUBSYSTEM) && \
    defined(INSTKIT_DEMO_MEDIA_DIR)
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace instkit::testing {
namespace {

namespace fs = std::filesystem;

const std::string kData = std::string(INSTKIT_TEST_DATA_DIR) + "/cli";

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

std::string Transcript(const std::string& golden) {
  TempDir dir;
  const std::string tmp = dir.Root().string();
  const std::pair<std::string, std::string> names[] = {{tmp, "$TMP"},
                                                       {INSTKIT_CLI_BINARY, "instkit"},
                                                       {kData, "$DATA"},
                                                       {std::string(INSTKIT_SOURCE_DIR) + "/examples/demo", "$DEMO"},
                                                       {INSTKIT_EXAMPLE_LIB_DIR, "$LIBS"},
                                                       {INSTKIT_TEST_SUBSYSTEM, "$TESTLIB"},
                                                       {INSTKIT_DEMO_MEDIA_DIR, "$MEDIA"}};
  std::string prefix = "cd '" + tmp + "' && instkit() { '" INSTKIT_CLI_BINARY "' \"$@\"; }";
  for (const auto& [path, name] : names) {
    if (name[0] == '$') prefix += " && " + name.substr(1) + "='" + path + "'";
  }
  std::ifstream in(golden, std::ios::binary);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("$ ", 0) != 0) continue;
    const std::string command = prefix + " && (" + line.substr(2) + ") >.out 2>&1";
    const int raw = std::system(command.c_str());
    std::string printed = TempDir::Read(tmp + "/.out");
    for (const auto& [path, name] : names) ReplaceAll(printed, path, name);
    out += line + "\n" + printed;
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (status != 0) out += "[exit " + std::to_string(status) + "]\n";
  }
  return out;
}

class CommandsTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CommandsTest, PrintWhatTheTranscriptShows) {
  const std::string golden = kData + "/" + GetParam() + ".txt";
  const std::string got = Transcript(golden);
  if (const char* update = std::getenv("INSTKIT_UPDATE_GOLDEN"); update != nullptr && *update == '1') {
    std::ofstream(golden, std::ios::binary) << got;
  }
  EXPECT_EQ(got, TempDir::Read(golden));
}

INSTANTIATE_TEST_SUITE_P(Transcripts, CommandsTest,
                         ::testing::Values("idf", "plan", "install_status", "data", "tree", "usage", "cyrillic",
                                           "catalogue", "runs"));

}  // namespace
}  // namespace instkit::testing
#endif

// instkit catalogue / check / image as a user runs them (through the POSIX
// shell, so these tests are built on POSIX systems only).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "Engine/run_input.h"
#include "host/platform/file.h"
#include "host/platform/registry.h"
#include "support/catalogue_generator.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

const std::string kDemo = std::string(INSTKIT_SOURCE_DIR) + "/examples/demo/setup.idf";
const std::string kProblems = std::string(INSTKIT_TEST_DATA_DIR) + "/catalogue/problems.idf";

#ifdef INSTKIT_CLI_PATH

struct TRun {
  int status;
  std::string out;
};

// Standard output, or with `errors` standard error alone.
TRun RunCli(const std::string& args, bool errors = false) {
  const std::string command =
      std::string(INSTKIT_CLI_PATH) + " " + args + (errors ? " 2>&1 >/dev/null" : " 2>/dev/null");
  TRun run{-1, {}};
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// Every command that reads a description says in one sentence why it could
// not, the same sentence for each, and never names an exception class.
TEST(CatalogueCliTest, UnreadableDescriptionsGetTheSameSentenceFromEveryCommand) {
  const testing::TempDir dir;
  const std::string folder = dir.Path("folder.idf");
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  const std::string notes = dir.Write("notes.txt", "just some text\r\n");
  const std::string bad = dir.Write("bad.idf", "IDF-CPS-text\r\n\r\n[SubSystems]\r\nA=x\r\n[A]\r\nParent=0\r\n");
  const std::string missing = dir.Path("missing.idf");
  const std::pair<std::string, std::string> files[] = {
      {missing, "cannot read " + missing + ": no such file"},
      {folder, "cannot read " + folder + ": it is a folder, not an IDF text file"},
      {notes, notes + " is not an IDF text file: its first line is not \"IDF-CPS-text\" or \"IDF-FPS-text\""},
  };
  const std::string commands[] = {"catalogue $F", "check $F", "image $F 1", "idf show $F",
                                  "tree from-idf --idf $F --section S --db " + dir.Path("f.db") + " --form 1 --name n"};
  for (const auto& [file, sentence] : files) {
    for (std::string command : commands) {
      command.replace(command.find("$F"), 2, file);
      SCOPED_TRACE(command);
      const TRun run = RunCli(command, true);
      EXPECT_NE(run.status, 0);
      EXPECT_EQ(run.out, "instkit: " + sentence + "\n");
    }
  }
  const TRun catalogue = RunCli("catalogue " + bad, true);
  EXPECT_EQ(catalogue.status, 1);
  EXPECT_EQ(catalogue.out,
            "instkit: " + bad + ": the subsystem catalogue cannot be read: 'x' is not a valid integer value\n");
}

TEST(CatalogueCliTest, CheckExitStatusFollowsTheWorstFinding) {
  EXPECT_EQ(RunCli("check " + kDemo + " --media " + INSTKIT_DEMO_MEDIA).status, 0);
  const TRun no_media = RunCli("check " + kDemo);
  EXPECT_EQ(no_media.status, 2);
  EXPECT_NE(no_media.out.find("error: archive core.tar.zst ("), std::string::npos) << no_media.out;
  const TRun problems = RunCli("check " + kProblems);
  EXPECT_EQ(problems.status, 2);
  EXPECT_NE(problems.out.find("error: [SubSystems] Twin:"), std::string::npos);
  EXPECT_NE(problems.out.find("warning: [Orphan] Parent:"), std::string::npos);
}

TEST(CatalogueCliTest, CatalogueJsonAndDot) {
  const TRun json = RunCli("catalogue --json " + kDemo);
  ASSERT_EQ(json.status, 0);
  EXPECT_EQ(json.out.rfind("{\"subsystems\":[{\"SysIndex\":1,", 0), 0u) << json.out.substr(0, 80);
  EXPECT_NE(json.out.find("\"ShortName\":\"Бухгалтерия\""), std::string::npos);  // UTF-8 on output
  // The parsed forms beside the raw texts.
  for (const char* parsed :
       {"\"Links\":\"Ядро?menu\",\"LinkItems\":[{\"kind\":\"menu\",\"title\":\"Ядро\",\"command\":null}]",
        "\"Archive\":\"acc.tar.gz,ledger.tar.xz\",\"ArchiveNames\":[\"acc.tar.gz\",\"ledger.tar.xz\"]",
        "\"Depend\":\"1\",\"DependNumbers\":[1],\"DependInvalid\":[]"}) {
    EXPECT_NE(json.out.find(parsed), std::string::npos) << parsed;
  }
  const TRun dot = RunCli("catalogue --dot " + kDemo);
  ASSERT_EQ(dot.status, 0);
  EXPECT_NE(dot.out.find("style=dashed"), std::string::npos);
  // A catalogue the reader rejects (duplicate numbers) fails the command.
  EXPECT_EQ(RunCli("catalogue " + kProblems).status, 1);
}

TEST(CatalogueCliTest, ImageWritesTheSubsystemRecord) {
  const testing::TempDir dir;
  ASSERT_EQ(RunCli("image " + kDemo + " 10 -o " + dir.Path("image.bin")).status, 0);
  const std::string bytes = ReadWholeFile(dir.Path("image.bin"));
  ASSERT_GE(bytes.size(), 26u);
  // RestSize is the record size minus 4, and Accounting has three subsystems below it.
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8), bytes.size() - 4);
  EXPECT_EQ(RunCli("image " + kDemo + " 999").status, 1);
  EXPECT_NE(RunCli("image " + kDemo + " 1").out.find("00000000 "), std::string::npos);
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// Every command that reads or runs a catalogue, on one 200,000 levels deep and on
// one 200,000 wide (kLargeCatalogue; one subsystem with every other below
// it): no crash, and output that grows with the catalogue only.  The
// library test also runs a catalogue wide at the top level.
TEST(CatalogueCliTest, DeepAndWideCataloguesRunThroughEveryCommand) {
  constexpr int32_t kCount = testing::kLargeCatalogue;
  const testing::TempDir dir;
  for (const auto shape : {testing::TCatalogueShape::kChain, testing::TCatalogueShape::kWideNode}) {
    SCOPED_TRACE(testing::ShapeName(shape));
    const std::string file = dir.Write("catalogue.idf", testing::GenerateCatalogue(shape, kCount));

    const TRun text = RunCli("catalogue " + file);
    ASSERT_EQ(text.status, 0);
    EXPECT_EQ(Count(text.out, "  [S"), static_cast<size_t>(kCount));
    // Indentation stops growing; the level is written instead.
    const std::string deepest = "(level " + std::to_string(kCount) + ") " + std::to_string(kCount) + " N";
    EXPECT_EQ(text.out.find(deepest) != std::string::npos, shape == testing::TCatalogueShape::kChain);
    EXPECT_LT(text.out.size(), static_cast<size_t>(kCount) * 400);

    const TRun json = RunCli("catalogue --json " + file);
    ASSERT_EQ(json.status, 0);
    EXPECT_EQ(Count(json.out, "\"SysIndex\":"), static_cast<size_t>(kCount));
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '{'), std::count(json.out.begin(), json.out.end(), '}'));

    const TRun dot = RunCli("catalogue --dot " + file);
    ASSERT_EQ(dot.status, 0);
    EXPECT_EQ(Count(dot.out, " -> "), 2u * (kCount - 1));  // one tree edge and one dependency edge each

    const TRun check = RunCli("check " + file);
    EXPECT_EQ(check.status, 0);
    EXPECT_NE(check.out.find(": 0 error(s), 0 warning(s)"), std::string::npos);

    ASSERT_EQ(RunCli("image " + file + " 1 -o " + dir.Path("image.bin")).status, 0);
    size_t image_size = 0;  // a 26-byte record per subsystem, plus its short name
    for (int32_t i = 1; i <= kCount; ++i) {
      image_size += 26 + 1 + std::to_string(i).size();
    }
    EXPECT_EQ(ReadWholeFile(dir.Path("image.bin")).size(), image_size);

    EXPECT_EQ(RunCli("idf show " + file).status, 0);

    // The run commands: every subsystem planned (the deepest with its
    // level), installed and recorded.
    const TRun plan = RunCli("plan " + file);
    ASSERT_EQ(plan.status, 0);
    EXPECT_EQ(Count(plan.out, "  default\n"), static_cast<size_t>(kCount));
    const std::string last = shape == testing::TCatalogueShape::kChain ? "(level " + std::to_string(kCount) + ") N"
                                                                       : " N";
    EXPECT_NE(plan.out.find(last + std::to_string(kCount) + "  default\n"), std::string::npos);
    const std::string store = dir.Path("registry.db");
    ASSERT_EQ(RunCli("install " + file + " --path " + dir.Path("target") + " --registry " + store + " -q").status, 0);
    TRegistry registry(store);
    ASSERT_TRUE(registry.OpenKey(InstalledKeyFor("catalogue"), false));
    EXPECT_EQ(registry.GetValueNames().size(), static_cast<size_t>(kCount));
  }
}

#endif  // INSTKIT_CLI_PATH

}  // namespace
}  // namespace instkit

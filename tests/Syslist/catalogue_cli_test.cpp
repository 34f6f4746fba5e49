// The commands on catalogues 200,000 levels deep or wide, run through the
// POSIX shell (so built on POSIX systems only).  What they print on the
// demo, on unreadable descriptions and on one holding every problem check
// finds is the transcript tests/data/cli/catalogue.txt.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "Engine/run_input.h"
#include "host/platform/file.h"
#include "host/platform/registry.h"
#include "support/catalogue_generator.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

#ifdef INSTKIT_CLI_PATH

struct TRun {
  int status;
  std::string out;
};

// Standard output.
TRun RunCli(const std::string& args) {
  const std::string command = std::string(INSTKIT_CLI_PATH) + " " + args + " 2>/dev/null";
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

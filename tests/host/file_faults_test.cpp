// Temporaries of killed writers: left behind by the kill, removed by the next
// successful write to the same target unless their writer still lives.
// Through fork, so this test is built on POSIX systems only.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "host/platform/file.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

std::set<std::string> Temporaries(const testing::TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Root())) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp") != std::string::npos) names.insert(name);
  }
  return names;
}

// A child that opens a writer for `target`, writes, tells the parent through
// the pipe `ready` and then either dies at once (as under kill -9: no
// destructor, no commit) or waits for the pipe `release` to close first.
pid_t StartWriter(const std::string& target, const int ready[2], const int* release) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    auto* writer = new TAtomicFileWriter(target);
    writer->Write("partial");
    char byte = 1;
    (void)!::write(ready[1], &byte, 1);
    if (release != nullptr) {
      ::close(release[1]);
      (void)!::read(release[0], &byte, 1);
    }
    ::_exit(0);
  }
  char byte;
  (void)!::read(ready[0], &byte, 1);
  return pid;
}

TEST(FileFaults, ACommitRemovesTheTemporariesOfDeadWritersOnly) {
  testing::TempDir dir;
  const std::string target = dir.Path("out.idf");
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t dead = StartWriter(target, ready, nullptr);
  ::waitpid(dead, nullptr, 0);
  const pid_t live = StartWriter(target, ready, release);
  dir.Write("out.idf.tmp-notours", "x");
  dir.Write("other.idf.tmp-1-abcdef", "x");
  ASSERT_EQ(Temporaries(dir).size(), 4u);

  WriteWholeFileAtomically(target, "new");
  const std::set<std::string> left = Temporaries(dir);
  EXPECT_EQ(left.size(), 3u);
  EXPECT_EQ(left.count("out.idf.tmp-notours") + left.count("other.idf.tmp-1-abcdef"), 2u);
  const auto of = [&](pid_t pid) {
    return std::count_if(left.begin(), left.end(), [&](const std::string& name) {
      return name.rfind("out.idf.tmp-" + std::to_string(pid) + "-", 0) == 0;
    });
  };
  EXPECT_EQ(of(dead), 0);
  EXPECT_EQ(of(live), 1) << "kept while its writer lives";

  ::close(release[1]);
  ::waitpid(live, nullptr, 0);
  WriteWholeFileAtomically(target, "newer");
  EXPECT_EQ(Temporaries(dir).size(), 2u);
  EXPECT_EQ(testing::TempDir::Read(target), "newer");
}

}  // namespace
}  // namespace instkit

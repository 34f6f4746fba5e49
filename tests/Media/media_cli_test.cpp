// Installation media as an operator uses them: archives in every format
// `instkit pack` writes, made from folders, installed, verified and
// uninstalled through the instkit binary; an archive shared by two
// subsystems, a file changed after the install, a missing archive.
#ifdef INSTKIT_CLI_PATH
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "Media/unpack_journal.h"
#include "Media/unpacker.h"
#include "host/base/codepage.h"
#include "support/archive_maker.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

namespace fs = std::filesystem;
using testing::Snapshot;

class MediaCliTest : public ::testing::Test {
 protected:
  // Subsystems 1 (A), 2 (B), 3 (C), none with a library; their archives
  // cover every format pack writes, and A and B share shared.tar.gz.
  void SetUp() override {
    const std::string text =
        "IDF-FPS-text\r\n\r\nProduct=media\r\n[SubSystems]\r\nA=1\r\nB=2\r\nC=3\r\n"
        "[A]\r\nParent=0\r\nShort name=A\r\nArchive=shared.tar.gz,A.ZIP\r\n"
        "[B]\r\nParent=0\r\nShort name=B\r\nArchive=SHARED.tar.gz,b.tar.zst\r\n"
        "[C]\r\nParent=0\r\nShort name=C\r\nArchive=c.7z,d.cpio,e.tar.xz,f.tar.bz2,g.tar,h.tar.lz4,plain\r\n";
    description_ = work_.Write("setup.idf", Utf8ToCp1251(text));
    const std::map<std::string, std::string> files = {
        {"shared/x.txt", "x"},    {"shared/sub/deeper/y.txt", std::string(3000, 'y')},
        {"A/a.txt", "a"},         {"b/bin/tool", "#!/bin/sh\n"},
        {"c/c.dat", Noise(5000)}, {"d/d.txt", "d"},
        {"e/e.txt", "e"},         {"f/f.txt", "f"},
        {"g/g.txt", "g"},         {"h/h.txt", "h"},
        {"plain/p.txt", "p"},
    };
    for (const auto& [name, data] : files) {
      fs::create_directories(fs::path(work_.Path("src/" + name)).parent_path());
      work_.Write("src/" + name, data);
    }
    fs::permissions(work_.Path("src/b/bin/tool"), fs::perms(0755));
    fs::create_symlink("tool", work_.Path("src/b/bin/run"));
  }

  static std::string Noise(size_t size) {
    std::string data(size, '\0');
    uint32_t x = 12345;
    for (char& c : data) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    return data;
  }

  int Run(const std::string& args) {
    const std::string command =
        std::string(INSTKIT_CLI_PATH) + " " + args + " </dev/null >" + work_.Path("out") + " 2>" + work_.Path("err");
    const int raw = std::system(command.c_str());
    out_ = testing::TempDir::Read(work_.Path("out"));
    err_ = testing::TempDir::Read(work_.Path("err"));
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string RunArgs(const std::string& extra = "") const {
    return description_ + " --path " + Target() + " --registry " + work_.Path("reg.db") + " --no-links" + extra;
  }
  std::string Install(const std::string& extra = "") const {
    return "install " + RunArgs(" --media " + work_.Path("media") + extra);
  }
  std::string Target() const { return work_.Path("t"); }
  std::string Verify() const { return "verify --registry " + work_.Path("reg.db"); }

  // What the target holds once every archive is unpacked: the source
  // folders' contents, merged.
  std::map<std::string, std::string> Expected() const {
    std::map<std::string, std::string> merged;
    for (const auto& [name, what] : Snapshot(work_.Path("src"))) {
      const size_t slash = name.find('/');
      if (slash != std::string::npos) merged[name.substr(slash + 1)] = what;
    }
    return merged;
  }

  testing::TempDir work_;
  std::string description_;
  std::string out_, err_;
};

// An install killed while unpacking (here: a process that unpacks one
// archive and exits without cleaning up, as after kill -9) leaves its
// journal, a new file and the old one set aside; the next install takes
// that back first and then leaves exactly the archives' files.
TEST_F(MediaCliTest, PackedInEveryFormatInstalledVerifiedAndRemovedArchiveByArchive) {
  ASSERT_EQ(Run("pack " + description_ + " --from " + work_.Path("src") + " -o " + work_.Path("media")), 0) << err_;
  EXPECT_NE(out_.find("packed plain (tar.zst): 1 file,"), std::string::npos) << out_;
  EXPECT_EQ(Run("check " + description_ + " --media " + work_.Path("media")), 0) << out_;
  fs::create_directories(Target());
  work_.Write("t/a.txt", "before");
  const pid_t child = fork();
  if (child == 0) {
    TUnpackJournal journal(Target(), "media", TUnpackJournal::NewRunId());
    _exit(UnpackArchive(work_.Path("media/A.ZIP"), journal, TUnpackLimits(), nullptr).ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_GT(Snapshot(Target()).size(), 2u);  // a.txt, what was set aside, the journal

  ASSERT_EQ(Run(Install()), 0) << err_ << out_;
  EXPECT_EQ(Snapshot(Target()), Expected());
  EXPECT_EQ(fs::status(Target() + "/bin/tool").permissions() & fs::perms::mask, fs::perms(0755));
  EXPECT_EQ(Run(Verify()), 0) << out_;
  EXPECT_NE(out_.find("media in " + Target() + ": 12 of 12 files unchanged"), std::string::npos) << out_;

  // Changed after the install: verify lists it, an uninstall keeps it.
  work_.Write("t/a.txt", "A");
  fs::remove(Target() + "/d.txt");
  EXPECT_EQ(Run(Verify() + " --product media"), 1);
  EXPECT_NE(out_.find("  a.txt: changed\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("  d.txt: missing\n"), std::string::npos) << out_;

  // A and C go; shared.tar.gz stays for B.
  EXPECT_EQ(Run("uninstall " + RunArgs(" --deselect 2")), 0) << err_;
  EXPECT_NE((out_ + err_).find("a.txt"), std::string::npos) << out_ << err_;
  auto left = Snapshot(Target());
  EXPECT_EQ(left["a.txt"], "file:A");
  EXPECT_EQ(left["x.txt"], "file:x");
  EXPECT_EQ(left["bin/run"], "link:tool");
  EXPECT_EQ(left.count("c.dat"), 0u);
  EXPECT_EQ(left.count("p.txt"), 0u);
  EXPECT_EQ(Run(Verify()), 0) << out_;

  // B goes too: only the changed file is left, its emptied folders are not.
  EXPECT_EQ(Run("uninstall " + RunArgs()), 0) << err_;
  EXPECT_EQ(Snapshot(Target()), (std::map<std::string, std::string>{{"a.txt", "file:A"}}));
  EXPECT_EQ(Run(Verify()), 0) << out_;
}

TEST_F(MediaCliTest, MissingArchiveFailsItsSubsystemsAndAsksWhetherToAbort) {
  ASSERT_EQ(Run("pack " + description_ + " --from " + work_.Path("src") + " -o " + work_.Path("media")), 0) << err_;
  fs::remove(work_.Path("media/e.tar.xz"));
  EXPECT_EQ(Run("check " + description_ + " --media " + work_.Path("media")), 2);
  EXPECT_NE(out_.find("error: archive e.tar.xz (C): not found in " + work_.Path("media")), std::string::npos) << out_;

  // Abort: nothing of any archive is left behind.
  const std::string answers = work_.Write("answers", "extract-failed=yes\nperform-failed=no\n");
  EXPECT_NE(Run(Install(" --answers " + answers)), 0);
  EXPECT_NE(out_.find("[extract-failed]"), std::string::npos) << out_;
  EXPECT_TRUE(!fs::exists(Target()) || Snapshot(Target()).empty()) << out_;

  // Go on: A and B are installed, C and everything of its archives is not.
  const std::string go_on = work_.Write("answers", "extract-failed=no\n");
  EXPECT_EQ(Run(Install(" --answers " + go_on)), 1);
  auto expected = Expected();
  for (const char* name : {"c.dat", "d.txt", "e.txt", "f.txt", "g.txt", "h.txt", "p.txt"}) expected.erase(name);
  EXPECT_EQ(Snapshot(Target()), expected);
  EXPECT_EQ(Run(Verify()), 0) << out_;
}

TEST_F(MediaCliTest, PackRefusesFormatsItCannotWriteAndEscapingLinks) {
  const std::string arj = work_.Write("arj.idf",
                                      "IDF-FPS-text\r\n\r\n[SubSystems]\r\nA=1\r\n[A]\r\nParent=0\r\n"
                                      "Short name=A\r\nArchive=core.arj\r\n");
  fs::create_directories(work_.Path("src/core"));
  EXPECT_EQ(Run("pack " + arj + " --from " + work_.Path("src") + " -o " + work_.Path("media")), 2);
  EXPECT_NE(err_.find("cannot write them"), std::string::npos) << err_;

  fs::create_symlink("../../outside", work_.Path("src/A/escape"));
  EXPECT_EQ(Run("pack " + description_ + " --from " + work_.Path("src") + " -o " + work_.Path("media")), 1);
  EXPECT_NE(err_.find("escape"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(work_.Path("media/A.ZIP")));
}

}  // namespace
}  // namespace instkit
#endif  // INSTKIT_CLI_PATH

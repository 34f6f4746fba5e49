// Unpacking: hostile archives refused with the target left as it was and
// nothing written outside it; well-formed ones in every format unpacked
// exactly; a run killed half-way taken back (or kept) by the next one.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Media/content_hash.h"
#include "Media/unpack_journal.h"
#include "Media/unpacker.h"
#include "support/archive_maker.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

namespace fs = std::filesystem;
using testing::Snapshot;
using testing::TArchiveItem;
using testing::TempDir;

class UnpackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(work_.Root() / "target/sub");
    fs::create_directories(work_.Root() / "outside");
    work_.Write("target/keep.txt", "old keep");
    work_.Write("target/a.txt", "old a");
    work_.Write("outside/secret.txt", "secret");
    fs::create_directories(media_.Root());
  }
  std::string Target() const { return work_.Path("target"); }

  std::string Make(const std::string& format, const std::vector<TArchiveItem>& items) {
    std::string path = media_.Path("archive." + format);
    EXPECT_TRUE(testing::MakeArchive(path, format, items));
    return path;
  }

  TUnpackResult Unpack(const std::string& archive, TUnpackJournal& journal) {
    TUnpackLimits limits;
    limits.ratio = 1000;
    limits.max_bytes = 1000 * fs::file_size(archive);
    return UnpackArchive(archive, journal, limits, nullptr);
  }

  TempDir work_;   // the target and a folder beside it
  TempDir media_;  // the archives, kept out of the snapshots
};

struct THostileCase {
  const char* name;
  std::string format;  // "": `bytes` are the archive
  std::vector<TArchiveItem> items;
  const char* error;  // part of the sentence
  std::string bytes = {};
};

// Hostile and damaged archives are refused, and a rollback leaves everything
// as it was.
TEST_F(UnpackerTest, HostileArchivesChangeNothingAnywhere) {
  using testing::File;
  using testing::Folder;
  using testing::Hardlink;
  using testing::Symlink;
  const std::string outside = work_.Path("outside");
  TArchiveItem fifo{TArchiveItem::kFifo, "pipe", "", "", 0644};
  TArchiveItem device{TArchiveItem::kDevice, "dev", "", "", 0644};
  std::vector<TArchiveItem> many;
  many.reserve(40);
  for (int i = 0; i < 40; ++i)
    many.push_back(File("f" + std::to_string(i), std::string(3000, static_cast<char>('a' + i % 26))));
  const std::string good = TempDir::Read(Make("tar.gz", many));
  std::string flipped = good;
  flipped[flipped.size() / 2] ^= 0x10;
  const std::vector<THostileCase> cases = {
      {"absolute name", "tar", {File("ok.txt", "x"), File(outside + "/evil", "x")}, "absolute name"},
      {"dot-dot", "tar", {File("../outside/evil", "x")}, "\"..\" in the name"},
      {"dot-dot inside", "zip", {File("sub/../../outside/evil", "x")}, "\"..\" in the name"},
      {"absolute link", "tar", {Symlink("l", "/etc")}, "link to an absolute path"},
      {"escaping link", "tar", {Symlink("sub/l", "../../outside")}, "outside the target"},
      {"write through a link",
       "tar",
       {Folder("d"), Symlink("l", "d"), File("l/x", "evil")},
       "symbolic link is in the way at l"},
      {"write through an old link", "tar", {Symlink("sub", "x")}, "folder is in the way"},
      {"link chain climbing out",
       "tar",
       {Folder("d"), Symlink("d/up", ".."), Symlink("x", "d/up/../..")},
       "\"..\" after a folder name"},
      {"hard link outside", "tar", {File("f", "x"), Hardlink("h", "../outside/secret.txt")}, "hard link target"},
      {"hard link to a file it did not unpack", "tar", {Hardlink("h", "keep.txt")}, "has not unpacked"},
      {"fifo", "tar", {fifo}, "FIFOs are refused"},
      {"device", "tar", {device}, "device files are refused"},
      {"control character", "tar", {File("bad\x01name", "x")}, "control character"},
      {"backslash", "tar", {File("a\\b", "x")}, "backslash"},
      {"not UTF-8", "tar", {File("\xff\xfe", "x")}, "not valid UTF-8"},
      {"replaces, then refused",
       "tar",
       {File("a.txt", "new a"), File("sub/new", "n"), File("../x", "x")},
       "\"..\" in the name"},
      {"a file in the way of a folder", "tar", {File("keep.txt/x", "x")}, "a file is in the way at keep.txt"},
      {"file named like the target", "tar", {File(".", "x")}, "target folder itself"},
      {"bomb", "tar.zst", {File("zeros", std::string(4 << 20, '\0'))}, "decompression bomb"},
      {"truncated", "", {}, "damaged", good.substr(0, good.size() / 2)},
      {"bit flipped", "", {}, "damaged", flipped},
      {"not an archive", "", {}, "damaged", "just some text, no archive at all\n"},
  };
  const auto before = Snapshot(work_.Root());
  for (const THostileCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string archive = c.format.empty() ? media_.Write("damaged", c.bytes) : Make(c.format, c.items);
    TUnpackJournal journal(Target(), "product", TUnpackJournal::NewRunId());
    const TUnpackResult result = Unpack(archive, journal);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
    journal.RollBack();
    EXPECT_EQ(Snapshot(work_.Root()), before);
  }
}

TEST_F(UnpackerTest, EveryFormatUnpacksExactlyAndRollsBack) {
  using testing::File;
  const std::vector<TArchiveItem> items = {
      testing::Folder("bin"),
      File("bin/tool", "#!/bin/sh\n", 04755),
      File("a.txt", "new a"),
      File("docs/deep/readme", std::string(200000, 'r')),
      testing::Symlink("docs/up", "../a.txt"),
      testing::Hardlink("bin/tool2", "bin/tool"),
  };
  const auto before = Snapshot(work_.Root());
  for (const char* format : {"tar", "tar.gz", "tar.zst", "tar.xz", "zip", "7z", "cpio"}) {
    SCOPED_TRACE(format);
    const std::string archive = Make(format, items);
    TUnpackJournal journal(Target(), "product", TUnpackJournal::NewRunId());
    const TUnpackResult result = Unpack(archive, journal);
    ASSERT_TRUE(result.ok) << result.error;
    auto after = Snapshot(work_.Root());
    EXPECT_EQ(after["target/a.txt"], "file:new a");
    EXPECT_EQ(after["target/docs/up"], "link:../a.txt");
    // zip and 7z keep no hard links, and cpio keeps them by inode, which
    // the maker does not set: their writers store an empty file.
    const bool links = std::string(format).rfind("tar", 0) == 0;
    EXPECT_EQ(after["target/bin/tool2"], links ? "file:#!/bin/sh\n" : "file:");
    // Set-user-ID dropped; the replaced a.txt kept aside until the run ends.
    EXPECT_EQ(fs::status(Target() + "/bin/tool").permissions() & fs::perms::mask, fs::perms(0755));
    EXPECT_EQ(after.size(), before.size() + 7 + 1 + 1);  // 7 new, the aside, the journal
    ASSERT_EQ(result.entries.size(), 5u);
    for (const TManifestEntry& e : result.entries) {
      if (!e.link) {
        EXPECT_EQ(e.hash, HashFile(Target() + "/" + e.path)) << e.path;
      }
    }
    EXPECT_EQ(result.folders, (std::vector<std::string>{"bin", "docs", "docs/deep"}));
    if (std::string(format) == "cpio") {
      journal.Commit();  // keeps the new files, drops what was set aside and the journal
      EXPECT_EQ(Snapshot(work_.Root()).size(), before.size() + 7);
      break;
    }
    journal.RollBack();
    EXPECT_EQ(Snapshot(work_.Root()), before);
  }
}

// A run killed after unpacking: the next run takes it back, or keeps it when
// the registry says the run recorded its manifest.
TEST_F(UnpackerTest, KilledRunIsRecoveredEitherWay) {
  const std::string archive = Make("tar.zst", {testing::File("a.txt", "new a"), testing::File("n/deep/b", "b")});
  const auto before = Snapshot(work_.Root());
  for (bool recorded : {false, true}) {
    SCOPED_TRACE(recorded ? "recorded" : "not recorded");
    const std::string run_id = TUnpackJournal::NewRunId();
    const pid_t child = fork();
    if (child == 0) {
      TUnpackJournal journal(Target(), "Product", run_id);
      _exit(Unpack(archive, journal).ok ? 0 : 1);  // no destructor runs: as after kill -9
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    std::string asked, what;
    const bool found = RecoverJournal(
        Target(),
        [&](const std::string& product, const std::string& id) {
          asked = product + "/" + id;
          return recorded;
        },
        what);
    EXPECT_TRUE(found);
    EXPECT_EQ(asked, "Product/" + run_id);
    auto after = Snapshot(work_.Root());
    if (recorded) {
      EXPECT_EQ(after["target/a.txt"], "file:new a");
      EXPECT_EQ(after.size(), before.size() + 3);  // n, n/deep, n/deep/b; no aside, no journal
      fs::remove_all(Target() + "/n");
      work_.Write("target/a.txt", "old a");
    }
    EXPECT_EQ(Snapshot(work_.Root()), before);
    EXPECT_FALSE(RecoverJournal(
        Target(), [](const std::string&, const std::string&) { return true; }, what));
  }
}

}  // namespace
}  // namespace instkit

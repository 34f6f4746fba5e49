// Files through the platform layer, on every system: existence, exact
// reading across buffer refills, failures, atomic replacement, the IDF line
// reader's bulk path against byte-by-byte reading, the writer's buffering
// and the steps of a durable write.
#include "host/platform/file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "Tidf/line_reader.h"
#include "host/base/exception.h"
#include "host/base/settings.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

using testing::TempDir;

TEST(FileTest, ExistenceIsForFilesOnly) {
  TempDir dir;
  const std::string file = dir.Write("a.txt", "x");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(dir.Root().string()));  // a folder is no file
  EXPECT_FALSE(FileExists(dir.Path("missing.txt")));
  EXPECT_TRUE(DeleteFileAt(file));
  EXPECT_FALSE(DeleteFileAt(file));
}

TEST(FileTest, ReadsBytesExactlyAcrossBufferRefills) {
  TempDir dir;
  std::string bytes(600 * 1024 + 7, '\0');  // more than two read buffers
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + (i >> 9));
  bytes[1000] = '\r';  // no text-mode translation of line ends or ^Z
  bytes[1001] = '\n';
  bytes[1002] = '\x1a';
  const std::string file = dir.Write("big.bin", bytes);

  TInputFile in(file);
  EXPECT_EQ(in.Size(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(in.ReadByte(), static_cast<unsigned char>(bytes[0]));
  in.UnreadByte();
  std::string head(10, '\0');
  ASSERT_EQ(in.Read(head.data(), head.size()), head.size());
  EXPECT_EQ(head, bytes.substr(0, 10));
  EXPECT_EQ(in.ReadAll(), bytes.substr(10));
  EXPECT_EQ(in.ReadByte(), -1);
  EXPECT_EQ(ReadWholeFile(file), bytes);
}

TEST(FileTest, FailuresNameTheFileAndTheReason) {
  TempDir dir;
  const std::string missing = dir.Path("missing.idf");
  try {
    TInputFile in(missing);
    FAIL() << "opened a missing file";
  } catch (const EInOutError& e) {
    EXPECT_NE(e.Message().find("Cannot open file '" + missing + "': "), std::string::npos) << e.Message();
    EXPECT_GT(e.Message().size(), ("Cannot open file '" + missing + "': ").size());
  }
  EXPECT_THROW(WriteWholeFileAtomically(dir.Path("no-such-folder/a.idf"), "x"), EInOutError);
}

// Replaced files are readable by everyone (the writer's temporary is not).
TEST(FileTest, AtomicWriteReplacesOnlyOnCommitAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string target = dir.Write("setup.idf", "old");
  {
    TAtomicFileWriter writer(target);
    writer.Write("new contents");
    EXPECT_EQ(TempDir::Read(target), "old");  // not yet committed
  }                                           // abandoned: the old file stays
  EXPECT_EQ(TempDir::Read(target), "old");
  WriteWholeFileAtomically(target, "new contents");
  EXPECT_EQ(TempDir::Read(target), "new contents");
#ifndef _WIN32
  using std::filesystem::perms;
  EXPECT_EQ(std::filesystem::status(target).permissions(),
            perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
#endif
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Root()), {}), 1);  // no temporary file left
}

// Offers ReadByte/UnreadByte only, so ReadIdfLine takes its byte path.
class TByteSource {
 public:
  explicit TByteSource(std::string_view text) : text_(text) {}
  int ReadByte() { return text_.ReadByte(); }
  void UnreadByte() { text_.UnreadByte(); }

 private:
  TTextSource text_;
};

template <typename Source>
std::vector<std::string> Lines(Source& source) {
  std::vector<std::string> lines;
  for (std::string line; ReadIdfLine(source, line);) lines.push_back(line);
  return lines;
}

// Texts whose line ends (CR LF, lone CR, lone LF) and blanks fall on, just
// before and just after the file buffer's boundary, with lines longer than
// the buffer among them.
TEST(FileTest, BulkLineReadingMatchesByteReadingAcrossTheBufferBoundary) {
  TempDir dir;
  const size_t edge = TInputFile::kBufferSize;
  const char* const ends[] = {"\r\n", "\r", "\n", "\r\r\n", " \t\r\n", "\r\n\r\n"};
  std::mt19937 random(7);
  int compared = 0;
  for (const char* end : ends) {
    for (size_t at = edge - 3; at <= edge + 2; ++at) {
      std::string text(at, 'x');
      for (size_t i = 0; i + 1 < at; i += 1 + random() % 5000) text[i] = "ab\r\n \x01"[random() % 6];
      text += end;
      text += std::string(random() % 3 == 0 ? edge + 10 : 10, 'y');  // a second buffer full, or not
      if (random() % 2) text += "\r";
      const std::string path = dir.Write("lines.idf", text);
      TInputFile file(path);
      TByteSource bytes(text);
      ASSERT_EQ(Lines(file), Lines(bytes)) << "end " << ::testing::PrintToString(end) << " at " << at;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 36);
  TInputFile empty(dir.Write("empty.idf", ""));
  EXPECT_TRUE(Lines(empty).empty());
}

// Pieces smaller than the buffer, filling it exactly, and larger than it,
// in any order: the file holds exactly what was written.
TEST(FileTest, WriterKeepsEveryPieceInOrder) {
  TempDir dir;
  const size_t buffer = TAtomicFileWriter::kBufferSize;
  const size_t sizes[] = {1, buffer - 1, 1, buffer, 3, buffer + 5, 0, 2 * buffer, 17, buffer - 17};
  std::string expected;
  {
    TAtomicFileWriter writer(dir.Path("out.bin"));
    char next = 0;
    for (size_t size : sizes) {
      std::string piece(size, 0);
      for (char& c : piece) c = next++;
      writer.Write(piece);
      expected += piece;
    }
    writer.Commit();
  }
  EXPECT_EQ(ReadWholeFile(dir.Path("out.bin")), expected);
}

std::vector<TFileStep> g_steps;
TFileStep g_fail_step;

// A durable write syncs the file before the replace and, on POSIX systems,
// the folder after it; a failure there leaves the new file in place.
TEST(FileTest, DurableWritesSyncTheFileThenReplaceThenSyncTheFolder) {
  TempDir dir;
  const std::string path = dir.Path("out.idf");
  Settings().SetFileFaultHook([](TFileStep step, const std::string&) {
    g_steps.push_back(step);
    if (step == g_fail_step) throw EInOutError("injected");
  });
  using enum TFileStep;
#ifdef _WIN32
  const std::vector<TFileStep> durable{kWrite, kSync, kReplace};  // the replace writes through
#else
  const std::vector<TFileStep> durable{kWrite, kSync, kReplace, kSyncFolder};
#endif
  g_fail_step = static_cast<TFileStep>(-1);
  WriteWholeFileAtomically(path, "old");
  EXPECT_EQ(g_steps, durable);
  g_steps.clear();
  Settings().SetDurableWrites(false);
  WriteWholeFileAtomically(path, "new");
  Settings().SetDurableWrites(true);
  EXPECT_EQ(g_steps, (std::vector<TFileStep>{kWrite, kReplace}));
  if (durable.back() == kSyncFolder) {
    g_fail_step = kSyncFolder;
    EXPECT_THROW(WriteWholeFileAtomically(path, "newer"), EInOutError);
    EXPECT_EQ(ReadWholeFile(path), "newer");
  }
  Settings().SetFileFaultHook(nullptr);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Root()), {}), 1);  // no temporary left
}

}  // namespace
}  // namespace instkit

// Descriptions in UTF-8 or Windows-1251: how bytes are read, the errors that
// name a line and column, and the way back to UTF-8 for editing.
#include "Tidf/description_encoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Tidf/idf_text_file.h"
#include "host/base/codepage.h"
#include "host/base/settings.h"
#include "host/platform/file.h"
#include "host/platform/process_args.h"
#include "support/temp_dir.h"

namespace instkit {
namespace {

using instkit::testing::TempDir;

const std::string kBom = "\xEF\xBB\xBF";
const std::string kMagic = "IDF-FPS-text\r\n\r\n";

TEST(DescriptionEncoding, DecodesEveryEncodingOrNamesTheProblem) {
  constexpr auto kAscii = TTextEncoding::kAscii;
  constexpr auto kCp1251 = TTextEncoding::kWindows1251;
  constexpr auto kUtf8 = TTextEncoding::kUtf8;
  constexpr auto kBomUtf8 = TTextEncoding::kUtf8WithBom;
  struct Case {
    const char* name;
    std::string bytes;
    TTextEncoding encoding;
    bool lf;
    std::string text;        // expected Windows-1251 text; unused when a problem is expected
    TDecodeProblem problem;  // line 0: none expected
  } cases[] = {
      {"BOM, Cyrillic", kBom + "a=Ядро\r\n", kBomUtf8, false, "a=\xDF\xE4\xF0\xEE\r\n", {}},
      {"no BOM, Cyrillic and signs", "№ € ё\r\n", kUtf8, false, "\xB9 \x88 \xB8\r\n", {}},
      {"pure ASCII", "a=b\r\n", kAscii, false, "a=b\r\n", {}},
      {"BOM, then ASCII only", kBom + "a=b", kBomUtf8, false, "a=b", {}},
      {"BOM alone", kBom, kBomUtf8, false, "", {}},
      {"Windows-1251 Cyrillic", "\xDF\xE4\xF0\xEE", kCp1251, false, "\xDF\xE4\xF0\xEE", {}},
      {"overlong slash stays bytes", "a\xC0\xAF", kCp1251, false, "a\xC0\xAF", {}},
      {"encoded surrogate stays bytes", "\xED\xA0\x80", kCp1251, false, "\xED\xA0\x80", {}},
      {"above U+10FFFF stays bytes", "\xF4\x90\x80\x80", kCp1251, false, "\xF4\x90\x80\x80", {}},
      {"sequence cut at the end", "Я\xD0", kCp1251, false, "Я\xD0", {}},
      // A character outside Windows-1251 counts only when the whole file is UTF-8.
      {"unmappable, then invalid", "✓ \xFF", kCp1251, false, "✓ \xFF", {}},
      {"unmappable on line 3", "a\r\nb\r\nЯд✓z", kUtf8, false, "", {3, 3, 0x2713}},
      {"every line end counts", "a\r\nb\rc\nd😀", kUtf8, false, "", {4, 2, 0x1F600}},
      {"BOM not in the column", kBom + "✓", kBomUtf8, false, "", {1, 1, 0x2713}},
      {"BOM, then invalid byte", kBom + "a\r\nЯ\xFF", kBomUtf8, false, "", {2, 2, 0}},
      {"LF only, UTF-8", "a\nЯ\n", kUtf8, true, "a\r\n\xDF\r\n", {}},
      {"LF only, Windows-1251", "a\n\xDF\n", kCp1251, true, "a\r\n\xDF\r\n", {}},
      {"LF with one CR stays", "a\nb\rc", kAscii, false, "a\nb\rc", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text;
    TDescriptionFormat format;
    TDecodeProblem problem;
    const bool ok = DecodeDescription(c.bytes, text, format, &problem);
    if (c.problem.line != 0) {
      ASSERT_FALSE(ok);
      EXPECT_EQ(problem.line, c.problem.line);
      EXPECT_EQ(problem.column, c.problem.column);
      EXPECT_EQ(problem.code_point, c.problem.code_point);
      continue;
    }
    ASSERT_TRUE(ok);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(format.encoding, c.encoding) << TextEncodingName(format.encoding);
    EXPECT_EQ(format.lf_line_ends, c.lf);
  }
}

// Generated Russian text: in Windows-1251 it is never taken for UTF-8, and
// its UTF-8 form decodes to exactly the Windows-1251 bytes.
TEST(DescriptionEncoding, GeneratedRussianTextInBothEncodings) {
  std::mt19937 rng(18);
  for (int round = 0; round < 200; ++round) {
    std::string cp1251 = "\xDF";  // at least one letter
    const int length = static_cast<int>(rng() % 60);
    for (int i = 0; i < length; ++i) {
      const unsigned pick = rng() % 10;
      cp1251 += pick == 0 ? ' ' : pick == 1 ? '\xB8' : pick == 2 ? '=' : static_cast<char>(0xC0 + rng() % 64);
    }
    std::string text;
    TDescriptionFormat format;
    ASSERT_TRUE(DecodeDescription(cp1251, text, format, nullptr));
    EXPECT_EQ(format.encoding, TTextEncoding::kWindows1251);
    EXPECT_EQ(text, cp1251);
    ASSERT_TRUE(DecodeDescription(Cp1251ToUtf8(cp1251), text, format, nullptr));
    EXPECT_EQ(format.encoding, TTextEncoding::kUtf8);
    EXPECT_EQ(text, cp1251);
  }
}

TEST(DescriptionEncoding, LoadNamesFileLineAndColumn) {
  const TempDir dir;
  TIDFTextFile file;
  TDescriptionFormat format;
  const std::string good = dir.Write("good.idf", kBom + "IDF-FPS-text\n\n[Ядро]\nShort name=Ядро системы\n");
  ASSERT_TRUE(LoadDescription(file, good, &format)) << file.LastError;
  EXPECT_EQ(DescribeFormat(format), "UTF-8 with byte-order mark, LF line ends");
  ASSERT_NE(file.GetSectionByName("\xDF\xE4\xF0\xEE"), nullptr);
  EXPECT_EQ(file.GetSection(0)->FieldByName("Short name")->GetAsString(),
            "\xDF\xE4\xF0\xEE \xF1\xE8\xF1\xF2\xE5\xEC\xFB");

  const std::string bad = dir.Write("bad.idf", kMagic + "[A]\r\nShort name=Я ✓\r\n");
  EXPECT_FALSE(LoadDescription(file, bad, &format));
  EXPECT_EQ(file.LastError, "File '" + bad + "', line 4, column 14: the character U+2713 has no Windows-1251 form");
  EXPECT_FALSE(LoadDescription(file, dir.Path("missing.idf")));
  EXPECT_EQ(file.LastError, "File '" + dir.Path("missing.idf") + "' not exists!");
}

// LoadFromText and SaveToText against the file operations, on generated
// files built from the lines that exercise the reader.
TEST(DescriptionEncoding, TextOperationsMatchTheFileOperations) {
  const TempDir dir;
  const std::string pieces[] = {
      "IDF-CPS-text", "IDF-FPS-text", "",         "[S]",       "[T]-tree", "a=1", "x=INTEGER=5",
      "x=INTEGER=q",  "// c",         "  v = w ", "\xDF=\xE4", "\n",       "\r",  std::string("b=\0QUJD", 7)};
  const char* ends[] = {"\r\n", "\r", "\n", ""};
  std::mt19937 rng(5);
  Settings().SetArgumentCountOverride(1);
  Settings().SetDurableWrites(false);
  for (int round = 0; round < 80; ++round) {
    std::string bytes;
    for (int n = static_cast<int>(rng() % 8); n >= 0; --n) {
      bytes += pieces[rng() % std::size(pieces)];
      bytes += ends[rng() % std::size(ends)];
    }
    const std::string path = dir.Write("f.idf", bytes);
    TIDFTextFile from_file, from_text;
    ASSERT_EQ(from_file.LoadFromFile(path), from_text.LoadFromText(bytes, path)) << bytes;
    EXPECT_EQ(from_file.LastError, from_text.LastError);
    std::string saved;
    ASSERT_TRUE(from_text.SaveToText(saved));
    ASSERT_TRUE(from_file.SaveToFile(dir.Path("out.idf")));
    EXPECT_EQ(saved, TempDir::Read(dir.Path("out.idf"))) << bytes;
  }
  Settings().SetDurableWrites(true);
  Settings().SetArgumentCountOverride(std::nullopt);
}

// UTF-8 out and back is the transcript of "idf fmt --utf8"; a byte
// without a character refuses the save and keeps the file.
TEST(DescriptionEncoding, ByteWithoutACharacterIsNotSaved) {
  const TempDir dir;
  TIDFTextFile file;
  ASSERT_TRUE(LoadDescription(file, std::string(INSTKIT_SOURCE_DIR) + "/examples/demo/setup.idf"));
  const std::string out = dir.Write("utf8.idf", "old");
  file.GetSection(1)->AddParam("odd", 0)->SetAsString("\x98");
  EXPECT_FALSE(SaveDescription(file, out, TTextEncoding::kUtf8WithBom));
  EXPECT_NE(file.LastError.find("the byte 0x98"), std::string::npos);
  EXPECT_EQ(TempDir::Read(out), "old");
}

}  // namespace
}  // namespace instkit

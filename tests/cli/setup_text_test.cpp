// The wizard's text measure: columns, not bytes or code points, decide where
// a line is cut or wrapped, so Cyrillic (two bytes, one column) and East
// Asian text (three bytes, two columns) keep the screen's columns aligned.
#ifdef INSTKIT_SETUP_SCREENS
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "cli/setup/screen.h"

namespace instkit::cli::setup {
namespace {

class SetupTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  }
  void TearDown() override { std::setlocale(LC_CTYPE, "C"); }
};

TEST_F(SetupTextTest, WidthAndCut) {
  struct Case {
    std::string text;
    int width;        // TextWidth(text)
    int fit;          // FitWidth(text, fit) ...
    std::string cut;  // ... gives this
  };
  const std::vector<Case> cases = {
      {"Ядро системы", 12, 12, "Ядро системы"},
      {"Ядро системы", 12, 6, "Ядро …"},
      {"日本語", 6, 4, "日…"},  // a wide character never half shown
      {"日本語", 6, 3, "日…"},
      {"a\tb\x01", 4, 3, "a\t…"},  // a control counts one column (drawn as ?)
      {"\xff\xfe", 2, 1, "…"},     // invalid bytes: one '?' each
      {"", 0, 5, ""},
      {"abc", 3, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TextWidth(c.text), c.width);
    const std::string cut = FitWidth(c.text, c.fit);
    EXPECT_EQ(cut, c.cut);
    EXPECT_LE(TextWidth(cut), c.fit);
  }
}

TEST_F(SetupTextTest, Wrap) {
  struct Case {
    std::string text;
    int width;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"Главная книга и проводки", 13, {"Главная книга", "и проводки"}},
      {"Главная книга", 13, {"Главная книга"}},
      // A word longer than the line is cut where the line ends.
      {"Резервные", 4, {"Резе", "рвны", "е"}},
      // Blanks inside a line stay, so aligned columns stay aligned.
      {"  [x]   1  Ядро", 40, {"  [x]   1  Ядро"}},
      // Leading blanks are no place to cut.
      {"   abcdef", 6, {"   abc", "def"}},
      {"one\r\ntwo\n\nthree", 10, {"one", "two", "", "three"}},
      {"日本語 日本", 5, {"日本", "語", "日本"}},
      {"", 10, {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::vector<std::string> lines = WrapText(c.text, c.width);
    EXPECT_EQ(lines, c.lines);
    for (const std::string& line : lines) EXPECT_LE(TextWidth(line), c.width) << line;
  }
}

}  // namespace
}  // namespace instkit::cli::setup
#endif  // INSTKIT_SETUP_SCREENS

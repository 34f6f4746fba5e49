// The wizard's terminal: a full-screen ncurses session (the wide-character
// library) with the few things the screens need: text in UTF-8 placed by
// display columns, a handful of styles, boxes, and keys.
//
// Decisions:
// - Texts are UTF-8 here (Windows-1251 texts are converted before they
//   reach the screen); widths are display columns (wcwidth), so Cyrillic
//   takes one column per letter and wide characters two.  Control
//   characters in texts are drawn as '?', never sent to the terminal.
// - Styles map to colour pairs where the terminal has colours, and to
//   reverse, bold and underline where it has not; nothing depends on colour
//   alone (the cursor row also carries a '>' mark).
// - Keys: Ctrl-C arrives as a key (raw mode), so the wizard decides what it
//   means; Esc is told apart from the arrow keys after 25 ms.
// - Only one TScreen at a time, on the thread that made it (ncurses keeps
//   global state and is not thread-safe).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace instkit::cli::setup {

// Keys: a character's Unicode code point, or one of these.
enum TKey : int {
  kKeyNone = -1,  // the wait ran out
  kKeyFirst = 0x110000,
  kKeyUp,
  kKeyDown,
  kKeyLeft,
  kKeyRight,
  kKeyPageUp,
  kKeyPageDown,
  kKeyHome,
  kKeyEnd,
  kKeyEnter,
  kKeyEscape,
  kKeyBackspace,
  kKeyDelete,
  kKeyTab,
  kKeyBackTab,
  kKeyResize,
  kKeyInterrupt,  // Ctrl-C
  kKeyClearLine,  // Ctrl-U
  kKeyOther,
};

enum class TStyle {
  kNormal,
  kTitle,   // the top bar
  kCursor,  // the row under the cursor
  kDim,     // help texts, unticked rows
  kGood,    // done, ticked, a usable folder
  kBad,     // failures
  kWarn,    // warnings, paused
  kFrame,   // dialog frames and pane rules
  kKey,     // key names in the help line
  kBar,     // the filled part of a progress bar
};

// Display columns of a UTF-8 text.
int TextWidth(std::string_view utf8);
// The text cut to `width` columns, with "…" as its last column when cut.
std::string FitWidth(std::string_view utf8, int width);
// The text cut into lines of at most `width` columns, at blanks where it
// can; line ends in the text start new lines.
std::vector<std::string> WrapText(std::string_view utf8, int width);

class TScreen {
 public:
  // The process's terminal.
  TScreen();
  // Another terminal: `type` is a terminfo name; for benchmarks that draw to
  // /dev/null at a fixed size.
  TScreen(const char* type, std::FILE* out, std::FILE* in, int rows, int cols);
  ~TScreen();
  TScreen(const TScreen&) = delete;
  TScreen& operator=(const TScreen&) = delete;

  int Rows() const;
  int Cols() const;
  bool Colour() const { return colour_; }

  // Starts a new frame: everything blank.
  void Erase();
  // Writes `utf8` at (row, col), at most `width` columns (to the line's end
  // when negative), padding with blanks to `width` when `pad`.  Returns the
  // columns written.  Outside the screen nothing is written.
  int Put(int row, int col, std::string_view utf8, TStyle style = TStyle::kNormal, int width = -1, bool pad = false);
  // A frame of lines around the rectangle, with a title in its top edge.
  void Frame(int row, int col, int rows, int cols, std::string_view title);
  // A horizontal rule across the line, with a title near its start.
  void Rule(int row, std::string_view title);
  // Where the terminal's cursor shows; hidden when `visible` is false.
  void Caret(bool visible, int row = 0, int col = 0);
  // Sends the frame to the terminal.
  void Show();

  // The next key; kKeyNone after `timeout_ms` (negative: wait).
  int ReadKey(int timeout_ms);

 private:
  void Start();

  void* screen_ = nullptr;  // SCREEN* of newterm, null for the process's terminal
  bool colour_ = false;
  bool caret_ = false;
  int caret_row_ = 0;
  int caret_col_ = 0;
};

}  // namespace instkit::cli::setup

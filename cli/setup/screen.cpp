#include "cli/setup/screen.h"

#include <curses.h>

#include <cwchar>

#include "host/base/codepage.h"

namespace instkit::cli::setup {

namespace {

// A code point as drawn: controls and invalid bytes become '?'.
struct TGlyph {
  wchar_t ch;
  int width;
};

TGlyph GlyphAt(std::string_view text, size_t pos, size_t* length) {
  uint32_t cp = 0;
  *length = DecodeUtf8(text, pos, &cp);
  if (*length == 0) {
    *length = 1;
    return {L'?', 1};
  }
  if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) return {L'?', 1};
  const int width = wcwidth(static_cast<wchar_t>(cp));
  if (width < 0) return {L'?', 1};
  return {static_cast<wchar_t>(cp), width};
}

enum TPair : short { kPairTitle = 1, kPairCursor, kPairGood, kPairBad, kPairWarn, kPairFrame, kPairBar };

attr_t AttrOf(TStyle style, bool colour) {
  if (!colour) {
    switch (style) {
      case TStyle::kTitle:
      case TStyle::kCursor:
      case TStyle::kBar:
        return A_REVERSE;
      case TStyle::kDim:
        return A_DIM;
      case TStyle::kGood:
      case TStyle::kWarn:
      case TStyle::kKey:
        return A_BOLD;
      case TStyle::kBad:
        return A_BOLD | A_UNDERLINE;
      case TStyle::kNormal:
      case TStyle::kFrame:
        return A_NORMAL;
    }
    return A_NORMAL;
  }
  switch (style) {
    case TStyle::kTitle:
      return COLOR_PAIR(kPairTitle) | A_BOLD;
    case TStyle::kCursor:
      return COLOR_PAIR(kPairCursor);
    case TStyle::kDim:
      return A_DIM;
    case TStyle::kGood:
      return COLOR_PAIR(kPairGood);
    case TStyle::kBad:
      return COLOR_PAIR(kPairBad) | A_BOLD;
    case TStyle::kWarn:
      return COLOR_PAIR(kPairWarn) | A_BOLD;
    case TStyle::kFrame:
      return COLOR_PAIR(kPairFrame);
    case TStyle::kKey:
      return A_BOLD;
    case TStyle::kBar:
      return COLOR_PAIR(kPairBar);
    case TStyle::kNormal:
      return A_NORMAL;
  }
  return A_NORMAL;
}

// The longest head of the text that fits in `width` columns.
std::string_view Head(std::string_view utf8, int width) {
  int used = 0;
  size_t pos = 0;
  for (size_t length = 0; pos < utf8.size(); pos += length) {
    const TGlyph glyph = GlyphAt(utf8, pos, &length);
    if (used + glyph.width > width) break;
    used += glyph.width;
  }
  return utf8.substr(0, pos);
}

// " title ", built by appending (GCC 12 warns falsely about the
// concatenation of temporaries at -O3).
std::string Padded(std::string_view title) {
  std::string out(1, ' ');
  out.append(title);
  out += ' ';
  return out;
}

}  // namespace

int TextWidth(std::string_view utf8) {
  int width = 0;
  for (size_t pos = 0, length = 0; pos < utf8.size(); pos += length) width += GlyphAt(utf8, pos, &length).width;
  return width;
}

std::string FitWidth(std::string_view utf8, int width) {
  if (width <= 0) return std::string();
  if (TextWidth(utf8) <= width) return std::string(utf8);
  return std::string(Head(utf8, width - 1)) + "…";
}

std::vector<std::string> WrapText(std::string_view utf8, int width) {
  std::vector<std::string> lines;
  if (width <= 0) return lines;
  size_t start = 0;
  while (start <= utf8.size()) {
    size_t end = utf8.find('\n', start);
    if (end == std::string_view::npos) end = utf8.size();
    std::string_view rest = utf8.substr(start, end - start);
    if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
    // Cut at the last blank that fits, or at the blank right after what
    // fits (blanks inside a line stay as they are, so aligned columns keep
    // their alignment); a word longer than a line is cut where the line ends.
    while (TextWidth(rest) > width) {
      const std::string_view head = Head(rest, width);
      if (head.empty()) break;  // a character wider than the line
      const size_t words = head.find_first_not_of(' ');
      size_t blank = rest[head.size()] == ' ' ? head.size() : head.find_last_of(' ');
      if (blank == std::string_view::npos || words == std::string_view::npos || words >= blank) blank = head.size();
      lines.emplace_back(rest.substr(0, blank));
      rest.remove_prefix(blank < rest.size() && rest[blank] == ' ' ? blank + 1 : blank);
    }
    lines.emplace_back(rest);
    start = end + 1;
  }
  return lines;
}

TScreen::TScreen() {
  initscr();
  Start();
}

TScreen::TScreen(const char* type, std::FILE* out, std::FILE* in, int rows, int cols) {
  SCREEN* screen = newterm(type, out, in);
  screen_ = screen;
  set_term(screen);
  resizeterm(rows, cols);
  Start();
}

void TScreen::Start() {
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  set_escdelay(25);
  curs_set(0);
  colour_ = has_colors();
  if (colour_) {
    start_color();
    use_default_colors();
    init_pair(kPairTitle, COLOR_WHITE, COLOR_BLUE);
    init_pair(kPairCursor, COLOR_BLACK, COLOR_CYAN);
    init_pair(kPairGood, COLOR_GREEN, -1);
    init_pair(kPairBad, COLOR_RED, -1);
    init_pair(kPairWarn, COLOR_YELLOW, -1);
    init_pair(kPairFrame, COLOR_CYAN, -1);
    init_pair(kPairBar, COLOR_BLACK, COLOR_GREEN);
  }
}

TScreen::~TScreen() {
  endwin();
  if (screen_ != nullptr) delscreen(static_cast<SCREEN*>(screen_));
}

int TScreen::Rows() const { return LINES; }
int TScreen::Cols() const { return COLS; }

void TScreen::Erase() { werase(stdscr); }

int TScreen::Put(int row, int col, std::string_view utf8, TStyle style, int width, bool pad) {
  if (row < 0 || row >= LINES || col < 0 || col >= COLS) return 0;
  if (width < 0 || col + width > COLS) width = COLS - col;
  std::wstring text;
  int used = 0;
  for (size_t pos = 0, length = 0; pos < utf8.size(); pos += length) {
    const TGlyph glyph = GlyphAt(utf8, pos, &length);
    if (used + glyph.width > width) break;
    text += glyph.ch;
    used += glyph.width;
  }
  if (pad && used < width) {
    text.append(static_cast<size_t>(width - used), L' ');
    used = width;
  }
  const attr_t attr = AttrOf(style, colour_);
  wattr_on(stdscr, attr, nullptr);
  mvwaddnwstr(stdscr, row, col, text.c_str(), static_cast<int>(text.size()));
  wattr_off(stdscr, attr, nullptr);
  return used;
}

// Frames are drawn with the Unicode box characters themselves: the
// alternate character set is not understood alike by every terminal that
// takes UTF-8.
void TScreen::Frame(int row, int col, int rows, int cols, std::string_view title) {
  if (rows < 2 || cols < 2) return;
  std::string edge;
  for (int i = 0; i < cols - 2; ++i) edge += "─";
  Put(row, col, "┌" + edge + "┐", TStyle::kFrame);
  Put(row + rows - 1, col, "└" + edge + "┘", TStyle::kFrame);
  for (int r = row + 1; r < row + rows - 1; ++r) {
    Put(r, col, "│", TStyle::kFrame);
    Put(r, col + 1, "", TStyle::kNormal, cols - 2, true);
    Put(r, col + cols - 1, "│", TStyle::kFrame);
  }
  if (!title.empty()) Put(row, col + 2, Padded(title), TStyle::kKey, cols - 4);
}

void TScreen::Rule(int row, std::string_view title) {
  if (row < 0 || row >= LINES) return;
  std::string line;
  for (int i = 0; i < COLS; ++i) line += "─";
  Put(row, 0, line, TStyle::kFrame);
  if (!title.empty()) Put(row, 2, Padded(title), TStyle::kNormal, COLS - 4);
}

void TScreen::Caret(bool visible, int row, int col) {
  caret_ = visible;
  caret_row_ = row;
  caret_col_ = col;
}

void TScreen::Show() {
  curs_set(caret_ ? 1 : 0);
  if (caret_) wmove(stdscr, caret_row_, caret_col_);
  wnoutrefresh(stdscr);
  doupdate();
}

int TScreen::ReadKey(int timeout_ms) {
  wtimeout(stdscr, timeout_ms);
  wint_t ch = 0;
  const int kind = wget_wch(stdscr, &ch);
  if (kind == ERR) return kKeyNone;
  if (kind == KEY_CODE_YES) {
    switch (ch) {
      case KEY_UP:
        return kKeyUp;
      case KEY_DOWN:
        return kKeyDown;
      case KEY_LEFT:
        return kKeyLeft;
      case KEY_RIGHT:
        return kKeyRight;
      case KEY_PPAGE:
        return kKeyPageUp;
      case KEY_NPAGE:
        return kKeyPageDown;
      case KEY_HOME:
      case KEY_FIND:
        return kKeyHome;
      case KEY_END:
      case KEY_SELECT:
        return kKeyEnd;
      case KEY_ENTER:
        return kKeyEnter;
      case KEY_BACKSPACE:
        return kKeyBackspace;
      case KEY_DC:
        return kKeyDelete;
      case KEY_BTAB:
        return kKeyBackTab;
      case KEY_RESIZE:
        return kKeyResize;
      default:
        return kKeyOther;
    }
  }
  switch (ch) {
    case L'\r':
    case L'\n':
      return kKeyEnter;
    case 27: {
      // Esc alone, or the start of a sequence the terminal's description
      // does not name (an Alt chord, a key this terminal type lacks): the
      // rest follows at once and is swallowed, so it never reads as Esc.
      wtimeout(stdscr, 0);
      wint_t next = 0;
      if (wget_wch(stdscr, &next) == ERR) return kKeyEscape;
      if (next == L'[' || next == L'O') {
        while (wget_wch(stdscr, &next) != ERR && !(next >= L'@' && next <= L'~')) {
        }
      }
      return kKeyOther;
    }
    case 127:
    case 8:
      return kKeyBackspace;
    case 3:
      return kKeyInterrupt;
    case 21:
      return kKeyClearLine;
    case L'\t':
      return kKeyTab;
    default:
      break;
  }
  if (ch < 0x20) return kKeyOther;
  return static_cast<int>(ch);
}

}  // namespace instkit::cli::setup

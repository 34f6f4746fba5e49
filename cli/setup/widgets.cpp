#include "cli/setup/widgets.h"

#include <algorithm>

#include "host/base/codepage.h"

namespace instkit::cli::setup {

void DrawTitle(TScreen& screen, const std::string& left, const std::string& right) {
  const int cols = screen.Cols();
  screen.Put(0, 0, "", TStyle::kTitle, cols, true);
  const int right_width = std::min(TextWidth(right), cols / 2);
  screen.Put(0, 1, FitWidth(left, cols - right_width - 3), TStyle::kTitle);
  screen.Put(0, cols - right_width - 1, right, TStyle::kTitle, right_width);
}

void DrawHelp(TScreen& screen, const THelp& help, const std::string& status) {
  const int row = screen.Rows() - 1;
  const int cols = screen.Cols();
  const int status_width = std::min(TextWidth(status), cols / 2);
  int col = 1;
  for (const auto& [key, label] : help) {
    const int width = TextWidth(key) + 1 + TextWidth(label);
    if (col + width > cols - status_width - 1) break;
    col += screen.Put(row, col, key, TStyle::kKey);
    col += screen.Put(row, col, " " + label) + 2;
  }
  if (!status.empty()) screen.Put(row, cols - status_width - 1, status, TStyle::kWarn, status_width);
}

void DrawBar(TScreen& screen, int row, int col, int width, int percent) {
  if (width < 3) return;
  const int inner = width - 2;
  const int filled = std::clamp(percent, 0, 100) * inner / 100;
  screen.Put(row, col, "[");
  screen.Put(row, col + 1, std::string(static_cast<size_t>(filled), '#'), TStyle::kBar);
  screen.Put(row, col + 1 + filled, std::string(static_cast<size_t>(inner - filled), '-'), TStyle::kDim);
  screen.Put(row, col + width - 1, "]");
}

// ---- TPager ------------------------------------------------------------------

void TPager::Add(std::string line, TStyle style) {
  lines_.emplace_back(std::move(line), style);
  shown_width_ = -1;
}

void TPager::Draw(TScreen& screen, int row, int rows) {
  const int width = screen.Cols() - 1;
  if (width != shown_width_) {
    shown_.clear();
    for (const auto& [line, style] : lines_) {
      for (std::string& piece : WrapText(line, width)) shown_.emplace_back(std::move(piece), style);
    }
    shown_width_ = width;
  }
  top_ = std::min(top_, shown_.size() > static_cast<size_t>(rows) ? shown_.size() - static_cast<size_t>(rows) : 0);
  for (int r = 0; r < rows && top_ + static_cast<size_t>(r) < shown_.size(); ++r) {
    const auto& [line, style] = shown_[top_ + static_cast<size_t>(r)];
    screen.Put(row + r, 0, line, style);
  }
}

bool TPager::Key(int key, int rows) {
  const size_t page = static_cast<size_t>(std::max(rows - 1, 1));
  const size_t last = shown_.size() > static_cast<size_t>(rows) ? shown_.size() - static_cast<size_t>(rows) : 0;
  const size_t before = top_;
  switch (key) {
    case kKeyUp:
      top_ = top_ > 0 ? top_ - 1 : 0;
      break;
    case kKeyDown:
      top_ = std::min(top_ + 1, last);
      break;
    case kKeyPageUp:
      top_ = top_ > page ? top_ - page : 0;
      break;
    case kKeyPageDown:
    case ' ':
      top_ = std::min(top_ + page, last);
      break;
    case kKeyHome:
      top_ = 0;
      break;
    case kKeyEnd:
      top_ = last;
      break;
    default:
      return false;
  }
  return top_ != before;
}

// ---- TLineField --------------------------------------------------------------

void TLineField::Set(const std::string& utf8) {
  chars_.clear();
  for (size_t pos = 0; pos < utf8.size();) {
    uint32_t cp = 0;
    const size_t length = std::max<size_t>(DecodeUtf8(utf8, pos, &cp), 1);
    chars_.push_back(utf8.substr(pos, length));
    pos += length;
  }
  caret_ = chars_.size();
}

std::string TLineField::Text() const {
  std::string out;
  for (const std::string& c : chars_) out += c;
  return out;
}

bool TLineField::Key(int key) {
  switch (key) {
    case kKeyLeft:
      caret_ = caret_ > 0 ? caret_ - 1 : 0;
      return false;
    case kKeyRight:
      caret_ = std::min(caret_ + 1, chars_.size());
      return false;
    case kKeyHome:
      caret_ = 0;
      return false;
    case kKeyEnd:
      caret_ = chars_.size();
      return false;
    case kKeyBackspace:
      if (caret_ == 0) return false;
      chars_.erase(chars_.begin() + static_cast<long>(--caret_));
      return true;
    case kKeyDelete:
      if (caret_ >= chars_.size()) return false;
      chars_.erase(chars_.begin() + static_cast<long>(caret_));
      return true;
    case kKeyClearLine:
      chars_.clear();
      caret_ = 0;
      return true;
    default:
      break;
  }
  if (key < 0x20 || key >= kKeyFirst) return false;
  std::string c;
  AppendUtf8(c, static_cast<uint32_t>(key));
  chars_.insert(chars_.begin() + static_cast<long>(caret_++), c);
  return true;
}

void TLineField::Draw(TScreen& screen, int row, int col, int width) const {
  // Keep the caret inside the shown part, with a column for it at the end.
  if (caret_ < first_) first_ = caret_;
  auto span_width = [this](size_t from, size_t to) {
    int w = 0;
    for (size_t i = from; i < to; ++i) w += TextWidth(chars_[i]);
    return w;
  };
  while (first_ < caret_ && span_width(first_, caret_) > width - 1) ++first_;
  std::string shown;
  for (size_t i = first_; i < chars_.size(); ++i) shown += chars_[i];
  screen.Put(row, col, shown, TStyle::kCursor, width, true);
  screen.Caret(true, row, col + span_width(first_, caret_));
}

// ---- TDialog -----------------------------------------------------------------

TDialog::TDialog(std::string caption, std::string text, std::vector<std::string> buttons, bool alert)
    : caption_(std::move(caption)),
      text_(std::move(text)),
      buttons_(std::move(buttons)),
      alert_(alert),
      focus_(buttons_.empty() ? 0 : buttons_.size() - 1) {}

void TDialog::Draw(TScreen& screen) const {
  const int cols = std::min(screen.Cols() - 2, 64);
  const std::vector<std::string> lines = WrapText(text_, cols - 4);
  const int rows = std::min(static_cast<int>(lines.size()) + 4, screen.Rows() - 2);
  const int top = (screen.Rows() - rows) / 2;
  const int left = (screen.Cols() - cols) / 2;
  screen.Frame(top, left, rows, cols, caption_);
  for (int i = 0; i < rows - 4 && i < static_cast<int>(lines.size()); ++i) {
    screen.Put(top + 1 + i, left + 2, lines[static_cast<size_t>(i)], alert_ ? TStyle::kWarn : TStyle::kNormal,
               cols - 4);
  }
  int width = 0;
  for (const std::string& b : buttons_) width += TextWidth(b) + 4 + 3;
  int col = left + std::max((cols - width + 3) / 2, 1);
  for (size_t i = 0; i < buttons_.size(); ++i) {
    const bool focused = i == focus_;
    col += screen.Put(top + rows - 2, col, (focused ? "[ " : "  ") + buttons_[i] + (focused ? " ]" : "  "),
                      focused ? TStyle::kCursor : TStyle::kNormal) +
           3;
  }
}

std::optional<size_t> TDialog::Key(int key) {
  if (buttons_.empty()) return std::nullopt;
  const size_t last = buttons_.size() - 1;
  switch (key) {
    case kKeyLeft:
    case kKeyBackTab:
      focus_ = focus_ > 0 ? focus_ - 1 : last;
      return std::nullopt;
    case kKeyRight:
    case kKeyTab:
      focus_ = focus_ < last ? focus_ + 1 : 0;
      return std::nullopt;
    case kKeyEnter:
      return focus_;
    case kKeyEscape:
      return last;
    case 'y':
    case 'Y':
    case U'д':
    case U'Д':
      return 0;
    case 'n':
    case 'N':
    case U'н':
    case U'Н':
      return last;
    default:
      return std::nullopt;
  }
}

}  // namespace instkit::cli::setup

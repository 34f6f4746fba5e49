// The pieces the wizard's screens are built from: the title and help lines,
// a scrolling text, a one-line text field, a progress bar and a Yes/No
// dialog.  Each draws itself on a TScreen and takes keys; none knows the
// catalogue or the run.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/setup/screen.h"

namespace instkit::cli::setup {

// The top line: the product on the left, the step on the right.
void DrawTitle(TScreen& screen, const std::string& left, const std::string& right);
// The bottom line: "key label" pairs, as many as fit.
using THelp = std::vector<std::pair<std::string, std::string>>;
void DrawHelp(TScreen& screen, const THelp& help, const std::string& status = std::string());
// "[#####-----]" of `width` columns, `percent` of it filled.
void DrawBar(TScreen& screen, int row, int col, int width, int percent);

// Lines (UTF-8) shown in a window, wrapped at its width and scrolled with
// the arrows and the page keys.
class TPager {
 public:
  void Add(std::string line, TStyle style = TStyle::kNormal);
  void Draw(TScreen& screen, int row, int rows);
  // True when the key scrolled.
  bool Key(int key, int rows);

 private:
  std::vector<std::pair<std::string, TStyle>> lines_;
  std::vector<std::pair<std::string, TStyle>> shown_;  // wrapped at shown_width_
  int shown_width_ = -1;
  size_t top_ = 0;
};

// One line of text edited in place: characters, Left/Right/Home/End,
// Backspace/Delete, Ctrl-U clears.
class TLineField {
 public:
  void Set(const std::string& utf8);
  std::string Text() const;
  // True when the text changed.
  bool Key(int key);
  // Draws the field in `width` columns and puts the caret in it.
  void Draw(TScreen& screen, int row, int col, int width) const;

 private:
  std::vector<std::string> chars_;  // one UTF-8 character each
  size_t caret_ = 0;
  mutable size_t first_ = 0;  // the first character shown
};

// A question with buttons, drawn in a frame over the middle of the screen.
// The first button is "yes" and answers to y/Y/д/Д, the last "no" to
// n/N/н/Н and Esc; Left/Right/Tab move, Enter chooses.  The focus starts on
// the last button: Enter alone never does the harmful thing.
class TDialog {
 public:
  TDialog(std::string caption, std::string text, std::vector<std::string> buttons, bool alert = false);

  void Draw(TScreen& screen) const;
  // The chosen button's index once the key chose one.
  std::optional<size_t> Key(int key);

 private:
  std::string caption_;
  std::string text_;
  std::vector<std::string> buttons_;
  bool alert_;
  size_t focus_;
};

}  // namespace instkit::cli::setup

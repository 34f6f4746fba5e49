// The selection screen: the catalogue as a tree of check boxes, a pane
// with the subsystem under the cursor and why it is in its state, and a
// search.  Ticks go through the library's selection (Engine/selection.h),
// which spreads them as the selection view does and keeps the reasons;
// every row is drawn from its record's flags, so whatever the propagation
// changed shows at once.  Only the visible rows are drawn: a key costs the
// propagation plus one screen.
//
//   [x]  ticked, and everything below it   (Checked and AllCheck)
//   [~]  ticked, not everything below it   (Checked without AllCheck)
//   [ ]  not ticked
#pragma once

#include <string>

#include "Engine/selection.h"
#include "cli/setup/screen.h"
#include "cli/setup/tree_rows.h"
#include "cli/setup/widgets.h"

namespace instkit::cli::setup {

enum class TScreenAction { kNone, kNext, kBack, kQuit };

class TSelectionScreen {
 public:
  // `selection` started on the catalogue; `title` the top line's left side.
  TSelectionScreen(TSelection& selection, std::string title, std::string step);

  void Draw(TScreen& screen);
  TScreenAction Key(int key, const TScreen& screen);
  // A line for the help row (a failed tick, a search without match);
  // cleared by the next key.
  void Say(std::string message) { message_ = std::move(message); }

  TTreeRows& Rows() { return rows_; }

 private:
  struct TLayout {
    int list_top = 1;
    int list_rows = 0;
    int pane_rows = 0;
  };
  TLayout Layout(const TScreen& screen) const;
  void DrawRow(TScreen& screen, int row, size_t at, int levels);
  void DrawPane(TScreen& screen, int row, int rows);
  void Search(int key);
  // "1 Core, 11 Ledger" for a list of numbers, cut to `width` columns with
  // a count of what did not fit.
  std::string Names(const std::string& refs, int width) const;

  TSelection& selection_;
  TTreeRows rows_;
  std::string title_;
  std::string step_;
  int number_width_ = 1;
  std::string message_;
  bool searching_ = false;
  TLineField pattern_;
  std::string last_pattern_;
  const TTreeNode* search_from_ = nullptr;
};

}  // namespace instkit::cli::setup

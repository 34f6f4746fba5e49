#include "cli/setup/selection_screen.h"

#include <algorithm>

#include "Engine/plan.h"
#include "Syslist/subsystem_info.h"
#include "Viewlist/tree_walk.h"
#include "host/base/codepage.h"
#include "host/base/text.h"
#include "host/base/tree_indent.h"

namespace instkit::cli::setup {

TSelectionScreen::TSelectionScreen(TSelection& selection, std::string title, std::string step)
    : selection_(selection), rows_(selection.Items()), title_(std::move(title)), step_(std::move(step)) {
  const TTreeNodes& items = selection.Items();
  for (int32_t i = 0; i < items.GetCount(); ++i) {
    const int width = static_cast<int>(std::to_string(ItemRecord(items.Item(i))->SysIndex).size());
    number_width_ = std::max(number_width_, width);
  }
}

TSelectionScreen::TLayout TSelectionScreen::Layout(const TScreen& screen) const {
  TLayout layout;
  const int rows = screen.Rows();
  layout.pane_rows = rows >= 20 ? 6 : (rows >= 12 ? 3 : 0);
  layout.list_rows = std::max(rows - 2 - layout.pane_rows - 1, 1);
  return layout;
}

void TSelectionScreen::DrawRow(TScreen& screen, int row, size_t at, int levels) {
  const TTreeNode* item = rows_.Item(at);
  const TSubsystemInfo* record = ItemRecord(item);
  const bool cursor = at == rows_.Cursor();
  const char* fold = !item->HasChildren() ? "  " : (rows_.Folded(item) ? "+ " : "- ");
  const char* box = !record->Checked ? "[ ] " : (record->AllCheck ? "[x] " : "[~] ");
  const std::string number = std::to_string(record->SysIndex);
  const std::string text = std::string(cursor ? ">" : " ") + fold + box +
                           std::string(static_cast<size_t>(number_width_) - number.size(), ' ') + number + "  " +
                           TreeLinePrefix(static_cast<size_t>(rows_.Depth(item)), static_cast<size_t>(levels)) +
                           Cp1251ToUtf8(record->ShortName);
  const TStyle style = cursor ? TStyle::kCursor : (record->Checked ? TStyle::kNormal : TStyle::kDim);
  screen.Put(row, 0, FitWidth(text, screen.Cols()), style, screen.Cols(), cursor);
}

std::string TSelectionScreen::Names(const std::string& refs, int width) const {
  std::vector<std::string> shown;
  int used = 0;
  size_t total = 0;
  for (size_t pos = 0; pos < refs.size();) {
    size_t comma = refs.find(',', pos);
    if (comma == std::string::npos) comma = refs.size();
    const std::string_view piece = Trim(std::string_view(refs).substr(pos, comma - pos));
    pos = comma + 1;
    if (piece.empty()) continue;
    ++total;
    if (used > width) continue;  // only counted from here on
    std::string entry(piece);
    if (const auto number = ParseInt32(piece)) {
      if (const TTreeNode* item = selection_.ItemOf(*number)) entry += " " + Cp1251ToUtf8(ItemRecord(item)->ShortName);
    }
    used += TextWidth(entry) + 2;
    shown.push_back(std::move(entry));
  }
  if (total == 0) return "-";
  auto join = [&shown](size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += (i > 0 ? ", " : "") + shown[i];
    return out;
  };
  if (shown.size() == total && TextWidth(join(total)) <= width) return join(total);
  // Room for the count of the rest.
  size_t n = shown.size();
  while (n > 0 && TextWidth(join(n)) + 14 > width) --n;
  return join(n) + (n > 0 ? ", " : "") + "… (" + std::to_string(total - n) + " more)";
}

void TSelectionScreen::DrawPane(TScreen& screen, int row, int rows) {
  const TTreeNode* item = rows_.CursorItem();
  if (item == nullptr || rows <= 0) return;
  const TSubsystemInfo* r = ItemRecord(item);
  const int cols = screen.Cols();
  const std::string name = std::to_string(r->SysIndex) + " " + Cp1251ToUtf8(r->ShortName) +
                           (r->FullName.empty() ? "" : " — " + Cp1251ToUtf8(r->FullName));
  const std::string why = "why: " + ReasonText(selection_.Choice(item, rows_.Depth(item)), true);
  auto text = [](const std::string& cp1251) { return cp1251.empty() ? std::string("-") : Cp1251ToUtf8(cp1251); };
  std::vector<std::pair<std::string, TStyle>> lines = {
      {name, TStyle::kKey},
      {why, r->Checked ? TStyle::kGood : TStyle::kWarn},
      {"needs: " + Names(r->Depend, cols - 9), TStyle::kNormal},
      {"needed by: " + Names(r->BackRef, cols - 13), TStyle::kNormal},
      {"section: " + text(r->SaveName) + "   library: " + text(r->Library), TStyle::kNormal},
      {"archives: " + text(r->Archive), TStyle::kNormal},
  };
  // A long reason takes a second line, in place of the archives.
  const std::vector<std::string> wrapped = WrapText(why, cols - 2);
  if (wrapped.size() > 1 && rows >= 6) {
    lines[1].first = wrapped[0];
    lines.insert(lines.begin() + 2, {"     " + why.substr(wrapped[0].size() + 1), lines[1].second});
    lines.pop_back();
  }
  if (rows < 6) lines = {lines[0], lines[1], {lines[2].first + "; " + lines[3].first, TStyle::kNormal}};
  for (int i = 0; i < rows && i < static_cast<int>(lines.size()); ++i) {
    const auto& [line, style] = lines[static_cast<size_t>(i)];
    screen.Put(row + i, 1, FitWidth(line, cols - 2), style);
  }
}

void TSelectionScreen::Draw(TScreen& screen) {
  screen.Erase();
  screen.Caret(false);
  DrawTitle(screen, title_, step_);
  const TLayout layout = Layout(screen);
  // Indentation stops where it would leave the names fewer than 24 columns.
  const int levels = std::max((screen.Cols() - 8 - number_width_ - 24) / 2, 1);
  const size_t top = rows_.Scroll(layout.list_rows);
  for (int r = 0; r < layout.list_rows && top + static_cast<size_t>(r) < rows_.Count(); ++r) {
    DrawRow(screen, layout.list_top + r, top + static_cast<size_t>(r), levels);
  }
  const std::string count = std::to_string(selection_.SelectedCount()) + " of " +
                            std::to_string(selection_.Items().GetCount()) + " subsystems selected";
  const int rule = layout.list_top + layout.list_rows;
  screen.Rule(rule, count);
  DrawPane(screen, rule + 1, layout.pane_rows);
  if (searching_) {
    const int row = screen.Rows() - 1;
    screen.Put(row, 0, "", TStyle::kNormal, screen.Cols(), true);
    screen.Put(row, 1, "find:", TStyle::kKey);
    pattern_.Draw(screen, row, 7, std::max(screen.Cols() - 40, 10));
    const int hint = std::max(screen.Cols() - 32, 18);
    if (message_.empty()) {
      screen.Put(row, hint, "Down next  Up back  Enter  Esc", TStyle::kDim);
    } else {
      screen.Put(row, hint, message_, TStyle::kWarn);
    }
    return;
  }
  DrawHelp(screen,
           {{"Space", "tick"},
            {"←→", "fold"},
            {"/", "find"},
            {"a", "all"},
            {"n", "none"},
            {"Enter", "next"},
            {"Esc", "back"},
            {"q", "quit"}},
           message_);
}

void TSelectionScreen::Search(int key) {
  switch (key) {
    case kKeyEnter:
      searching_ = false;
      if (pattern_.Text().empty() && !last_pattern_.empty()) {
        // "/" and Enter alone: the last search again, from the next item.
        if (!rows_.Find(last_pattern_, true, false)) message_ = "no subsystem matches \"" + last_pattern_ + "\"";
      } else if (!pattern_.Text().empty()) {
        last_pattern_ = pattern_.Text();
      }
      return;
    case kKeyEscape:
      searching_ = false;
      if (search_from_ != nullptr) rows_.Reveal(search_from_);
      return;
    case kKeyDown:
    case kKeyTab:
    case kKeyUp:
    case kKeyBackTab:
      if (!pattern_.Text().empty() && !rows_.Find(pattern_.Text(), key == kKeyDown || key == kKeyTab, false)) {
        message_ = "no match";
      }
      return;
    default:
      break;
  }
  if (pattern_.Key(key) && !pattern_.Text().empty()) {
    // Typing narrows the match from where the search began.
    rows_.Reveal(search_from_);
    message_ = rows_.Find(pattern_.Text(), true, true) ? "" : "no subsystem matches \"" + pattern_.Text() + "\"";
  }
}

TScreenAction TSelectionScreen::Key(int key, const TScreen& screen) {
  if (searching_) {
    Search(key);
    return TScreenAction::kNone;
  }
  message_.clear();
  const long page = std::max(Layout(screen).list_rows - 1, 1);
  TTreeNode* item = rows_.CursorItem();
  switch (key) {
    case kKeyUp:
      rows_.MoveBy(-1);
      break;
    case kKeyDown:
      rows_.MoveBy(1);
      break;
    case kKeyPageUp:
      rows_.MoveBy(-page);
      break;
    case kKeyPageDown:
      rows_.MoveBy(page);
      break;
    case kKeyHome:
      rows_.MoveTo(0);
      break;
    case kKeyEnd:
      rows_.MoveTo(rows_.Count());
      break;
    case kKeyRight:
      if (!rows_.Unfold() && item != nullptr && item->HasChildren()) rows_.MoveBy(1);
      break;
    case kKeyLeft:
      if (!rows_.Fold()) rows_.ToParent();
      break;
    case ' ':
      if (item != nullptr) {
        const bool ok = ItemRecord(item)->Checked ? selection_.Untick(item) : selection_.Tick(item);
        if (!ok) message_ = selection_.error;
      }
      break;
    case 'a':
      selection_.All();
      break;
    case 'n':
      selection_.None();
      break;
    case '/':
      searching_ = true;
      pattern_.Set("");
      search_from_ = item;
      break;
    case kKeyEnter:
      return TScreenAction::kNext;
    case kKeyEscape:
      return TScreenAction::kBack;
    case 'q':
    case kKeyInterrupt:
      return TScreenAction::kQuit;
    default:
      break;
  }
  return TScreenAction::kNone;
}

}  // namespace instkit::cli::setup

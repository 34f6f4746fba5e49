// Lists of subsystem numbers written as text, "1,2,5": the dependency and
// back-reference lists of the catalogue, and the numbers an operator names.
// This is the one reader that cuts such a list into items; what to do with
// an item that is not a number (stop, raise, skip, report) is each caller's
// rule, written down where the caller is.
//
// Items are the texts between commas: the first starts at the beginning of
// the list and the last ends at its end, so a list has one item more than it
// has commas, and an empty item where two commas meet or where a comma ends
// the list.  An empty list has no items.  An item is a number when it is a
// decimal 32-bit integer with an optional sign (ParseInt32), nothing else.
//
// Blanks (bytes 0 to 32) follow one of two rules:
//   kTrimItems  each item is trimmed: "1, 2 ,3" is 1, 2, 3.  Selections, the
//               selection view, GetNextRef and everything the command line
//               reads.
//   kTrimRest   before each item the rest of the list is trimmed, but the
//               item still ends where its comma was in the untrimmed rest:
//               "12, 15" is 12, 15, but "12 ,15" gives the item "12 " and
//               " 12,15" the item "12,", neither of them a number.  This is
//               how the catalogue reads "Depend" when it computes back
//               references; the checker reports what it would reject.
//
// Example:
//   TNumberList list(text);
//   for (TNumberItem item; list.Next(item);) {
//     if (!item.number) return false;  // this caller stops at a bad item
//     Use(*item.number);
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/base/export.h"
#include "host/base/text.h"
#include "host/base/variant.h"

namespace instkit {

enum class TListBlanks : uint8_t { kTrimItems, kTrimRest };

struct INSTKIT_API TNumberItem {
  std::string_view text;          // the item as cut, inside the list's text
  std::optional<int32_t> number;  // nullopt when the item is not a number

  // The number, or EConvertError "'<item>' is not a valid integer value",
  // as every conversion of a text to an integer raises it.
  int32_t NumberOrRaise() const { return number ? *number : StrToInt(std::string(text)); }
};

// Reads the items of a list one after the other.  The text must outlive the
// reader and the items it gives.  Copyable: a copy goes on from where the
// original is.
class INSTKIT_API TNumberList {
 public:
  TNumberList() = default;
  explicit TNumberList(std::string_view text, TListBlanks blanks = TListBlanks::kTrimItems)
      : rest_(text), blanks_(blanks), done_(text.empty()) {}

  // The next item; false after the last one.
  bool Next(TNumberItem& item) {
    if (done_) return false;
    const size_t comma = rest_.find(',');
    std::string_view text;
    if (blanks_ == TListBlanks::kTrimItems) {
      text = Trim(rest_.substr(0, comma));
    } else {
      text = comma == std::string_view::npos ? Trim(rest_) : Trim(rest_).substr(0, comma);
    }
    if (comma == std::string_view::npos) {
      done_ = true;
    } else {
      rest_.remove_prefix(comma + 1);
    }
    item.text = text;
    item.number = ParseInt32(text);
    return true;
  }

 private:
  std::string_view rest_;
  TListBlanks blanks_ = TListBlanks::kTrimItems;
  bool done_ = true;
};

}  // namespace instkit

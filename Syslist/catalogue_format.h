// Keys of the subsystem catalogue inside an IDF text file.
//
//   [SubSystems]            one parameter per subsystem:
//   <SaveName>=<SysIndex>     name = its section, value = its number
//   [<SaveName>]            one section per subsystem:
//   Parent=<number>           0 (or missing) for a top-level subsystem
//   Depend=<n>,<n>,...        numbers it depends on
//   Library=, Parameter=, Archive=, Short Name=, Full Name=
//   MenuLink<k>=<value>       menu links   } k: one ordinal shared by both
//   DesktopLink<k>=<value>    desktop links}    kinds, from 1
//
// Reading looks keys up ignoring ASCII case ("Short name" finds "Short Name");
// section names are matched byte for byte and the first section of a name
// wins.  These names are frozen: existing descriptions use them.
#pragma once

#include <cstdint>
#include <string_view>

#include "host/base/number_list.h"

namespace instkit {

inline constexpr char kCatalogueSection[] = "SubSystems";
inline constexpr char kKeyParent[] = "Parent";
inline constexpr char kKeyDepend[] = "Depend";
inline constexpr char kKeyLibrary[] = "Library";
inline constexpr char kKeyParameter[] = "Parameter";
inline constexpr char kKeyArchive[] = "Archive";
// Read with these spellings...
inline constexpr char kReadKeyShortName[] = "Short name";
inline constexpr char kReadKeyFullName[] = "Full name";
// ...and written with these.
inline constexpr char kWriteKeyShortName[] = "Short Name";
inline constexpr char kWriteKeyFullName[] = "Full Name";
inline constexpr char kWriteKeyMenuLink[] = "MenuLink";
inline constexpr char kWriteKeyDesktopLink[] = "DesktopLink";
// Link key prefixes as the reader compares them (first 8 / 11 characters of
// the key, trimmed, upper-cased).
inline constexpr char kLinkPrefixMenu[] = "MENULINK";
inline constexpr char kLinkPrefixDesktop[] = "DESKTOPLINK";
// Markers closing each item of TSubsystemInfo::Links; items are joined by "*".
inline constexpr char kLinkMarkerMenu[] = "?menu";
inline constexpr char kLinkMarkerDesktop[] = "?desktop";
inline constexpr char kLinkSeparator = '*';
// Type code of every parameter the writer creates (keeps the value it gets).
inline constexpr int32_t kCatalogueParamType = 10;

// Calls visit(number) for the items of a "Depend" text, as the reader cuts
// them when it computes back references (TListBlanks::kTrimRest in
// host/base/number_list.h), until visit returns true; returns whether it
// did.  An item that is not a number raises EConvertError.  The callers skip
// an empty "Depend" before they get here (it has no items).
template <typename Visit>
bool ScanDepend(std::string_view text, Visit visit) {
  TNumberList items(text, TListBlanks::kTrimRest);
  for (TNumberItem item; items.Next(item);) {
    if (visit(item.NumberOrRaise())) return true;
  }
  return false;
}

// The link kind of a parameter name, as the reader decides it.
enum class TLinkKind { None, Menu, Desktop };
TLinkKind LinkKindOfKey(const std::string_view key);

}  // namespace instkit

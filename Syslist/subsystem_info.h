// The record of one subsystem of the catalogue.
//
// A plain value holder: a new record is all zero (empty texts, numbers 0,
// flags false).  Texts are Windows-1251 bytes.  The record is owned by the
// TSysNode that holds it; tree-view items and archive lists only point at it.
#pragma once

#include <cstdint>
#include <string>

#include "host/base/export.h"

namespace instkit {

class INSTKIT_API TSubsystemInfo {
 public:
  // Copies Archive, Depend, FullName, Library, Parameter, Parent, SaveName,
  // ShortName, SysIndex and Links.  AllCheck, BackRef, Checked and IsInst are
  // not copied: the target keeps its own values of those four.
  void Assign(const TSubsystemInfo& Source);
  // The same; a null source copies nothing.
  void Assign(const TSubsystemInfo* Source) {
    if (Source != nullptr) Assign(*Source);
  }

  // Fields in their declaration order.
  // The numbers and flags come first and BackRef next to them: building a
  // large catalogue numbers every record and joins it to its parent in a
  // second pass, which then touches only the record's first cache lines.
  int32_t SysIndex = 0;   // the subsystem's number, unique in a catalogue
  int32_t Parent = 0;     // SysIndex of the parent; 0 for a top-level subsystem
  bool AllCheck = false;  // this subsystem and every one below it are checked
  bool Checked = false;   // selected
  bool IsInst = false;    // installed
  std::string BackRef;    // numbers of the subsystems depending on this one, ","-separated
  std::string Archive;    // archive names separated by ","
  std::string Depend;     // numbers this subsystem depends on, ","-separated
  std::string FullName;   // long name
  std::string Library;    // file name of the subsystem library
  std::string Links;      // "value?menu" / "value?desktop" items joined by "*"
  std::string Parameter;  // parameter text for the library
  std::string SaveName;   // name of the subsystem's own section in the IDF file
  std::string ShortName;  // tree-view text and registry value name
};

}  // namespace instkit

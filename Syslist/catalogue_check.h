// Validation of an installation description's catalogue: everything the
// reader drops or swallows without a word (duplicate numbers, entries
// without a section, subsystems never loaded, dependency items that do not
// convert or name nothing, dependency cycles, link keys that are not read as
// links, names that differ from a section only in letter case).
#pragma once

#include <string>
#include <vector>

#include "host/base/export.h"

namespace instkit {

class TIDFTextFile;

struct TCatalogueFinding {
  enum TSeverity { Warning, Error };
  TSeverity severity;
  std::string section;  // section the finding is about (Windows-1251)
  std::string key;      // parameter name; empty when about the whole section
  std::string message;  // English; quoted names are Windows-1251
};

// Findings in catalogue order.  Errors are what makes the reader reject the
// catalogue or drop subsystems through a failure; warnings are what it
// ignores.  Never raises.
INSTKIT_API std::vector<TCatalogueFinding> CheckCatalogue(const TIDFTextFile& file);

}  // namespace instkit

// What a run reads and checks before anything is loaded: the description,
// the catalogue built from it, the product it installs, the names that will
// become registry keys, file names and command lines, and the target
// folder.  Every check answers with one UTF-8 sentence for the operator
// (`sentence`) and, where a failure was caught, the same with its class
// name for the log (`detail`); nothing here writes anything.
#pragma once

#include <string>

#include "Tidf/description_encoding.h"
#include "host/base/export.h"

namespace instkit {

class TIDFTextFile;
class TSysTree;

struct TInputError {
  std::string sentence;
  std::string detail;
};

// Loads the description at `path`, opened as the file system spells it, in
// Windows-1251 or UTF-8 (Tidf/description_encoding.h).  The reasons: "no
// such file", "it is a folder", the system's reason ("permission denied"),
// "not an IDF text file" (with what is wrong), a UTF-8 character with no
// Windows-1251 form (with its line and column).  On success stores how the
// file was read in *format (when not null).  Every command that reads a
// description says why it could not through these sentences.
INSTKIT_API bool ReadDescription(const std::string& path, TIDFTextFile& file, TInputError& error,
                                 TDescriptionFormat* format = nullptr);

// Builds the catalogue from a loaded description; every subsystem Checked.
// A catalogue with no subsystem is refused too (there is nothing to run).
INSTKIT_API bool BuildCatalogue(const TIDFTextFile& file, const std::string& path, TSysTree& tree, TInputError& error);

// The product a description installs: its header parameter "Product" when
// set, else the file name without folder and extension, with "\" replaced
// by "_" (Windows-1251).
INSTKIT_API std::string ProductNameOf(const TIDFTextFile& file, const std::string& path);
// Registry keys of a product: the installed subsystems (the values of
// TSysTree::Registering) and, beside them, the run's record (where, when,
// from what; Engine/run_record.h).
INSTKIT_API std::string InstalledKeyFor(const std::string& product);
INSTKIT_API std::string ProductRecordKeyFor(const std::string& product);

// Refuses names with a control character (NUL included): the product name,
// and each subsystem's short name (a registry value name), library (a file
// name) and links (file names and command lines).  The sentence names the
// value, with the character shown as \xNN, and where it came from.
INSTKIT_API bool CheckNames(const std::string& product, const TIDFTextFile& file, const std::string& path,
                            const TSysTree& tree, TInputError& error);

// The target folder must exist as a folder, or be creatable below its
// deepest existing parent, and be writable there ("cannot create /x/f/t: a
// file is in the way", "cannot use /t: permission denied").  Tested by
// making and removing a probe folder; nothing stays behind.
INSTKIT_API bool CheckTargetFolder(const std::string& path, TInputError& error);

}  // namespace instkit

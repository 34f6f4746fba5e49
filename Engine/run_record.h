// What a run leaves in the registry (host/platform/registry.h), written in
// one transaction: all of it or nothing, even under kill -9 or a full disk.
//
//   Software\instkit\Installed\<product>   the values TSysTree::Registering
//                                          writes: one per installed
//                                          subsystem, named by its short
//                                          name, data "Installed"
//   Software\instkit\Products\<product>    the product's record, beside them:
//     "Path"              the target folder, absolute
//     "Installed at"      when, UTC, "YYYY-MM-DDTHH:MM:SSZ"
//     "Description"       the description file, absolute
//     "Version"           the instkit version that installed it
//     "Answers"           the operator's answers, "kind=yes|no" per line
//     "Description copy"  the description as an IDF text, with every
//                         library name replaced by the file then loaded, so
//                         that an uninstall needs neither the description
//                         nor the library search folders
//     "Manifest"          the files the archives unpacked (Media/manifest.h),
//                         so that they and the subsystems change together
//
// An install writes the record anew; an uninstall that leaves no subsystem
// installed removes it, one that leaves some keeps it (with the manifest
// left after its files were removed).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Engine/run_report.h"
#include "host/base/export.h"

namespace instkit {

class TRegistry;
class TSysTree;
class TIDFTextFile;

struct TProductRecord {
  std::string product;  // Windows-1251
  std::string path;
  std::string installed_at;
  std::string description;
  std::string version;
  std::string answers;
  std::string description_copy;        // IDF text, Windows-1251
  std::string manifest;                // Media/manifest.h text; "" for none
  bool manifest_changed = false;       // uninstall: write `manifest` into the record kept
  std::vector<std::string> installed;  // short names recorded as installed, in the order written
};

// Every product the store records (installed subsystems or a record), by
// name.  A store that does not exist records nothing; it is not created.
// Raises the store's failure.
INSTKIT_API std::vector<TProductRecord> ReadProducts(const std::string& registry_path);
// One product; false when the store has nothing on it.
INSTKIT_API bool ReadProduct(const std::string& registry_path, const std::string& product, TProductRecord& record);

// Records the outcome of an install (mode 1) or uninstall (mode 2) of
// `tree`, whose Checked flags say which subsystems were done, in one
// transaction.  Fills `report` (written/removed, recorded); raises the
// store's failure, leaving the store as it was.
INSTKIT_API void RecordRun(TRegistry& registry, uint8_t mode, const TProductRecord& record, TSysTree& tree,
                           TRecordReport& report);

// The description as "Description copy" keeps it: `file` with the
// "Library" of every subsystem of `catalogue` resolved as the run resolves
// it (host/platform/dynamic_library.h).  Changes `file`.
INSTKIT_API std::string DescriptionCopy(TIDFTextFile& file, const TSysTree& catalogue);

// The version recorded in "Version".
INSTKIT_API const char* EngineVersion();

}  // namespace instkit

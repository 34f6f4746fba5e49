// The unpacked files of a product against its manifest (Media/manifest.h):
// what differs (`instkit verify`) and removing an archive's files again
// (uninstall).
//
// A file is unchanged when a regular file (not a link to one) is at its
// path with the recorded size, permission bits and content hash; a link
// when a symbolic link with the recorded target is there.  Sizes are
// compared first, so a changed size costs no read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Media/manifest.h"
#include "host/base/export.h"

namespace instkit {

// "" when the entry is unchanged below `root`, else what differs:
// "missing", "changed", "size S, recorded R", "mode 640, recorded 644",
// "not a regular file", "link to X, recorded Y", or the reason it cannot be
// read.
INSTKIT_API std::string EntryDifference(const std::string& root, const TManifestEntry& entry);

struct TDifference {
  std::string archive;  // Windows-1251
  std::string path;     // UTF-8, relative to the target
  std::string what;
};

struct TVerifyResult {
  uint64_t entries = 0;
  uint64_t bytes = 0;  // of the files read
  std::vector<TDifference> differences;
};

INSTKIT_API TVerifyResult VerifyManifest(const std::string& root, const TManifest& manifest);

struct TRemoveResult {
  uint64_t removed = 0;           // files and links
  uint64_t folders = 0;           // folders removed
  std::vector<TDifference> kept;  // changed since unpacked, left in place
};

// Removes the unchanged files and links of the named archives, then the
// folders of the manifest that are empty, innermost first, and takes all of
// them out of the manifest.  A changed entry is kept and listed; a missing
// one is already gone.  Never raises: what cannot be removed is kept and
// listed with the reason.
INSTKIT_API TRemoveResult RemoveArchiveFiles(const std::string& root, TManifest& manifest,
                                             const std::vector<std::string>& archives);

}  // namespace instkit

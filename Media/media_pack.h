// Making installation media: one folder packed into one archive, in the
// format the archive's name asks for (libarchive writes it).
//
// Formats by extension (letters a-z in any case):
//   .tar .tar.gz/.tgz .tar.bz2/.tbz2 .tar.xz/.txz .tar.zst/.tzst .tar.lz4
//   .zip .7z .cpio
// A name with another extension, or none, is written as zstd-compressed tar
// (the unpacker tells formats from the content, so the name is free).
// Formats libarchive reads but cannot write (.arj, .rar, .cab, .lha, .lzh)
// are refused.
//
// The folder's entries are written in name order (so the same folder makes
// the same archive), with relative "/"-separated names, their permission
// bits and modification times, no owners; folders, regular files and
// symbolic links only.  A name or link target that the unpacker would refuse
// (Media/entry_name.h), or any other kind of file, is refused here with its
// name, so bad media are found when they are made.  The archive is written
// under a temporary name and renamed into place when complete.
#pragma once

#include <cstdint>
#include <string>

#include "host/base/export.h"

namespace instkit {

struct TPackFormat {
  std::string stem;    // the name without its extension: the folder to pack
  std::string format;  // e.g. "tar.zst", "zip"
  std::string error;   // set when the name asks for a format that cannot be written
};

// The format and source folder name for an archive name (UTF-8).
INSTKIT_API TPackFormat PackFormatOf(const std::string& archive_name);

struct TPackResult {
  bool ok = false;
  std::string error;  // UTF-8 sentence
  uint64_t files = 0;
  uint64_t bytes = 0;  // file data packed
};

// Packs the contents of `folder` (not the folder itself) into `archive_path`.
INSTKIT_API TPackResult PackFolder(const std::string& folder, const std::string& archive_path,
                                   const TPackFormat& format);

}  // namespace instkit

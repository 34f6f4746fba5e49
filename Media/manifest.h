// The manifest of a product: every file and link its archives unpacked, and
// the folders the unpacking made.  The engine keeps it in the product's
// record in the registry ("Manifest", Engine/run_record.h), so the registry
// and the manifest change in one transaction.  `verify` checks a target
// against it; an uninstall removes by it.
//
// Text form, one item per line ending in "\n"; fields are separated by one
// tab and the last field of a line takes the rest of it:
//
//   manifest  := "instkit-manifest 1" NL ("run" TAB run-id NL)? item*
//   item      := "archive" TAB name NL                 starts an archive
//              | "subsystem" TAB number TAB short-name NL    of the archive above
//              | "file" TAB size TAB mode TAB hash TAB path NL
//              | "link" TAB target TAB path NL
//              | "folder" TAB path NL                  made by an unpack
//   size: decimal bytes; mode: octal permission bits; hash: Media/content_hash.h
//
// Archive and short names are Windows-1251, as the catalogue has them;
// paths and link targets are relative to the target folder, "/"-separated,
// UTF-8 (Media/entry_name.h refused anything else, tabs and line ends
// included).  The run id names the install run that last wrote it (see
// Media/unpack_journal.h: it tells a finished run from an interrupted one).
// Items of unknown kinds are an error: the format is frozen at version 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/base/export.h"

namespace instkit {

struct TManifestEntry {
  bool link = false;
  std::string path;
  uint64_t size = 0;   // files
  uint32_t mode = 0;   // files
  std::string hash;    // files
  std::string target;  // links
};

struct TManifestSubsystem {
  int32_t number = 0;
  std::string short_name;  // Windows-1251
};

struct TManifestArchive {
  std::string name;                            // Windows-1251, as the catalogue spells it
  std::vector<TManifestSubsystem> subsystems;  // those that need it
  std::vector<TManifestEntry> entries;         // in unpacking order
};

struct INSTKIT_API TManifest {
  std::string run_id;
  std::vector<TManifestArchive> archives;
  std::vector<std::string> folders;  // made by unpacking, outermost first

  bool Empty() const { return archives.empty() && folders.empty(); }
  // The archive whose name equals `name` with a-z compared without regard
  // to case (as the catalogue groups archives); null when none.
  TManifestArchive* Find(const std::string& name);
  // Replaces the archive of that name (or appends it), keeping the order.
  void Put(TManifestArchive archive);
  // Adds a folder unless it is listed.
  void AddFolder(const std::string& path);
};

INSTKIT_API std::string ManifestText(const TManifest& manifest);
// False, with the line number and what is wrong in `error`, for a text that
// is not a manifest.  An empty text is an empty manifest.
INSTKIT_API bool ParseManifest(const std::string& text, TManifest& manifest, std::string& error);

}  // namespace instkit

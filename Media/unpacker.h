// Unpacking one archive into a target folder through the run's journal
// (Media/unpack_journal.h), with libarchive (Debian libarchive-dev).
//
// Formats: whatever libarchive reads (tar, plain or compressed with gzip,
// bzip2, xz, lzma, lz4 or zstd; zip; 7z; cpio; ar; ISO 9660; ARJ read only;
// ...), told from the content, never from the file's name.  A file that is
// no archive at all is "damaged".
//
// Every entry is checked before anything is written for it, and an archive
// that holds a refused entry is refused as a whole: its changes are undone
// and the error names the entry ("entry '../x': \"..\" in the name").
//   - names and link targets: Media/entry_name.h;
//   - device files, FIFOs, sockets and entries of unknown kinds are refused;
//   - a hard link must point to a file this archive has already placed;
//   - set-user-ID, set-group-ID and sticky bits are dropped (mode & 0777);
//   - an entry that yields more bytes than its header declares stops the
//     archive, and so does an archive whose unpacked size passes the limit
//     (decompression bombs).  The unpacked size counts the data of every
//     entry plus 512 bytes per entry, so that a million empty entries are
//     not free either.
// Regular files, folders, symbolic links and hard links are unpacked;
// modification times are kept for files; owners are not.  An entry that
// names a path a second time replaces what the first placed.
//
// On any failure the archive's own changes are undone (earlier archives of
// the run stay), so the target holds what it held before the archive.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Media/manifest.h"

namespace instkit {

class TUnpackJournal;

struct TUnpackLimits {
  uint64_t max_bytes = UINT64_MAX;  // the unpacked-size cap
  // How the cap was worked out, for the message: the ratio to the archive's
  // size (0 when the cap is not a ratio) and whether the free space set it.
  uint32_t ratio = 0;
  bool free_space = false;
};

struct TUnpackStatus {
  uint64_t read = 0;     // bytes of the archive file read so far
  uint64_t written = 0;  // unpacked size so far (see above)
  uint32_t entries = 0;
  std::string entry;  // the entry being unpacked, UTF-8
};
// Called every few hundred KiB and every few dozen entries; false stops
// the archive (the operator aborted).
using TUnpackProgress = std::function<bool(const TUnpackStatus&)>;

struct TUnpackResult {
  bool ok = false;
  bool stopped = false;                 // the progress function said stop
  std::string error;                    // UTF-8 sentence without the archive's name
  std::vector<TManifestEntry> entries;  // files and links placed, in order
  std::vector<std::string> folders;     // folders made, outermost first
  uint64_t bytes = 0;                   // file data written
};

// Unpacks `archive_file` into the journal's target.  Never raises for
// anything the archive or the file system does; the result says.
TUnpackResult UnpackArchive(const std::string& archive_file, TUnpackJournal& journal, const TUnpackLimits& limits,
                            const TUnpackProgress& progress);

// Whether this build can unpack at all (false where it was built without
// libarchive, as the Windows builds are).
bool UnpackingAvailable();

}  // namespace instkit

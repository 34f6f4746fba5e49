// The names inside an archive, checked before anything is written for them.
// An archive is untrusted input: its names decide where bytes land, so every
// name is turned into a plain relative path below the target folder, or
// refused with a reason that the unpacker puts beside the entry's name.
//
// A name is refused when it
//   - is absolute ("/etc/x", "\\server\x", "C:x"),
//   - has a ".." component,
//   - is not valid UTF-8, holds a control character (0x00-0x1F, 0x7F) or a
//     backslash (a folder separator on Windows, so the same media would
//     unpack differently there),
//   - has a component longer than 255 bytes or is longer than 4096 bytes.
// "." components, repeated and trailing "/" are dropped ("./a//b/" is
// "a/b"); a name that is nothing else (".", "./") names the target itself,
// which an archive may list as a folder and which is then passed over.
//
// A symbolic link's target must stay inside the target folder, however the
// links below it resolve: it must be relative, its ".." components may only
// come first (before any other component; "../x/y", never "x/../y", since
// x may itself be a link), and those may not climb above the target from
// the link's own folder.  The same name rules apply to its components.
#pragma once

#include <string>
#include <string_view>

namespace instkit {

struct TEntryName {
  bool ok = false;
  std::string path;    // "a/b/c" without a trailing "/"; "" for the target itself
  std::string reason;  // why it was refused, UTF-8, e.g. "absolute name"
};

TEntryName CheckEntryName(std::string_view name);

// "" when a link at `link_path` (a checked entry path) may point to
// `target`, else the reason.
std::string CheckLinkTarget(const std::string& link_path, std::string_view target);

}  // namespace instkit

// Where the archives of a description are: the media folder (`--media`, by
// default the description's own folder) holds each archive under the name
// the catalogue gives it, the letters a-z compared without regard to case
// (as the catalogue groups archive names), every other byte exactly.
#pragma once

#include <string>

#include "host/base/export.h"

namespace instkit {

// The path of the archive named `name` (Windows-1251, as the catalogue has
// it) in `folder`: the exact spelling first, else the first entry of the
// folder that matches.  "" when there is none (or it is not a regular file,
// or the name is empty).
INSTKIT_API std::string FindArchiveFile(const std::string& folder, const std::string& name);

}  // namespace instkit

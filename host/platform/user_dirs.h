// The user's per-user folders, as the host's platform layer finds them.  On
// POSIX these are the XDG base directories; each answer is an absolute path
// without a trailing separator, or "" when the environment gives no home.
#pragma once

#include <string>

#include "host/base/export.h"

namespace instkit {

// $XDG_STATE_HOME, else $HOME/.local/state.
INSTKIT_API std::string UserStateDirectory();
// $XDG_DATA_HOME, else $HOME/.local/share.
INSTKIT_API std::string UserDataDirectory();
// $XDG_DESKTOP_DIR, else $HOME/Desktop.
INSTKIT_API std::string UserDesktopDirectory();

// Creates `path` and any missing parent folders; an existing folder is fine.
// Raises EInOutError naming the folder and the reason.
INSTKIT_API void EnsureDirectory(const std::string& path);

}  // namespace instkit

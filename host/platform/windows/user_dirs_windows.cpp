// The user's folders on Windows, from the shell: local application data for
// state, roaming application data for data, and the desktop.
#include "host/platform/windows/win_error.h"
#include <shlobj.h>

#include <string>

#include "host/platform/user_dirs.h"

namespace instkit {

namespace {

std::string ShellFolder(int csidl) {
  char path[MAX_PATH];
  if (FAILED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return std::string();
  std::string folder(path);
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

}  // namespace

std::string UserStateDirectory() { return ShellFolder(CSIDL_LOCAL_APPDATA); }
std::string UserDataDirectory() { return ShellFolder(CSIDL_APPDATA); }
std::string UserDesktopDirectory() { return ShellFolder(CSIDL_DESKTOPDIRECTORY); }

}  // namespace instkit

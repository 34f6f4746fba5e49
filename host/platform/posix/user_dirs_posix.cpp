#include <cstdlib>
#include <string>

#include "host/platform/user_dirs.h"

namespace instkit {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// An XDG variable counts only when it holds an absolute path; otherwise the
// fallback below $HOME applies.
std::string XdgDir(const char* variable, const char* below_home) {
  std::string dir = Env(variable);
  if (!dir.empty() && dir[0] == '/') {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
  }
  std::string home = Env("HOME");
  if (home.empty()) return std::string();
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home + "/" + below_home;
}

}  // namespace

std::string UserStateDirectory() { return XdgDir("XDG_STATE_HOME", ".local/state"); }
std::string UserDataDirectory() { return XdgDir("XDG_DATA_HOME", ".local/share"); }
std::string UserDesktopDirectory() { return XdgDir("XDG_DESKTOP_DIR", "Desktop"); }

}  // namespace instkit

// Library search folders and name resolution, shared by every OS; the OS
// layer (host/<os>/dynamic_library_<os>.cpp) loads, looks up and releases.
#include "host/platform/dynamic_library.h"

#include <mutex>

#include "host/platform/dynamic_library_os.h"

namespace instkit {

namespace {
std::mutex g_mutex;
std::vector<std::string> g_folders;
}  // namespace

void SetLibrarySearchFolders(std::vector<std::string> folders) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_folders = std::move(folders);
}

std::vector<std::string> LibrarySearchFolders() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_folders;
}

std::string ResolveLibraryName(const std::string& name) {
  if (name.empty() || IsRootedLibraryName(name)) return name;
  std::vector<std::string> candidates{name};
  if (!LibraryNameHasExtension(name)) candidates.push_back(name + LibraryFileSuffix());
  for (const std::string& folder : LibrarySearchFolders()) {
    for (const std::string& candidate : candidates) {
      std::string path = JoinLibraryPath(folder, candidate);
      if (IsRegularFileForLibrary(path)) return path;
    }
  }
  // Not in a search folder: the system loader decides (a name with a folder
  // part is taken from the working folder, a bare name from its search path).
  return name;
}

}  // namespace instkit

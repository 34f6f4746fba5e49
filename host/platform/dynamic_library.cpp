// Library search folders and name resolution, shared by every OS; the OS
// layer (host/<os>/dynamic_library_<os>.cpp) loads, looks up and releases.
#include "host/platform/dynamic_library.h"

#include "host/base/settings.h"
#include "host/platform/dynamic_library_os.h"

namespace instkit {

std::string ResolveLibraryName(const std::string& name) {
  if (name.empty() || IsRootedLibraryName(name)) return name;
  std::vector<std::string> candidates{name};
  if (!LibraryNameHasExtension(name)) candidates.push_back(name + LibraryFileSuffix());
  for (const std::string& folder : Settings().LibrarySearchFolders()) {
    for (const std::string& candidate : candidates) {
      const std::string path = JoinLibraryPath(folder, candidate);
      if (IsRegularFileForLibrary(path)) return path;
    }
  }
  // Not in a search folder: the system loader decides (a name with a folder
  // part is taken from the working folder, a bare name from its search path).
  return name;
}

}  // namespace instkit

// Key paths of the registry object, the same for every store
// (host/platform/registry.h).
#include "host/platform/registry.h"

namespace instkit {

std::string NormaliseRegistryKey(const std::string& key) {
  std::string out;
  size_t pos = 0;
  while (pos <= key.size()) {
    size_t end = key.find('\\', pos);
    if (end == std::string::npos) end = key.size();
    if (end > pos) {
      if (!out.empty()) out += '\\';
      out.append(key, pos, end - pos);
    }
    pos = end + 1;
  }
  return out;
}

}  // namespace instkit

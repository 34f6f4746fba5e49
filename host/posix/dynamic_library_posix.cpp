#include <dlfcn.h>
#include <sys/stat.h>

#include <mutex>

#include "host/dynamic_library.h"

namespace instkit {

namespace {

std::mutex g_mutex;
std::vector<std::string> g_folders;
thread_local std::string t_last_error;

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool HasExtension(const std::string& name) {
  const size_t slash = name.rfind('/');
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

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
  if (name.empty() || name.front() == '/') return name;
  std::vector<std::string> candidates{name};
  if (!HasExtension(name)) candidates.push_back(name + ".so");
  for (const std::string& folder : LibrarySearchFolders()) {
    for (const std::string& candidate : candidates) {
      const std::string path = JoinPath(folder, candidate);
      if (IsRegularFile(path)) return path;
    }
  }
  // Not in a search folder: the system loader decides (a name with a '/' is
  // taken from the working folder, a bare name from its search path).
  return name;
}

TLibraryHandle LoadDynamicLibrary(const std::string& name) {
  if (name.empty()) {
    t_last_error = "empty library name";
    return nullptr;
  }
  const std::string file = ResolveLibraryName(name);
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) return handle;
  const char* reason = ::dlerror();
  t_last_error = reason ? reason : "unknown reason";
  // Like LoadLibraryA with ".dll", a name without an extension also tries ".so".
  if (file == name && !HasExtension(name)) {
    handle = ::dlopen((name + ".so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) t_last_error.clear();
  }
  return handle;
}

std::string LastDynamicLibraryError() { return t_last_error; }

void* FindLibrarySymbol(TLibraryHandle handle, const char* name) {
  if (handle == nullptr || name == nullptr) return nullptr;
  return ::dlsym(handle, name);
}

bool FreeDynamicLibrary(TLibraryHandle handle) {
  if (handle == nullptr) return true;
  if (::dlclose(handle) != 0) {
    const char* reason = ::dlerror();
    t_last_error = reason ? reason : "unknown reason";
    return false;
  }
  return true;
}

}  // namespace instkit

#include <dlfcn.h>
#include <sys/stat.h>


#include "host/base/codepage.h"
#include "host/platform/dynamic_library.h"
#include "host/platform/dynamic_library_os.h"

namespace instkit {

namespace {

thread_local std::string t_last_error;

}  // namespace

bool IsRegularFileForLibrary(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool LibraryNameHasExtension(const std::string& name) {
  const size_t slash = name.rfind('/');
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

std::string JoinLibraryPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool IsRootedLibraryName(const std::string& name) { return !name.empty() && name.front() == '/'; }

const char* LibraryFileSuffix() { return ".so"; }

std::string NativeLibraryName(const std::string& name) { return Cp1251ToUtf8(name); }
std::string CatalogueLibraryName(const std::string& native) { return Utf8ToCp1251(native); }

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
  if (file == name && !LibraryNameHasExtension(name)) {
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

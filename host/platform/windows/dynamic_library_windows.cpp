// Subsystem libraries on Windows: LoadLibraryA, GetProcAddress, FreeLibrary.
// Name resolution follows host/platform/dynamic_library.h; folders are separated by
// "\" or "/", and a name without an extension also tries ".dll".
#include "host/platform/windows/win_error.h"

#include <cstring>

#include "host/platform/dynamic_library.h"
#include "host/platform/dynamic_library_os.h"

namespace instkit {

namespace {

thread_local std::string t_last_error;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool IsRegularFileForLibrary(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// "C:\x", "C:x", "\x" and "\\server\x" name their place themselves; the
// search folders do not apply to them.
bool IsRootedLibraryName(const std::string& name) {
  if (!name.empty() && IsSeparator(name[0])) return true;
  return name.size() >= 2 && name[1] == ':';
}

bool LibraryNameHasExtension(const std::string& name) {
  const size_t slash = name.find_last_of("\\/");
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

std::string JoinLibraryPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return IsSeparator(folder.back()) ? folder + name : folder + "\\" + name;
}

const char* LibraryFileSuffix() { return ".dll"; }

std::string NativeLibraryName(const std::string& name) { return name; }
std::string CatalogueLibraryName(const std::string& native) { return native; }

TLibraryHandle LoadDynamicLibrary(const std::string& name) {
  if (name.empty()) {
    t_last_error = "empty library name";
    return nullptr;
  }
  const std::string file = ResolveLibraryName(name);
  // No "cannot find a DLL" dialog from the system: the failure is ours to
  // report.
  const UINT previous_mode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryA(file.c_str());
  const DWORD err = module == nullptr ? ::GetLastError() : 0;
  ::SetErrorMode(previous_mode);
  if (module == nullptr) {
    // Like dlerror(), the reason names the file.
    t_last_error = file + ": " + WindowsErrorText(err);
    return nullptr;
  }
  return reinterpret_cast<TLibraryHandle>(module);
}

std::string LastDynamicLibraryError() { return t_last_error; }

void* FindLibrarySymbol(TLibraryHandle handle, const char* name) {
  if (handle == nullptr || name == nullptr) return nullptr;
  const FARPROC proc = ::GetProcAddress(static_cast<HMODULE>(handle), name);
  // A function address handed on as a plain address (the caller casts it to
  // the entry point's type), copied bit for bit.
  void* address = nullptr;
  static_assert(sizeof(address) == sizeof(proc));
  std::memcpy(&address, &proc, sizeof(address));
  return address;
}

bool FreeDynamicLibrary(TLibraryHandle handle) {
  if (handle == nullptr) return true;
  if (!::FreeLibrary(static_cast<HMODULE>(handle))) {
    t_last_error = WindowsErrorText(::GetLastError());
    return false;
  }
  return true;
}

}  // namespace instkit

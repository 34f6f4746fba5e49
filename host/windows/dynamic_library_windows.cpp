#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>

#include "host/dynamic_library.h"

namespace instkit {

namespace {

std::mutex g_mutex;
std::vector<std::string> g_folders;
thread_local std::string t_last_error;

std::string SystemReason(DWORD code) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = n > 0 && text != nullptr ? std::string(text, n) : "error " + std::to_string(code);
  if (text != nullptr) ::LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return reason;
}

bool IsRegularFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsAbsolute(const std::string& name) {
  return (name.size() > 2 && name[1] == ':' && (name[2] == '\\' || name[2] == '/')) ||
         (name.size() > 1 && (name[0] == '\\' || name[0] == '/'));
}

bool HasExtension(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
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
  if (name.empty() || IsAbsolute(name)) return name;
  std::vector<std::string> candidates{name};
  if (!HasExtension(name)) candidates.push_back(name + ".dll");
  for (const std::string& folder : LibrarySearchFolders()) {
    for (const std::string& candidate : candidates) {
      const std::string path = folder.empty() ? candidate : folder + "\\" + candidate;
      if (IsRegularFile(path)) return path;
    }
  }
  return name;
}

TLibraryHandle LoadDynamicLibrary(const std::string& name) {
  if (name.empty()) {
    t_last_error = "empty library name";
    return nullptr;
  }
  HMODULE module = ::LoadLibraryA(ResolveLibraryName(name).c_str());
  if (module == nullptr) t_last_error = SystemReason(::GetLastError());
  return reinterpret_cast<TLibraryHandle>(module);
}

std::string LastDynamicLibraryError() { return t_last_error; }

void* FindLibrarySymbol(TLibraryHandle handle, const char* name) {
  if (handle == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}

bool FreeDynamicLibrary(TLibraryHandle handle) {
  if (handle == nullptr) return true;
  if (!::FreeLibrary(reinterpret_cast<HMODULE>(handle))) {
    t_last_error = SystemReason(::GetLastError());
    return false;
  }
  return true;
}

}  // namespace instkit

// TNewFile on Windows: CreateFileA with CREATE_NEW (never opens what is
// there), WriteFile, SetFileTime, and the read-only attribute for a mode
// without the owner's write bit.
#include "host/platform/windows/win_error.h"

#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/platform/file.h"
#include "host/platform/new_file.h"

namespace instkit {

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, DWORD err) {
  throw EInOutError(Format("%s '%s': %s", what, path.c_str(), WindowsErrorText(err).c_str()));
}

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Seconds since 1970 as a FILETIME (100 ns steps since 1601).
FILETIME FileTimeOf(int64_t seconds) {
  const uint64_t ticks = static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

}  // namespace

TNewFile::TNewFile(const std::string& path) : path_(path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("Cannot create file", path, ::GetLastError());
  handle_ = reinterpret_cast<intptr_t>(file);
}

TNewFile::~TNewFile() {
  if (finished_) return;
  ::CloseHandle(AsHandle(handle_));
  ::DeleteFileA(path_.c_str());
}

void TNewFile::Write(const void* data, size_t size) {
  CheckFileFault(TFileStep::kWrite, path_);
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(AsHandle(handle_), p, chunk, &written, nullptr))
      Fail("Cannot write file", path_, ::GetLastError());
    p += written;
    size -= written;
  }
}

void TNewFile::Finish(uint32_t mode, int64_t mtime) {
  HANDLE file = AsHandle(handle_);
  if (mtime >= 0) {
    const FILETIME time = FileTimeOf(mtime);
    if (!::SetFileTime(file, nullptr, nullptr, &time)) Fail("Cannot set the time of file", path_, ::GetLastError());
  }
  finished_ = true;
  if (!::CloseHandle(file)) {
    const DWORD err = ::GetLastError();
    ::DeleteFileA(path_.c_str());
    Fail("Cannot write file", path_, err);
  }
  if ((mode & 0200) == 0) ::SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY);
}

}  // namespace instkit

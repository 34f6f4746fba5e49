#include "host/platform/process_lock.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "host/platform/windows/win_error.h"

namespace instkit {

TProcessLock::TResult TProcessLock::Acquire(const std::string& path, bool wait, std::string& error) {
  Release();
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = path + ": " + WindowsErrorText(::GetLastError());
    return TResult::kFailed;
  }
  OVERLAPPED at{};
  const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  if (!::LockFileEx(file, flags, 0, 1, 0, &at)) {
    const DWORD err = ::GetLastError();
    ::CloseHandle(file);
    if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING) return TResult::kBusy;
    error = path + ": " + WindowsErrorText(err);
    return TResult::kFailed;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  return TResult::kLocked;
}

void TProcessLock::Release() {
  if (handle_ == -1) return;
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));  // closing drops the lock
  handle_ = -1;
}

}  // namespace instkit

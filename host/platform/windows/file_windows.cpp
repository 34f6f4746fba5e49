// Files on Windows, through file handles (CreateFileA, ReadFile, WriteFile).
// Paths are ANSI (the process code page), as the host passes them; both "\"
// and "/" separate folders.
#include "host/platform/windows/win_error.h"

#include <algorithm>
#include <cctype>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "host/base/exception.h"
#include "host/base/settings.h"
#include "host/platform/file.h"
#include "host/base/format.h"

namespace instkit {

namespace {
std::atomic<unsigned> g_temp_counter{0};
constexpr intptr_t kNoHandle = -1;  // INVALID_HANDLE_VALUE as an integer

[[noreturn]] void Fail(const char* what, const std::string& path, DWORD err) {
  throw EInOutError(Format("%s '%s': %s", what, path.c_str(), WindowsErrorText(err).c_str()));
}

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Length of the root part of a path: "C:\" or "C:" (drive), "\\server\share\"
// (UNC), "\" (root of the current drive); 0 for a relative path.
size_t RootLength(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  }
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    size_t pos = path.find_first_of("\\/", 2);  // end of the server name
    if (pos == std::string::npos) return path.size();
    pos = path.find_first_of("\\/", pos + 1);  // end of the share name
    return pos == std::string::npos ? path.size() : pos + 1;
  }
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

bool ProcessIsAlive(DWORD pid) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;  // exists, not ours to see
  DWORD code = 0;
  const bool alive = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  ::CloseHandle(process);
  return alive;
}

// Removes the temporaries (<target>.tmp-<pid>-<n>) of `path` left by writers
// that died before their commit: those of a process that is gone.  A live
// writer holds its temporary open without sharing, so it could not be
// deleted anyway; our own process's names are left alone.  Best effort.
void RemoveStaleTemporaries(const std::string& path) {
  const std::string pattern = path + ".tmp-*";
  const size_t cut = path.find_last_of("\\/");
  const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  const DWORD self = ::GetCurrentProcessId();
  const size_t prefix = path.size() - folder.size() + 5;  // the name and ".tmp-"
  do {
    const std::string name = found.cFileName;
    if (name.size() <= prefix || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    char* end = nullptr;
    const unsigned long pid = std::strtoul(name.c_str() + prefix, &end, 10);
    if (end == name.c_str() + prefix || *end != '-' || pid == 0 || pid == self || ProcessIsAlive(pid)) continue;
    ::DeleteFileA((folder + name).c_str());
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
}
}  // namespace

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DeleteFileAt(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

std::string DirectoryOf(const std::string& path) {
  const size_t root = RootLength(path);
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos || slash < root) return path.substr(0, root);
  if (slash + 1 == root) return path.substr(0, root);  // "C:\name" -> "C:\"
  return path.substr(0, slash);
}

bool IsAbsolutePath(const std::string& path) {
  // "C:\x" and "\\server\share" are absolute; "C:x" and "\x" depend on the
  // current drive or folder and are not.
  if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) {
    return std::isalpha(static_cast<unsigned char>(path[0])) != 0;
  }
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

TInputFile::TInputFile(const std::string& path) : path_(path), buffer_(new char[kBufferSize]) {
  // Others may read, write, rename or replace the file while it is open, as
  // TAtomicFileWriter does on commit.
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) Fail("Cannot open file", path, ::GetLastError());
  handle_ = reinterpret_cast<intptr_t>(h);
}

TInputFile::~TInputFile() { ::CloseHandle(AsHandle(handle_)); }

bool TInputFile::Refill() {
  DWORD n = 0;
  if (!::ReadFile(AsHandle(handle_), buffer_.get(), static_cast<DWORD>(kBufferSize), &n, nullptr)) {
    const DWORD err = ::GetLastError();
    if (err != ERROR_HANDLE_EOF && err != ERROR_BROKEN_PIPE) Fail("Cannot read file", path_, err);
    n = 0;
  }
  pos_ = 0;
  end_ = n;
  return n > 0;
}

int64_t TInputFile::Size() const {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(AsHandle(handle_), &size)) Fail("Cannot read file", path_, ::GetLastError());
  return size.QuadPart;
}

TAtomicFileWriter::TAtomicFileWriter(const std::string& path) : path_(path), handle_(kNoHandle) {
  // A fresh name beside the target: CREATE_NEW never opens someone else's
  // file, and a taken name just moves on to the next one.
  const unsigned pid = static_cast<unsigned>(::GetCurrentProcessId());
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_path_ = Format("%s.tmp-%u-%u", path.c_str(), pid, g_temp_counter.fetch_add(1));
    HANDLE h = ::CreateFileA(temp_path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(h);
      buffer_.reserve(kBufferSize);
      return;
    }
    const DWORD err = ::GetLastError();
    if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) Fail("Cannot create file", path, err);
  }
  Fail("Cannot create file", path, ERROR_FILE_EXISTS);
}

TAtomicFileWriter::~TAtomicFileWriter() {
  if (handle_ != kNoHandle) ::CloseHandle(AsHandle(handle_));
  if (!committed_) ::DeleteFileA(temp_path_.c_str());
}

void TAtomicFileWriter::Flush() {
  const char* p = buffer_.data();
  size_t left = buffer_.size();
  while (left > 0) {
    CheckFileFault(TFileStep::kWrite, path_);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(left, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(AsHandle(handle_), p, chunk, &written, nullptr))
      Fail("Cannot write file", path_, ::GetLastError());
    p += written;
    left -= written;
  }
  buffer_.clear();
}

void TAtomicFileWriter::Commit() {
  Flush();
  const bool durable = Settings().DurableWrites();
  if (durable) CheckFileFault(TFileStep::kSync, path_);
  if (durable && !::FlushFileBuffers(AsHandle(handle_))) Fail("Cannot write file", path_, ::GetLastError());
  HANDLE h = AsHandle(handle_);
  handle_ = kNoHandle;
  if (!::CloseHandle(h)) Fail("Cannot write file", path_, ::GetLastError());
  // MOVEFILE_WRITE_THROUGH returns only once the rename is on disk.
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
  CheckFileFault(TFileStep::kReplace, path_);
  if (!::MoveFileExA(temp_path_.c_str(), path_.c_str(), flags)) Fail("Cannot replace file", path_, ::GetLastError());
  committed_ = true;
  RemoveStaleTemporaries(path_);
}

}  // namespace instkit

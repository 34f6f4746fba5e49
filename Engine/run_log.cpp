#include "Engine/run_log.h"

#include <cerrno>
#include <cstring>

namespace instkit {

bool TRunLog::Open(const std::string& path, std::string& error) {
  Close();
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

void TRunLog::Line(std::string_view line) {
  if (file_ == nullptr) return;
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fputc('\n', file_) == EOF ||
      std::fflush(file_) != 0) {
    failed_ = true;
  }
}

void TRunLog::Close() {
  if (file_ == nullptr) return;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
}

}  // namespace instkit

// The log file of a run (see Engine/run_engine.h for what goes into it):
// created anew, every line flushed as it is written, so that a crash or a
// kill of the run loses nothing written before it.  Internal to the engine.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace instkit {

class TRunLog {
 public:
  TRunLog() = default;
  ~TRunLog() { Close(); }
  TRunLog(const TRunLog&) = delete;
  TRunLog& operator=(const TRunLog&) = delete;

  // False, with the system's reason, when the file cannot be created.
  bool Open(const std::string& path, std::string& error);
  // Writes `line` and a line feed.  Does nothing when no file is open; a
  // failed write (a full disk) is remembered, not raised.
  void Line(std::string_view line);
  void Close();
  bool Failed() const { return failed_; }

 private:
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

}  // namespace instkit

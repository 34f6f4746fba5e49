// The library's one exception base.  Every failure raised inside instkit
// carries a class name (the Delphi-style name the messages quote, such as
// "EConvertError") and a message.  Callers that report failures in text build
// their messages from both, usually as "<class>: <message>".
#pragma once

#include <exception>
#include <string>

namespace instkit {

class Exception : public std::exception {
 public:
  Exception(std::string class_name, std::string message)
      : class_name_(std::move(class_name)), message_(std::move(message)) {}
  explicit Exception(std::string message) : Exception("Exception", std::move(message)) {}

  const std::string& ClassName() const noexcept { return class_name_; }
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string class_name_;
  std::string message_;
};

// A text that does not convert to the requested type, e.g.
// "'abc' is not a valid integer value".
class EConvertError : public Exception {
 public:
  explicit EConvertError(std::string message) : Exception("EConvertError", std::move(message)) {}
};

// An input/output failure reported by the platform layer.
class EInOutError : public Exception {
 public:
  explicit EInOutError(std::string message) : Exception("EInOutError", std::move(message)) {}
};

// Class name and message of any exception: instkit exceptions give their own,
// standard exceptions give "std::exception" (or "EOutOfMemory" for bad_alloc)
// and their what().
struct CaughtFailure {
  std::string class_name;
  std::string message;
};
CaughtFailure DescribeCurrentException();

}  // namespace instkit

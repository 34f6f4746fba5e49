// The library's one exception base.  Every failure raised inside instkit
// carries a class name (the E-prefixed name that log lines and LastError
// texts quote, such as "EConvertError") and a message.  Callers that report
// failures in text build their messages from both, usually as
// "<class>: <message>".
#pragma once

#include <exception>
#include <string>

#include "host/base/export.h"

namespace instkit {

class INSTKIT_API Exception : public std::exception {
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

// Class name and message of the exception being handled (call it inside a
// catch block): instkit exceptions give their own; std::bad_alloc gives
// "EOutOfMemory" and "Out of memory"; any other standard exception
// "Exception" and its what(); anything else "Exception" and
// "unknown failure".
struct CaughtFailure {
  std::string class_name;
  std::string message;
};
INSTKIT_API CaughtFailure DescribeCurrentException();

}  // namespace instkit

// A small streaming JSON writer for the commands' --json output.  Strings
// given to it must be UTF-8 (convert Windows-1251 texts with Cp1251ToUtf8).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace instkit::cli {

class TJsonWriter {
 public:
  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // Inside an object: the key of the next value.
  void Key(std::string_view key);
  void String(std::string_view value);
  void Int(int64_t value);
  void Double(double value);
  void Bool(bool value);
  void Null();
  // A key and its value, inside an object.
  void Member(std::string_view key, std::string_view value) {
    Key(key);
    String(value);
  }
  void Member(std::string_view key, const char* value) { Member(key, std::string_view(value)); }
  void Member(std::string_view key, int value) { Member(key, static_cast<int64_t>(value)); }
  void Member(std::string_view key, int64_t value) {
    Key(key);
    Int(value);
  }
  void Member(std::string_view key, bool value) {
    Key(key);
    Bool(value);
  }
  // A key and an array of strings.
  void Member(std::string_view key, const std::vector<std::string>& values) {
    Key(key);
    BeginArray();
    for (const std::string& value : values) String(value);
    EndArray();
  }

  const std::string& Text() const { return out_; }
  // The text written so far, handed over and forgotten, for output that is
  // printed as it is made; the writer goes on where it was.
  std::string Take() { return std::exchange(out_, std::string()); }

 private:
  void BeforeValue();
  void WriteQuoted(std::string_view value);

  std::string out_;
  std::vector<bool> first_;  // per open container: no element written yet
  bool after_key_ = false;
};

}  // namespace instkit::cli

#include "cli/json_writer.h"

#include <cmath>
#include <cstdio>

#include "host/base/text.h"

namespace instkit::cli {

void TJsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ += ',';
    first_.back() = false;
  }
}

void TJsonWriter::BeginObject() {
  BeforeValue();
  out_ += '{';
  first_.push_back(true);
}

void TJsonWriter::EndObject() {
  out_ += '}';
  first_.pop_back();
}

void TJsonWriter::BeginArray() {
  BeforeValue();
  out_ += '[';
  first_.push_back(true);
}

void TJsonWriter::EndArray() {
  out_ += ']';
  first_.pop_back();
}

void TJsonWriter::Key(std::string_view key) {
  BeforeValue();
  WriteQuoted(key);
  out_ += ':';
  after_key_ = true;
}

void TJsonWriter::String(std::string_view value) {
  BeforeValue();
  WriteQuoted(value);
}

void TJsonWriter::WriteQuoted(std::string_view value) {
  out_ += '"';
  for (unsigned char c : value) {
    switch (c) {
      case '"':
        out_ += "\\\"";
        break;
      case '\\':
        out_ += "\\\\";
        break;
      case '\n':
        out_ += "\\n";
        break;
      case '\r':
        out_ += "\\r";
        break;
      case '\t':
        out_ += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out_ += buf;
        } else {
          out_ += static_cast<char>(c);
        }
    }
  }
  out_ += '"';
}

void TJsonWriter::Int(int64_t value) {
  BeforeValue();
  out_ += IntToStr(value);
}

void TJsonWriter::Double(double value) {
  BeforeValue();
  if (std::isfinite(value)) {
    out_ += DoubleToStr(value);
  } else {
    out_ += "null";
  }
}

void TJsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
}

void TJsonWriter::Null() {
  BeforeValue();
  out_ += "null";
}

}  // namespace instkit::cli

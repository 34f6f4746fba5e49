#include "Engine/answer_book.h"

#include "host/base/exception.h"
#include "host/base/text.h"
#include "host/platform/file.h"

namespace instkit {

bool TAnswerBook::LoadFile(const std::string& path, std::string& error) {
  std::string content;
  try {
    content = ReadWholeFile(path);
  } catch (...) {
    error = "cannot read the answers file " + path + ": " + DescribeCurrentException().message;
    return false;
  }
  size_t start = 0;
  for (int line_number = 1; start < content.size(); ++line_number) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line(Trim(std::string_view(content).substr(start, end - start)));
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    const std::string name(Trim(std::string_view(line).substr(0, eq)));
    const std::string value =
        eq == std::string::npos ? std::string() : AsciiUpper(std::string(Trim(std::string_view(line).substr(eq + 1))));
    const auto kind = QuestionKindFromName(name);
    if (!kind || (value != "YES" && value != "NO")) {
      error = path + ":" + std::to_string(line_number) + ": expected <kind>=yes|no, with a kind of:";
      for (const TQuestionKindInfo& info : QuestionKinds()) error += std::string(" ") + info.name;
      return false;
    }
    kinds_[*kind] = value == "YES";
  }
  return true;
}

std::optional<TAnswer> TAnswerBook::Find(TQuestionKind kind) const {
  if (auto it = kinds_.find(kind); it != kinds_.end()) return TAnswer{it->second, "answers file"};
  if (all_) return TAnswer{*all_, all_source_};
  return std::nullopt;
}

}  // namespace instkit

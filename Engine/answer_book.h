// Unattended answers to the operator's questions, shared by the command line
// and embedding hosts: one answer per question kind (from an answers file
// or set in code), else one answer for every kind.
//
// Answers file: one "kind=yes|no" per line, kinds as QuestionKinds() names
// them, "#" starts a comment line, blank lines and blanks around the parts
// are ignored, yes/no in any letter case.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "Engine/run_events.h"
#include "host/base/export.h"

namespace instkit {

class INSTKIT_API TAnswerBook {
 public:
  // Reads an answers file.  False, with one UTF-8 sentence naming the file
  // and the line, when it cannot be read or a line is not "kind=yes|no".
  bool LoadFile(const std::string& path, std::string& error);
  void Set(TQuestionKind kind, bool yes) { kinds_[kind] = yes; }
  // The answer for every kind the book does not name; `source` says who
  // gave it ("--yes").
  void SetAll(bool yes, std::string source) {
    all_ = yes;
    all_source_ = std::move(source);
  }
  // The answer for a kind: its own ("answers file"), else the one for all;
  // none when the book has neither.
  std::optional<TAnswer> Find(TQuestionKind kind) const;

 private:
  std::map<TQuestionKind, bool> kinds_;
  std::optional<bool> all_;
  std::string all_source_;
};

}  // namespace instkit

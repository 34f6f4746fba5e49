#include "Tidf/idf_text_file.h"

#include "Tidf/line_reader.h"
#include "host/base/binary_text.h"
#include "host/base/exception.h"
#include "host/platform/file.h"
#include "host/base/format.h"
#include "host/platform/process_args.h"
#include "host/base/text.h"

namespace instkit {

namespace {
constexpr char kCpsMagic[] = "IDF-CPS-text";
constexpr char kFpsMagic[] = "IDF-FPS-text";
constexpr size_t kMagicLength = 12;
constexpr char kTreeSuffix[] = "]-tree";
constexpr char kBinaryMarker = '\0';
constexpr char kCrLf[] = "\r\n";

uint8_t TypeCodeOfTag(const std::string& tag) {
  const std::string upper = AsciiUpper(tag);
  if (upper == "DOUBLE") return ftFloat;
  if (upper == "INTEGER") return ftInteger;
  if (upper == "BOOLEAN") return ftBoolean;
  if (upper == "BINARY") return ftBinary;
  return ftString;
}

bool EndsWith(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string EncodeBinary(const std::string& bytes) {
  return StrToFormat(bytes.data(), static_cast<int32_t>(bytes.size()), kBase64Format);
}

std::string DecodeBinary(std::string_view text) {
  return FormatToStr(text.data(), static_cast<int32_t>(text.size()), kBase64Format);
}
}  // namespace

TIDFTextFile::TIDFTextFile() : Header(std::make_unique<TIDFSection>()) {}

TIDFTextFile::~TIDFTextFile() { ClearSections(); }

TIDFSection* TIDFTextFile::GetSection(int32_t index) const {
  if (index < 0 || index >= GetSectionCount()) return nullptr;
  return sections_[static_cast<size_t>(index)].get();
}

TIDFSection* TIDFTextFile::GetSectionByName(const std::string& name) const {
  for (const auto& section : sections_) {
    if (section->SectionName == name) return section.get();
  }
  return nullptr;
}

TIDFSection* TIDFTextFile::AddSection(const std::string& name) {
  sections_.push_back(std::make_unique<TIDFSection>(name));
  return sections_.back().get();
}

TIDFSection* TIDFTextFile::InsertSection(const std::string& name, int32_t index) {
  if (index < 0 || index >= GetSectionCount()) return nullptr;
  auto it = sections_.insert(sections_.begin() + index, std::make_unique<TIDFSection>(name));
  return it->get();
}

void TIDFTextFile::DeleteSection(const std::string& name) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it) {
    if ((*it)->SectionName == name) {
      sections_.erase(it);
      return;
    }
  }
}

void TIDFTextFile::DeleteSection(int32_t index) {
  if (index < 0 || index >= GetSectionCount()) return;
  sections_.erase(sections_.begin() + index);
}

void TIDFTextFile::ClearSections() {
  while (!sections_.empty()) sections_.pop_back();
}

bool TIDFTextFile::GetNextString(std::string& line) {
  if (text_input_ != nullptr) return ReadIdfLine(*text_input_, line);
  if (input_ == nullptr) return false;
  return ReadIdfLine(*input_, line);
}

void TIDFTextFile::SaveString(const std::string& s) {
  if (text_output_ != nullptr) {
    text_output_->append(s);
  } else if (output_ != nullptr) {
    output_->Write(s);
  }
}

bool TIDFTextFile::LoadFromFile(const std::string& file_name) {
  if (!FileExists(file_name)) {
    LastError = Format("File '%s' not exists!", file_name.c_str());
    return false;
  }
  std::unique_ptr<TInputFile> file;
  try {
    file = std::make_unique<TInputFile>(file_name);
  } catch (...) {
    return false;  // cannot be opened: LastError stays as it was
  }
  input_ = file.get();
  const bool result = LoadOpened(file_name);
  input_ = nullptr;
  return result;
}

bool TIDFTextFile::LoadFromText(std::string_view content, const std::string& file_name) {
  TTextSource source(content);
  text_input_ = &source;
  const bool result = LoadOpened(file_name);
  text_input_ = nullptr;
  return result;
}

bool TIDFTextFile::LoadOpened(const std::string& file_name) {
  bool result = false;
  try {
    std::string line;
    if (GetNextString(line)) {
      const std::string_view magic = std::string_view(line).substr(0, kMagicLength);
      if (magic != kCpsMagic && magic != kFpsMagic) {
        LastError = Format("File '%s' has wrong format!", file_name.c_str());
      } else if (GetNextString(line) && line.empty()) {
        ClearSections();
        LoadTextFile();
        result = true;
      }
    }
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    LastError = Format("An exception during file load process.\r\nFileName = '%s'\r\n%s: %s", file_name.c_str(),
                       failure.class_name.c_str(), failure.message.c_str());
    result = false;
  }
  return result;
}

void TIDFTextFile::LoadTextFile() {
  if (input_ == nullptr && text_input_ == nullptr) return;
  bool in_section = false;
  std::string line;
  while (GetNextString(line)) {
    if (line.empty() || line.compare(0, 2, "//") == 0) continue;
    if (line[0] == '[') {
      if (EndsWith(line, kTreeSuffix)) {
        TIDFSection* section = AddSection(line.substr(1, line.size() - 1 - (sizeof kTreeSuffix - 1)));
        section->IsTree = true;
        in_section = true;
        continue;
      }
      if (line.size() >= 2 && line.back() == ']') {
        AddSection(line.substr(1, line.size() - 2));
        in_section = true;
        continue;
      }
    }
    ReadParameterLine(line, in_section);
  }
}

void TIDFTextFile::ReadParameterLine(const std::string& line, bool in_section) {
  const size_t eq = line.find('=');
  std::string name = eq == std::string::npos ? line : line.substr(0, eq);
  std::string_view rest = eq == std::string::npos ? std::string_view() : std::string_view(line).substr(eq + 1);

  TIDFSection* section = sections_.empty() ? nullptr : sections_.back().get();
  std::string tag;
  std::string_view value = rest;
  if (section != nullptr && section->IsTree) {
    const size_t tag_end = rest.find('=');
    if (tag_end != std::string_view::npos) {
      tag = std::string(rest.substr(0, tag_end));
      value = rest.substr(tag_end + 1);
    }
  }

  std::string text;
  const bool binary = value.size() >= 2 && value[0] == kBinaryMarker;
  if (binary) {
    text = DecodeBinary(value.substr(1));
  } else {
    text = std::string(value);
  }

  if (!in_section) {
    TField* field = Header->AddField(std::move(name), binary ? ftBinary : ftString, -1);
    field->SetAsString(std::move(text));
    return;
  }
  uint8_t code = ftString;
  if (binary) {
    code = ftBinary;
  } else if (section->IsTree) {
    code = TypeCodeOfTag(tag);
    if (code == ftBinary) text = DecodeBinary(text);
  }
  if (code == ftBoolean) {
    section->AddParam(std::move(name), ftBoolean)->SetAsBoolean(AsciiUpper(text) == "TRUE");
  } else {
    section->AddParam(std::move(name), code)->SetAsString(std::move(text));
  }
}

bool TIDFTextFile::SaveToFile(const std::string& file_name) {
  std::unique_ptr<TAtomicFileWriter> file;
  try {
    file = std::make_unique<TAtomicFileWriter>(file_name);
  } catch (...) {
    LastError = "Can't create file";
    return false;
  }
  output_ = file.get();
  bool result = false;
  try {
    SaveTextFile();
    file->Commit();
    result = true;
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    LastError = Format("An exception during file save process.\r\nFileName = '%s'\r\n%s: %s", file_name.c_str(),
                       failure.class_name.c_str(), failure.message.c_str());
  }
  output_ = nullptr;
  return result;
}

bool TIDFTextFile::SaveToText(std::string& content) {
  content.clear();
  text_output_ = &content;
  bool result = false;
  try {
    SaveTextFile();
    result = true;
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    LastError =
        Format("An exception during text save process.\r\n%s: %s", failure.class_name.c_str(), failure.message.c_str());
  }
  text_output_ = nullptr;
  return result;
}

void TIDFTextFile::SaveTextFile() {
  if (output_ == nullptr && text_output_ == nullptr) return;
  const char* magic = ProcessArgumentCount() > 0 ? kFpsMagic : kCpsMagic;
  SaveString(std::string(magic) + kCrLf + kCrLf);
  for (int32_t i = 0; i < Header->GetFieldCount(); ++i) WriteParameterLine(*Header->GetFields(i), false);
  for (const auto& section : sections_) {
    SaveString("[" + section->SectionName + (section->IsTree ? "]-tree" : "]") + kCrLf);
    for (int32_t i = 0; i < section->GetFieldCount(); ++i) {
      WriteParameterLine(*section->GetFields(i), section->IsTree);
    }
  }
}

void TIDFTextFile::WriteParameterLine(const TField& field, bool tree) {
  std::string line = field.Name();
  line += '=';
  if (!tree) {
    if (field.FieldType() == ftBinary) {
      line += kBinaryMarker;
      line += EncodeBinary(field.GetAsString());
    } else {
      line += field.GetAsString();
    }
  } else if (field.FieldType() == ftBinary) {
    line += "BINARY=";
    line += EncodeBinary(field.GetAsString());
  } else {
    switch (ValueClassOf(field.FieldType())) {
      case TValueClass::Boolean:
        line += field.GetAsBoolean() ? "BOOLEAN=TRUE" : "BOOLEAN=FALSE";
        break;
      case TValueClass::Integer:
        line += "INTEGER=" + field.GetAsString();
        break;
      case TValueClass::Float:
        line += "DOUBLE=" + field.GetAsString();
        break;
      default:
        line += "STRING=" + field.GetAsString();
        break;
    }
  }
  line += kCrLf;
  SaveString(line);
}

}  // namespace instkit

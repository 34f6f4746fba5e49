// IDF text files: a header line, an empty line, header parameters, then
// sections of named parameters.
//
//   file    := magic CRLF CRLF { param } { section }
//   magic   := "IDF-CPS-text" | "IDF-FPS-text"   (chosen when saving by the
//              process's command-line argument count: none -> CPS)
//   section := "[" name "]" CRLF { param }          ordinary section
//            | "[" name "]-tree" CRLF { tparam }    tree section
//   param   := name "=" value CRLF       value: text, or NUL + base64 (binary)
//   tparam  := name "=" tag "=" value CRLF
//              tag: STRING | INTEGER | DOUBLE | BOOLEAN | BINARY
//
// The reader also accepts blank lines, "//" comment lines, lone-CR line ends
// and tags in any letter case.  Texts are Windows-1251 bytes throughout.
//
// Decisions of this implementation:
// - Tree sections write BINARY values base64-encoded and decode them when
//   reading, so binary values of tree sections survive a save and a load.
// - A tree-section field whose type code is not 0, 2, 3, 9 or 16 is written
//   with the tag of its kind: integer kinds as INTEGER, floating kinds as
//   DOUBLE, others as STRING with their text form.
// - Files are read through a buffer, and SaveToFile writes a temporary file
//   beside the target and renames it over the target only when complete: a
//   failed save leaves the previous file intact.
// - Tree sections and tree files (Tidf/idf_tree_sections.cpp): SaveTree
//   creates its target when missing and replaces it as a whole through a
//   temporary file, so a failed save keeps the previous file and no old tail
//   survives a shorter tree.  LoadTree refuses a file with bytes after the
//   tree ("An exception while loading tree ..." naming the offset).  The form
//   manager's key settings are FormIndex, FormName, then TreeParam2 (as
//   FormGroup) and TreeParam1 (as FormOwner).
//
// The object raises nothing: file operations answer a Boolean and leave a
// message in LastError on failure.  One object is used by one thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Tidf/idf_section.h"
#include "host/base/export.h"

namespace instkit {

class TInputFile;
class TTextSource;
class TAtomicFileWriter;
class TDSPFormManager;

class INSTKIT_API TIDFTextFile {
 public:
  TIDFTextFile();
  ~TIDFTextFile();
  TIDFTextFile(const TIDFTextFile&) = delete;
  TIDFTextFile& operator=(const TIDFTextFile&) = delete;

  // Null when index is out of range.
  TIDFSection* GetSection(int32_t index) const;
  // The first section whose name equals `name` byte for byte; null if none.
  TIDFSection* GetSectionByName(const std::string& name) const;
  int32_t GetSectionCount() const { return static_cast<int32_t>(sections_.size()); }
  TIDFSection* AddSection(const std::string& name);
  // Only for 0 <= index < count: inserts before the section at index.
  TIDFSection* InsertSection(const std::string& name, int32_t index);
  void DeleteSection(const std::string& name);
  void DeleteSection(int32_t index);
  void ClearSections();

  bool LoadFromFile(const std::string& file_name);
  bool SaveToFile(const std::string& file_name);
  // The same two on bytes held in memory: LoadFromText reads `content` as
  // LoadFromFile reads a file of that content (its messages name
  // `file_name`); SaveToText stores in `content` the bytes SaveToFile would
  // write.  Tidf/description_encoding.h builds on them.
  bool LoadFromText(std::string_view content, const std::string& file_name);
  bool SaveToText(std::string& content);

  // Body reader and content writer, working on the file that LoadFromFile or
  // SaveToFile has open (FileHandle), or on the text of LoadFromText and
  // SaveToText; they do nothing outside those calls.
  void LoadTextFile();
  void SaveTextFile();
  // The line reader on the open file.
  bool GetNextString(std::string& line);
  void SaveString(const std::string& s);

  // Tree sections and tree files (form-manager trees), Tidf/idf_tree_sections.cpp.
  // AddTreeSection appends a tree section with one parameter per leaf of the
  // manager's tree (depth-first, named by dotted path); null on failure.
  // GetSectionAsTree writes every parameter of a section into the manager's
  // tree, stopping at the first that fails.  SaveTree fetches a form through
  // a TDSPFormManager and writes it as a tree file; LoadTree reads a tree
  // file and has a TDSPFormManager store it (Tidf/tree_file_format.h).
  TIDFSection* AddTreeSection(const std::string& name, TDSPFormManager* manager);
  bool GetSectionAsTree(TIDFSection* section, TDSPFormManager* manager);
  bool SaveTree(int32_t form_index, const std::string& form_name, const std::string& file_name);
  bool LoadTree(int32_t form_index, const std::string& form_name, const std::string& file_name);

  std::string TreeParam1;  // owner-assigned; read by SaveTree/LoadTree
  std::string TreeParam2;  // owner-assigned; read by SaveTree/LoadTree
  // Parameters before the first section; never a tree section; only grows.
  const std::unique_ptr<TIDFSection> Header;
  std::string LastError;  // last failure; only failures write it

 private:
  // LoadFromFile and LoadFromText once their input is open.
  bool LoadOpened(const std::string& file_name);
  void ReadParameterLine(const std::string& line, bool in_section);
  void WriteParameterLine(const TField& field, bool tree);

  std::vector<std::unique_ptr<TIDFSection>> sections_;
  // FileHandle: valid only inside LoadFromFile / SaveToFile.
  TInputFile* input_ = nullptr;
  TAtomicFileWriter* output_ = nullptr;
  TTextSource* text_input_ = nullptr;
  std::string* text_output_ = nullptr;
};

}  // namespace instkit

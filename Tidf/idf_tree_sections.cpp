// Tree sections and tree files: the exchange between IDF text files and
// form-manager trees (TDSPFormManager).  Like the rest of TIDFTextFile, these
// operations raise nothing: they answer a result and leave a message in
// LastError.
#include <memory>
#include <vector>

#include "Tidf/idf_text_file.h"
#include "Tidf/node_index.h"
#include "Tidf/tree_file_format.h"
#include "host/base/exception.h"
#include "host/platform/file.h"
#include "host/platform/file_stream.h"
#include "host/forms/form_manager.h"
#include "host/forms/form_util.h"
#include "host/base/format.h"

namespace instkit {

namespace {

// The parameter a leaf gives, by its value kind; kinds 0, 5 and those above
// 6 give none.
void AddLeafParameter(TIDFSection& section, const std::string& path, const TDSPNode& node) {
  switch (node.GetValueKind()) {
    case dvkString:
      section.AddParam(path, ftString)->SetAsString(node.GetAsString());
      break;
    case dvkInteger:
      section.AddParam(path, ftInteger)->SetAsInteger(node.GetAsInteger());
      break;
    case dvkBoolean:
      section.AddParam(path, ftBoolean)->SetAsBoolean(node.GetAsBoolean());
      break;
    case dvkDouble:
      section.AddParam(path, ftFloat)->SetAsFloat(node.GetAsDouble());
      break;
    case dvkBinary:
      section.AddParam(path, ftBinary)->SetAsString(node.GetAsString());
      break;
    default:
      break;
  }
}

// The form manager's key settings, in its own order: the form index, the
// form name, then TreeParam2 and TreeParam1 of the file object.
void GiveSettings(TDSPManager& manager, int32_t form_index, const std::string& form_name,
                  const std::string& tree_param2, const std::string& tree_param1) {
  manager.FormIndex = form_index;
  manager.FormName = form_name;
  manager.FormGroup = tree_param2;
  manager.FormOwner = tree_param1;
}

}  // namespace

TIDFSection* TIDFTextFile::AddTreeSection(const std::string& name, TDSPFormManager* manager) {
  TIDFSection* section = AddSection(name);
  section->IsTree = true;
  // Entries are freed when popped; whatever is left goes with the vector on
  // every path out.
  std::vector<std::unique_ptr<TNodeIndex>> stack;
  try {
    if (manager == nullptr) throw EDSPError("No form manager given");
    const TDSPNode* root = manager->Root();
    if (root->GetCount() == 0) return section;
    // Depth-first, children in index order, restarting from the root after
    // every finished node; the stack remembers, per depth, the next child to
    // visit and the path so far.
    int32_t top_index = 0;
    do {
      const TDSPNode* node = root;
      int32_t depth = -1;
      int32_t next = top_index;
      while (const TDSPNode* child = node->GetNodes(next)) {
        node = child;
        ++depth;
        if (static_cast<int32_t>(stack.size()) <= depth) {
          auto entry = std::make_unique<TNodeIndex>();
          entry->Path = depth == 0 ? child->GetName() : stack.back()->Path + "." + child->GetName();
          stack.push_back(std::move(entry));
        }
        next = stack[static_cast<size_t>(depth)]->Index;
      }
      if (node->GetCount() == 0) AddLeafParameter(*section, stack[static_cast<size_t>(depth)]->Path, *node);
      stack.pop_back();
      if (stack.empty()) {
        ++top_index;
      } else {
        ++stack.back()->Index;
      }
    } while (top_index < root->GetCount());
    return section;
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    for (int32_t i = GetSectionCount() - 1; i >= 0; --i) {
      if (GetSection(i) == section) {
        DeleteSection(i);
        break;
      }
    }
    LastError = Format("An exception while adding tree section '%s' (%s: %s)", name.c_str(), failure.class_name.c_str(),
                       failure.message.c_str());
    return nullptr;
  }
}

bool TIDFTextFile::GetSectionAsTree(TIDFSection* section, TDSPFormManager* manager) {
  if (section == nullptr || manager == nullptr) {
    LastError = "Invalid parameters.";
    return false;
  }
  for (int32_t i = 0; i < section->GetFieldCount(); ++i) {
    const TField& field = *section->GetFields(i);
    // A failing lookup is not this operation's to report: it leaves the call.
    TDSPNode* node = manager->FindSection(field.Name());
    try {
      if (node == nullptr) node = manager->CreateSection(field.Name());
      switch (field.FieldType()) {
        case ftString:
          node->SetAsString(field.GetAsString());
          break;
        case ftInteger:
          node->SetAsInteger(field.GetAsInteger());
          break;
        case ftFloat:
          node->SetAsDouble(field.GetAsFloat());
          break;
        case ftBoolean:
          node->SetAsBoolean(field.GetAsBoolean());
          break;
        case ftBinary:
          manager->SetBinaryParam(field.Name(), field.GetAsString());
          break;
        default:
          break;  // the node exists now; other types carry no value
      }
    } catch (...) {
      const CaughtFailure failure = DescribeCurrentException();
      LastError = Format("Error creating Node '%s' in function GetSectionAsTree (%s: %s)", field.Name().c_str(),
                         failure.class_name.c_str(), failure.message.c_str());
      return false;
    }
  }
  return true;
}

bool TIDFTextFile::SaveTree(int32_t form_index, const std::string& form_name, const std::string& file_name) {
  bool result = false;
  try {
    TDSPFormManager manager;
    GiveSettings(manager, form_index, form_name, TreeParam2, TreeParam1);
    if (!manager.Fetch()) return false;
    TFormUtil util;
    // Created when missing; written beside the target and renamed over it
    // only when complete, so a failed save keeps the previous file.
    TFileWriteStream stream(file_name);
    stream.Write(kTreeFileHeader, kTreeFileHeaderBytes);
    util.SaveBranchToStream(manager.Root(), &stream);
    stream.Commit();
    result = true;
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    LastError = Format("An exception saving tree to file '%s' (%s: %s)", file_name.c_str(), failure.class_name.c_str(),
                       failure.message.c_str());
    result = false;
  }
  return result;
}

bool TIDFTextFile::LoadTree(int32_t form_index, const std::string& form_name, const std::string& file_name) {
  if (!FileExists(file_name)) {
    LastError = Format("File '%s' not exists", file_name.c_str());
    return false;
  }
  std::unique_ptr<TFileReadStream> stream;
  try {
    stream = std::make_unique<TFileReadStream>(file_name);
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    LastError =
        Format("Can't open file '%s' (%s: %s)", file_name.c_str(), failure.class_name.c_str(), failure.message.c_str());
    return false;
  }
  bool result = false;
  try {
    char header[kTreeFileHeaderBytes];
    const size_t got = stream->Read(header, sizeof header);
    if (!IsTreeFileHeader(std::string_view(header, got))) {
      LastError = Format("Invalid file format (%s)", file_name.c_str());
      return false;
    }
    TDSPFormManager manager;
    TFormUtil util;
    util.LoadBranchFromStream(manager.Root(), stream.get());
    // The branch must end the file: anything after it means the file is not
    // what it claims to be, and storing a part of it would hide that.
    const int64_t left = stream->GetSize() - stream->GetPosition();
    if (left > 0) {
      throw EBranchStreamError(Format("%lld bytes follow the tree at offset %lld", static_cast<long long>(left),
                                      static_cast<long long>(stream->GetPosition())));
    }
    GiveSettings(manager, form_index, form_name, TreeParam2, TreeParam1);
    if (manager.Store()) {
      result = true;
    } else {
      LastError = "Can't save structure";
    }
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    LastError = Format("An exception while loading tree from file '%s' (%s: %s)", file_name.c_str(),
                       failure.class_name.c_str(), failure.message.c_str());
    result = false;
  }
  return result;
}

}  // namespace instkit

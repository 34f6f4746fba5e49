#include "host/forms/form_manager.h"

#include <mutex>
#include <vector>

#include "host/base/settings.h"
#include "host/forms/branch_stream_format.h"
#include "host/platform/file.h"
#include "host/forms/form_util.h"
#include "host/base/format.h"

namespace instkit {

namespace {

// The names of a dotted path; false for an empty path, an empty name or too
// many names.
bool SplitPath(std::string_view path, std::vector<std::string_view>* names) {
  names->clear();
  if (path.empty()) return false;
  size_t start = 0;
  for (;;) {
    const size_t dot = path.find('.', start);
    const std::string_view name = path.substr(start, dot == std::string_view::npos ? dot : dot - start);
    if (name.empty() || names->size() >= static_cast<size_t>(kMaxBranchDepth)) return false;
    names->push_back(name);
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

}  // namespace

TDSPManager::TDSPManager() : root_(std::make_unique<TDSPNode>()) {}
TDSPManager::~TDSPManager() = default;

TDSPNode* TDSPManager::FindSection(std::string_view path) const {
  std::vector<std::string_view> names;
  if (!SplitPath(path, &names)) return nullptr;
  TDSPNode* node = root_.get();
  for (const std::string_view name : names) {
    node = node->FindChild(name);
    if (node == nullptr) return nullptr;
  }
  return node;
}

TDSPNode* TDSPManager::CreateSection(std::string_view path) {
  std::vector<std::string_view> names;
  if (!SplitPath(path, &names)) {
    throw EDSPError(Format("Invalid node path '%s': it needs 1 to %d non-empty names separated by '.'",
                           std::string(path).c_str(), kMaxBranchDepth));
  }
  TDSPNode* node = root_.get();
  for (const std::string_view name : names) {
    TDSPNode* child = node->FindChild(name);
    node = child != nullptr ? child : node->AddChild(std::string(name));
  }
  return node;
}

void TDSPManager::SetBinaryParam(std::string_view path, std::string value) {
  CreateSection(path)->SetAsBinary(std::move(value));
}

bool TDSPManager::Fetch() { return false; }
bool TDSPManager::Store() { return false; }

TDSPFormManager::TDSPFormManager() : DatabasePath(Settings().DefaultFormDatabase()) {}

bool TDSPFormManager::Fetch() {
  if (DatabasePath.empty() || !FileExists(DatabasePath)) return false;
  std::string tree;
  {
    TFormStore store(DatabasePath, /*create=*/false);
    if (!store.Read(Key(), &tree)) return false;
  }
  DecodeBranch(tree, Root());
  return true;
}

bool TDSPFormManager::Store() {
  if (DatabasePath.empty()) return false;
  const std::string tree = EncodeBranch(*Root());
  TFormStore store(DatabasePath, /*create=*/true);
  store.Write(Key(), tree);
  return true;
}

}  // namespace instkit

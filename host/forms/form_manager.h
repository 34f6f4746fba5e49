// The form manager: a tree of TDSPNode under one root, addressed by dotted
// paths, plus fetch and store operations that move the tree to and from a
// form store (host/forms/form_store.h).
//
// Dotted paths name a node by the names from a child of the root down to the
// node, joined by "." ("Window.Size.Width"); the root itself has no path.
// Names in a path are compared byte for byte (letter case matters) and the
// first child of a name wins.  An empty path, or a path with an empty name
// ("a..b", ".a", "a."), addresses no node; paths of more than
// kMaxBranchDepth names are refused, so every tree built through paths can
// be branch-streamed.  Node names that contain "." can exist (a branch
// stream may bring them) but cannot be reached by a path.
//
// Settings: before Fetch or Store the owner gives the manager, in this
// order, FormIndex, FormName, FormGroup and FormOwner.  Together they are the
// key of the form in the store; the two texts are free for the host (for
// instance an application and a user name); empty is a valid value.
//
// Database: a TDSPFormManager reads and writes the form store in the SQLite
// file named by its DatabasePath, which starts as the process-wide default
// (Settings().DefaultFormDatabase(), set by the host or the command line).  Fetch
// answers false when the path is empty, the file does not exist or holds no
// form under the key; Store answers false when the path is empty.  Database
// and format failures raise (ESQLiteError, EFormStoreError,
// EBranchStreamError).
//
// Not thread-safe; the default database path is guarded and may be read and
// set from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/base/export.h"
#include "host/forms/dsp_node.h"
#include "host/base/exception.h"
#include "host/forms/form_store.h"

namespace instkit {

// A dotted path that names no node where one must be created.
class EDSPError : public Exception {
 public:
  explicit EDSPError(std::string message) : Exception("EDSPError", std::move(message)) {}
};

class INSTKIT_API TDSPManager {
 public:
  TDSPManager();
  virtual ~TDSPManager();
  TDSPManager(const TDSPManager&) = delete;
  TDSPManager& operator=(const TDSPManager&) = delete;

  // The root node; owned by the manager, never null.
  TDSPNode* Root() const { return root_.get(); }

  // The node at a dotted path, or null (also for an invalid path).
  TDSPNode* FindSection(std::string_view path) const;
  // The node at a dotted path, creating it and any missing node above it.
  // Raises EDSPError for an invalid path.
  TDSPNode* CreateSection(std::string_view path);
  // Finds or creates the node at `path` and gives it the binary value
  // `value` (the bytes themselves).  Raises EDSPError for an invalid path.
  void SetBinaryParam(std::string_view path, std::string value);

  // Fills the root's tree from wherever the manager keeps forms; false when
  // there is no form under the current settings.  This base class keeps no
  // forms: it answers false.
  virtual bool Fetch();
  // Saves the root's tree; false when the manager has nowhere to save it.
  // This base class answers false.
  virtual bool Store();

  TFormKey Key() const { return {FormIndex, FormName, FormGroup, FormOwner}; }

  // The four settings, in the manager's order.
  int32_t FormIndex = 0;
  std::string FormName;
  std::string FormGroup;
  std::string FormOwner;

 private:
  std::unique_ptr<TDSPNode> root_;
};

class INSTKIT_API TDSPFormManager : public TDSPManager {
 public:
  TDSPFormManager();

  // Replaces the root (name, value, children) with the stored form.
  bool Fetch() override;
  // Inserts or replaces the stored form with the root's tree.
  bool Store() override;

  std::string DatabasePath;  // the form store; starts as the default
};

}  // namespace instkit

// The node tree of the subsystem catalogue.
//
//   TCustomSysNode   an ordered, owning list of child TSysNode objects
//    |- TSysNode     one subsystem: owns its TSubsystemInfo (`Info`, never null)
//    `- TSysTree     the root (sys_tree.h); its children are the top-level
//                    subsystems
//
// Ownership: a node owns its children (freeing a node frees its subtree) and
// a TSysNode owns its Info.  Tree-view items and archive lists point at Info
// records without owning them, so they must not outlive the nodes.
//
// A node is top level when its ParentNode is a TSysTree (IsTopLevel()); the
// image and selection operations decide by that test, not by Info.Parent.
//
// Walks visit children in list order and finish a child's subtree before
// going on to its next sibling (pre-order).  Every walk, freeing a subtree
// included, goes through the tree walk (node_walk.h) and keeps its own stack,
// so a catalogue nested as deeply as it has subsystems needs no deep call
// stack anywhere.
//
// The operations are grouped by concern; each concern's bodies live in the
// file named after it:
//   tree operations ........................ sys_node.cpp
//   reading an IDF file .................... catalogue_reader.cpp (with catalogue_index.cpp)
//   writing an IDF file .................... catalogue_writer.cpp
//   flat tree image ........................ flat_image.cpp (format: flat_image.h)
//   selection, dependencies, install set ... selection.cpp
//   archives, names, links ................. archives.cpp
//   registration ........................... registration.cpp
//
// Nothing here is thread-safe; one catalogue is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Syslist/subsystem_info.h"
#include "host/base/exception.h"
#include "host/base/export.h"

namespace instkit {

class TIDFSection;
class TIDFTextFile;
class TSysNode;
class TSysTree;
class TCatalogueIndex;
// Host types used by the selection and registration operations.
class TTreeNodes;
class TTreeNode;
class TRegistry;
class TArchiveList;

// Raised by catalogue reading when it would not end or would not fit: a
// "Parent" cycle met by LoadChildNodes started on a node of the caller's
// choosing, or a catalogue whose repeated entry names multiply its subtrees
// past 8 nodes per entry (+ 1024).
class ECatalogueError : public Exception {
 public:
  explicit ECatalogueError(std::string message) : Exception("ECatalogueError", std::move(message)) {}
};

class INSTKIT_API TCustomSysNode {
 public:
  TCustomSysNode();
  // ClearNodes, then the list goes.
  virtual ~TCustomSysNode();
  TCustomSysNode(const TCustomSysNode&) = delete;
  TCustomSysNode& operator=(const TCustomSysNode&) = delete;

  // ---- Tree operations ------------------------------------------------

  // Takes ownership of `Node`: sets its ParentNode to this node, appends it
  // and updates Count.  Does not check for duplicates or for a node that sits
  // in another list; a null node is ignored.  Returns the node.
  TSysNode* AddNode(TSysNode* Node);
  TSysNode* AddNode(std::unique_ptr<TSysNode> Node);
  // Removes and frees the child at Index with its subtree; any index outside
  // 0 .. Count - 1 does nothing.
  void DeleteNode(int32_t Index);
  // Frees every child, from the last to the first.
  void ClearNodes();
  // The child at Index, or null outside 0 .. Count - 1.
  TSysNode* GetNode(int32_t Index) const;
  // Pre-order search below this node (the node itself is not compared):
  // the first descendant whose Info.SysIndex equals the argument, or null.
  TSysNode* GetNodeBySysIndex(int32_t SysIndex) const;
  // Appends to Dest a copy of every child subtree, in child order.  Copies
  // are new TSysNode objects whose Info is Assign'ed from the source (so
  // Checked and AllCheck true, IsInst false, BackRef empty).
  void GetChildTree(TCustomSysNode* Dest) const;
  // For every descendant (not this node): Checked and AllCheck <- true.
  void SetChecked();
  // For every descendant: Checked and AllCheck <- false.
  void ClearChecked();
  // For every descendant: IsInst <- Checked.
  void SetIsInst();
  // True when ParentNode is a TSysTree.
  bool IsTopLevel() const;

  // ---- Catalogue sections (catalogue_reader.cpp) ------------------------

  // 0 when the section is null, has no parameter `Name` (looked up with
  // FieldByName) or its text is empty; otherwise its integer value, which
  // raises EConvertError when the text is not an integer.
  static int32_t GetParamAsInteger(const TIDFSection* Section, const std::string& Name);
  // The parameter's text; empty when there is none.
  static std::string GetParamAsString(const TIDFSection* Section, const std::string& Name);
  // The integer value of the first catalogue parameter named exactly `Name`
  // (byte for byte); values that do not convert are passed over; 0 when
  // nothing matches.
  static int32_t GetSysIndex(const TIDFSection* Catalogue, const std::string& Name);
  // The numbers (as written in the catalogue) of the subsystems whose
  // "Depend" names SysIndex, ","-separated, in catalogue order.  Raises
  // EConvertError when a "Depend" item met before a hit does not convert.
  static std::string GetBackRef(int32_t SysIndex, const TIDFSection* Catalogue, const TIDFTextFile* File);

  // ---- Flat tree image (flat_image.cpp; layout in flat_image.h) ---------

  // Reads the counted string at Block + Offset into S and returns
  // Offset + 4 + its length.  Raises EFlatImage on a negative length.  The
  // sized form also raises when the string does not lie inside the Size
  // bytes at Block.
  static int32_t LoadString(const void* Block, int32_t Offset, std::string& S);
  static int32_t LoadString(const void* Block, size_t Size, int32_t Offset, std::string& S);
  // The address of the Index-th child record of the record at Block; null
  // when Block is null or Index is outside 0 .. ChildCount - 1.  A malformed
  // record shows the message box "Ошибка получения указателя" (caption
  // "Ошибка", kStylePlain, no owner window) and gives null.
  // Uses nothing of the node it is called on.  The sized form never looks
  // outside the Size bytes at Block.
  // Returns a writable address (the write-back stores flags through it) even
  // though nothing is written here.
  static void* GetPointer(int32_t Index, const void* Block);
  static void* GetPointer(int32_t Index, const void* Block, size_t Size);

  // ---- Selection (selection.cpp) -----------------------------------------

  // Deletes, from the last to the first, each child whose Checked is false;
  // then, when Recursive, recurses into the remaining children (last first).
  void DeleteNotChecked(bool Recursive);
  // Children from the last to the first: one whose AllCheck is true is
  // deleted with its subtree, any other gets DeleteAllCheckNode in its turn.
  void DeleteAllCheckNode();
  // The numbers of B that are not in A, each once, joined by ",", in B's
  // order.  Each list is read as GetNextRef reads it, up to its first item
  // that is not a number (or is -1).
  static std::string AddRef(const std::string& A, const std::string& B);

  // ---- Fields ---------------------------------------------------------
  int32_t Count = 0;                             // always Nodes.size()
  std::vector<std::unique_ptr<TSysNode>> Nodes;  // owned children, in order
  TCustomSysNode* ParentNode = nullptr;          // the node whose list holds this one
};

// A node's own TSubsystemInfo, kept inside the node and used like the owning
// pointer it stands for (Info->SysIndex, *Info, Info.get(), never null).
// One allocation per subsystem instead of two, with the record next to its
// node in memory, which matters when a catalogue of 100,000 subsystems is
// built.  Like a pointer member, it does not make the record const in a
// const node.
class TOwnedInfo {
 public:
  TSubsystemInfo* operator->() const { return &info_; }
  TSubsystemInfo& operator*() const { return info_; }
  TSubsystemInfo* get() const { return &info_; }

 private:
  mutable TSubsystemInfo info_;
};

class INSTKIT_API TSysNode : public TCustomSysNode {
 public:
  // Nodes live in a TNodeArena (Syslist/node_arena.h).
  static void* operator new(size_t size);
  static void operator delete(void* block, size_t size) noexcept;
  // Creates Info with Checked and AllCheck true.
  TSysNode();
  ~TSysNode() override;

  // ---- Reading and writing an IDF file ----------------------------------

  // Adds, in catalogue order, every subsystem whose section's "Parent" equals
  // this node's SysIndex (not 0), and recursively their children.  True when
  // at least one child was added.  Failures (a "Parent" or "Depend" item that
  // does not convert: EConvertError; a "Parent" cycle below this node:
  // ECatalogueError) are raised to the caller; nodes added so far stay.
  bool LoadChildNodes(const TIDFSection* Catalogue, const TIDFTextFile* File);
  // Fills Info from a subsystem section (nothing for null): SaveName, clears
  // Checked and AllCheck, the keys "Parent", "Depend", "Library",
  // "Parameter", "Archive", "Short name", "Full name", then appends the
  // section's menu and desktop link keys to Links.
  void GetData(const TIDFSection* Section);
  // Writes this subsystem and its subtree: a catalogue entry (when Catalogue
  // is not null) and a new section named SaveName per subsystem.  A null
  // File raises ECatalogueError.  Links are split at "*" while the text is
  // not empty, so a trailing "*" adds no empty item; menu and desktop links
  // share one ordinal, and an item with neither marker uses one up unwritten.
  void SaveNode(TIDFSection* Catalogue, TIDFTextFile* File) const;

  // ---- Flat tree image (flat_image.cpp; layout in flat_image.h) ---------

  // 14 + the lengths of Library, Parameter and ShortName.
  int32_t GetDataSize() const;
  // The size of this node's record: 12 + GetDataSize + every child's GetSize.
  int32_t GetSize() const;
  // Writes S as a counted string at Block + Offset; returns Offset + 4 + length.
  static int32_t SaveString(void* Block, int32_t Offset, const std::string& S);
  // Writes this node's record at Block (at least GetSize bytes) and returns
  // its size; 0 on a failure.  The sized form writes nothing and gives 0
  // when the record does not fit in Size bytes.
  int32_t SaveToPointer(void* Block) const;
  int32_t SaveToPointer(void* Block, size_t Size) const;
  // Replaces the children and the image fields (Checked, IsInst, Library,
  // Parameter, ShortName) with the record at Block; returns the record's
  // size, 0 when the reading failed.  Each child is added before it is read,
  // so after a failure the children read so far stay, the failing one partly
  // read.  The sized
  // form never reads outside the Size bytes at Block.
  int32_t LoadFromPointer(const void* Block);
  int32_t LoadFromPointer(const void* Block, size_t Size);
  // Reads back the flags written into this node's record at Block into this
  // subtree (Checked of non-top-level nodes, forced true by IsInst; AllCheck
  // recomputed bottom-up) and returns AllCheck.  Failures are swallowed.
  bool SetSysInstaled(const void* Block);
  bool SetSysInstaled(const void* Block, size_t Size);

  // ---- Selection, dependencies and install set (selection.cpp) ----------

  void SaveToTreeNodes(TTreeNodes* Items, TTreeNode* ParentItem);
  void LoadFromTreeNodes(TTreeNodes* Items, TTreeNode* Item);
  bool SetAllCheck();
  void GetNotChecked(TCustomSysNode* Dest);
  void AddToOtherTree(TCustomSysNode* Dest);
  // Other: a node of another catalogue at the same depth (for a top-level
  // node, the other tree itself); may be null.
  void GetInstallTree(TCustomSysNode* Other);
  // Copies the path from the top-level subsystem down to this node into Dest.
  // Takes ownership of Sub (may be null).  Returns the copy of this node; with
  // a null Dest, nothing is added, Sub is freed and the result is null.
  TSysNode* GetAllTree(TCustomSysNode* Dest, TSysNode* Sub);
  // Appends to Text, after a ",", what AddRef(Text, BackRef) gives for this
  // node and then for every node below it, in pre-order; the "," only before
  // a result that is not empty.  So the tree's GetDepRefs is every
  // back-referenced number once, in pre-order of first appearance.
  void GetDepRefs(std::string& Text);

  // ---- Archives, names and links (archives.cpp) --------------------------

  void GetArhiveName(TArchiveList* List);
  void GetSystemName(std::vector<std::string>& List);
  void GetSaveName(std::vector<std::string>& List, bool Flag);
  void GetLinks(std::vector<std::string>& List, bool Desktop);

  // ---- Registration (registration.cpp) -----------------------------------

  void Registering(TRegistry* Registry, uint8_t Mode);

  TOwnedInfo Info;  // owned, never null

 private:
  friend class TSysTree;
  friend class TCatalogueIndex;
  // Loads the subtree below this node with the catalogue index; same
  // results as LoadChildNodes.
  bool LoadChildNodes(const TCatalogueIndex& Index);
};

// The N-th (from 1) item of the ","-separated list S as an integer; -1 when S
// is empty, N is out of range or the item is not an integer.  Blanks around
// an item are trimmed ("5, 7" gives 7 at position 2); host/base/number_list.h
// cuts the list.
INSTKIT_API int32_t GetNextRef(const std::string& S, int32_t N);

}  // namespace instkit

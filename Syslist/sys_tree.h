// The root of a subsystem catalogue.  Its children are the top-level
// subsystems; their ParentNode is the tree.  See sys_node.h for ownership and
// walking order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Syslist/sys_node.h"
#include "host/base/export.h"

namespace instkit {

class INSTKIT_API TSysTree : public TCustomSysNode {
 public:
  // ---- Reading and writing an IDF file ----------------------------------

  // Rebuilds the tree from the catalogue section "SubSystems" of File and the
  // subsystem sections it names.  False for a null file, and false with an
  // empty tree (after the message box "Найдены системы с одинаковыми
  // номерами", caption "Ошибка", kStyleError) when two catalogue entries carry
  // the same number.  A catalogue
  // value that is not an integer raises EConvertError with the tree empty.
  // A failure while one top-level subsystem is read drops the rest of that
  // subtree; reading goes on and the result is true.
  bool LoadFromIDFFile(const TIDFTextFile* File);
  // Appends a "SubSystems" section and one section per subsystem (pre-order).
  // False when something failed; what was written stays in File.
  bool SaveToIDFFile(TIDFTextFile* File) const;

  // ---- Flat tree image (flat_image.cpp; layout in flat_image.h) ---------

  // GetSize of the top-level node at Index; 0 outside 0 .. Count - 1.
  int32_t GetSize(int32_t Index) const;
  // Writes the record of the top-level node at Index.  True when written,
  // false on a failure; an index outside 0 .. Count - 1 writes nothing and
  // gives true.  The sized form fails when the record does not fit.
  bool SaveToPointer(void* Block, int32_t Index) const;
  bool SaveToPointer(void* Block, size_t Size, int32_t Index) const;
  // Rebuilds the children from the child records of the record at Block (the
  // root record's own strings and flags are not read) and fills TreeFlag.
  // A top-level node is added only once its record has been read completely;
  // one that fails is freed and ends the reading with false (the nodes
  // before it stay).
  bool LoadFrompointer(const void* Block);
  bool LoadFrompointer(const void* Block, size_t Size);
  // Stores each top-level node's Checked flag in byte 8 of the matching
  // child record of the record at Block.  Null does nothing; failures are
  // swallowed.
  void SetSysInstaled(void* Block);
  void SetSysInstaled(void* Block, size_t Size);

  // ---- Selection, dependencies and install set (selection.cpp) ----------

  bool SaveToTreeNodes(TTreeNodes* Items);
  bool LoadFromTreeNodes(TTreeNodes* Items);
  void SetAllCheck();
  void GetNotChecked(TCustomSysNode* Dest);
  void AddToOtherTree(TCustomSysNode* Dest);
  bool GetInstallTree(TSysTree* Other);
  std::string GetDepRefs();

  // ---- Archives, names and links (archives.cpp) --------------------------

  void GetArhiveName(TArchiveList* List);
  void GetSystemName(std::vector<std::string>& List);
  void GetSaveName(std::vector<std::string>& List, bool Flag);
  void GetLinks(std::vector<std::string>& List, bool Desktop);

  // ---- Registration (registration.cpp) -----------------------------------

  bool Registering(TRegistry* Registry, uint8_t Mode);

  // Zero at creation; LoadFrompointer fills it from the byte at offset
  // 9 + DataSize of the root record (the second byte of its ChildCount
  // word).  Nothing in the catalogue reads it.
  uint8_t TreeFlag = 0;
};

}  // namespace instkit

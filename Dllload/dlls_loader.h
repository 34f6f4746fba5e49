// TDllsLoader: drives the subsystem libraries of a catalogue handed over as a
// flat tree image (a node record whose children are the subsystems to drive).
// It rebuilds a private TSysTree from the image, gives each library the
// address of its own child record inside the caller's image (null for a
// subsystem without children), and writes each library's result into the
// Checked byte (offset 8) of that record.  A subsystem library can drive its
// own child subsystems with this class on the block it received.
//
// Calling order: run fields and SetRegim, SetPointer(image), LoadDLLs, SetAll,
// AskAll, PerformAll, UnLoadDLLs; then read the Checked bytes of the image's
// top-level records.  The image must stay valid, at the same address, until
// then.  SetPointer only while Handles is empty (it frees the nodes the
// records point to).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Dllload/custom_dll_loader.h"
#include "host/base/export.h"

namespace instkit {

class TSysTree;

class INSTKIT_API TDllsLoader : public TCustomDLLLoader {
 public:
  TDllsLoader();
  ~TDllsLoader() override;

  // The image last given to SetPointer; not owned.  Null until then.
  void* TreeImage = nullptr;
  // Its size when the caller told it (the sized SetPointer); 0 = unknown, the
  // block is then trusted as SaveToPointer wrote it.
  size_t TreeImageSize = 0;

  // Rebuilds the private tree from the image at P; FALSE for null or an image
  // that cannot be read (the tree then holds what was read).  TreeImage <- P
  // in every case.  The sized form never reads outside Size bytes.
  bool SetPointer(void* P);
  bool SetPointer(void* P, size_t Size);
  // The Index-th top-level record inside TreeImage, or null.
  void* GetPointer(int32_t Index) const;
  // Writes Value into the Checked byte of the record at P; null does nothing.
  static void SetChecked(void* P, bool Value);
  // TRUE without an image; otherwise TRUE when the image's root record is not
  // marked installed (its IsInst byte is 0).
  bool NeedSelfInstall() const;

  uint8_t SetAll() override;
  void AskAll() override;
  uint8_t PerformAll() override;

  TSysTree& Tree() const { return *tree_; }

 protected:
  const TPhaseStyle& Style() const override;
  void* TreeImageFor(int32_t index) override;
  void BeginPerformTurn(int32_t index) override;
  void SetPerformResult(int32_t index, bool done) override;
  bool PerformResult(int32_t index) const override;

 private:
  // The record of the perform turn under way inside TreeImage, or null.
  int32_t turn_index_ = -1;
  void* turn_record_ = nullptr;
  std::unique_ptr<TSysTree> tree_;
};

}  // namespace instkit

// TDllLoader: drives the subsystem libraries of a catalogue that the host
// holds as live objects (SysTree, assigned and owned by the host).  For each
// top-level subsystem it builds a private flat tree image, hands it to the
// library through "SetTreePointer", and keeps each library's result in the
// subsystem's Info.Checked.  SetInstalled reads what the libraries wrote into
// their images back into the catalogue.
//
// Calling order: run fields and SetRegim, SysTree, LoadDLLs, SetAll, AskAll,
// PerformAll, SetInstalled, UnLoadDLLs, destroy.  SysTree must not change
// between LoadDLLs and UnLoadDLLs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "Dllload/custom_dll_loader.h"
#include "host/base/export.h"

namespace instkit {

class INSTKIT_API TDllLoader : public TCustomDLLLoader {
 public:
  // One flat tree image, exactly Node.GetSize bytes, owned.
  struct TImageBlock {
    std::unique_ptr<uint8_t[]> Data;
    size_t Size = 0;
  };

  TDllLoader() = default;
  ~TDllLoader() override = default;

  // Entry i belongs to record i of Handles; a null Data when no image was made.
  // Kept from SetAll until the next SetAll or destruction, so libraries may
  // write into their image until then.
  std::vector<TImageBlock> Images;

  uint8_t SetAll() override;
  void AskAll() override;
  uint8_t PerformAll() override;

  // Reads each non-null image back into its record's node (SetSysInstaled,
  // size-checked).  Failures are ignored; no log lines.
  void SetInstalled();

  // The image of record `index`, or null.
  void* GetImage(int32_t index) const;

 protected:
  const TPhaseStyle& Style() const override;
  void BeginSetup() override;
  void SetupSkipped(int32_t index) override;
  void* TreeImageFor(int32_t index) override;
  void NoTreePointer(int32_t index) override;
  void SetPerformResult(int32_t index, bool done) override;
  bool PerformResult(int32_t index) const override;
};

}  // namespace instkit

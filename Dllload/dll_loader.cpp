#include "Dllload/dll_loader.h"

#include "Syslist/sys_node.h"

namespace instkit {

const TCustomDLLLoader::TPhaseStyle& TDllLoader::Style() const {
  static const TPhaseStyle style = {
      .tree_refused = nullptr,  // the Russian operator text
      .before_ask = "before calling AskQuestions :",
      .log_missing_entry = false,
      .code_two = "abort installation",
      .ask_abort_skips_closing = false,
      .perform_open = "IN procedure PERFORMALL",
      .perform_close = "OUT procedure PERFORMALL",
      .failure_ends_perform = true,
      .progress_at_end_of_turn = true,
      .ask_only_when_not_done = true,
  };
  return style;
}

void* TDllLoader::GetImage(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= Images.size()) return nullptr;
  return Images[static_cast<size_t>(index)].Data.get();
}

uint8_t TDllLoader::SetAll() { return SetAllLoop(); }
void TDllLoader::AskAll() { AskAllLoop(); }
uint8_t TDllLoader::PerformAll() { return PerformAllLoop(); }

// Images keeps one entry per record handled, so entry i belongs to record i.
void TDllLoader::BeginSetup() { Images.clear(); }
void TDllLoader::SetupSkipped(int32_t) { Images.emplace_back(); }
void TDllLoader::NoTreePointer(int32_t) { Images.emplace_back(); }

void* TDllLoader::TreeImageFor(int32_t index) {
  const TSysNode& node = *Handles[static_cast<size_t>(index)]->Node;
  TImageBlock block;
  block.Size = static_cast<size_t>(node.GetSize());
  block.Data = std::make_unique<uint8_t[]>(block.Size);  // zeroed
  node.SaveToPointer(block.Data.get(), block.Size);
  void* address = block.Data.get();
  Images.push_back(std::move(block));
  return address;
}

void TDllLoader::SetPerformResult(int32_t index, bool done) {
  Handles[static_cast<size_t>(index)]->Node->Info->Checked = done;
}

bool TDllLoader::PerformResult(int32_t index) const { return Handles[static_cast<size_t>(index)]->Node->Info->Checked; }

void TDllLoader::SetInstalled() {
  for (size_t i = 0; i < Handles.size() && i < Images.size(); ++i) {
    const TImageBlock& block = Images[i];
    if (block.Data == nullptr) continue;
    try {
      Handles[i]->Node->SetSysInstaled(block.Data.get(), block.Size);
    } catch (...) {
      // A record that cannot be read back keeps its flags.
    }
  }
}

}  // namespace instkit

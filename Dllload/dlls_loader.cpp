#include "Dllload/dlls_loader.h"

#include "Syslist/flat_image.h"
#include "Syslist/sys_tree.h"

namespace instkit {

TDllsLoader::TDllsLoader() : tree_(std::make_unique<TSysTree>()) { SysTree = tree_.get(); }

TDllsLoader::~TDllsLoader() {
  // The records point into the private tree; drop them before it goes.
  ClearHndls();
  SysTree = nullptr;
}

bool TDllsLoader::SetPointer(void* P) { return SetPointer(P, 0); }

bool TDllsLoader::SetPointer(void* P, size_t Size) {
  bool result = false;
  try {
    tree_->ClearNodes();
    if (P != nullptr) result = Size > 0 ? tree_->LoadFrompointer(P, Size) : tree_->LoadFrompointer(P);
  } catch (...) {
    result = false;
  }
  TreeImage = P;
  TreeImageSize = Size;
  return result;
}

void* TDllsLoader::GetPointer(int32_t Index) const {
  if (Index < 0 || Index >= tree_->Count) return nullptr;
  try {
    return TreeImageSize > 0 ? TCustomSysNode::GetPointer(Index, TreeImage, TreeImageSize)
                             : TCustomSysNode::GetPointer(Index, TreeImage);
  } catch (...) {
    return nullptr;
  }
}

void TDllsLoader::SetChecked(void* P, bool Value) {
  if (P == nullptr) return;
  static_cast<uint8_t*>(P)[kImageCheckedOffset] = Value ? 1 : 0;
}

bool TDllsLoader::NeedSelfInstall() const {
  if (TreeImage == nullptr) return true;
  if (TreeImageSize > 0 && TreeImageSize <= static_cast<size_t>(kImageIsInstOffset)) return true;
  return static_cast<const uint8_t*>(TreeImage)[kImageIsInstOffset] == 0;
}

const TCustomDLLLoader::TPhaseStyle& TDllsLoader::Style() const {
  static const TPhaseStyle style = {
      .tree_refused = "error receiving subsystems tree",
      .before_ask = " before calling AskQuestions :",
      .log_missing_entry = true,
      .code_two = "user abort installation",
      .ask_abort_skips_closing = true,
      .perform_open = "IN function PERFORMALL",
      .perform_close = "OUT function PERFORMALL",
      .failure_ends_perform = false,
      .progress_at_end_of_turn = false,
      .ask_only_when_not_done = false,
  };
  return style;
}

uint8_t TDllsLoader::SetAll() { return SetAllLoop(); }
void TDllsLoader::AskAll() { AskAllLoop(); }
uint8_t TDllsLoader::PerformAll() { return PerformAllLoop(); }

// A subsystem without children gets null: its record holds nothing for it.
void* TDllsLoader::TreeImageFor(int32_t index) {
  return Handles[static_cast<size_t>(index)]->Node->Count > 0 ? GetPointer(index) : nullptr;
}

// Every turn starts by clearing the record's byte, so a record the loop
// passes over ends not done.
void TDllsLoader::BeginPerformTurn(int32_t index) {
  turn_index_ = index;
  turn_record_ = GetPointer(index);
  SetChecked(turn_record_, false);
}

void TDllsLoader::SetPerformResult(int32_t, bool done) { SetChecked(turn_record_, done); }

bool TDllsLoader::PerformResult(int32_t index) const {
  const void* record = index == turn_index_ ? turn_record_ : GetPointer(index);
  return record != nullptr && static_cast<const uint8_t*>(record)[kImageCheckedOffset] != 0;
}

}  // namespace instkit

// Example subsystem library "nested": installs its child subsystems by
// driving their libraries with TDllsLoader on the image it received, and
// reports their results through the Checked bytes of their records in that
// image (the flat-image driver writes them; the parent's driver reads them
// back with SetInstalled).
//
// Perform answers 1 when every child was done, 0 otherwise.  UserAbort is
// passed on to the children while they run.  Several subsystems may name this
// file: it keeps one configuration per record (examples/common/record_queue.h).
#include <mutex>
#include <string>

#include "Dllload/dlls_loader.h"
#include "Dllload/subsystem_api.h"
#include "common/record_queue.h"
#include "Syslist/flat_image.h"
#include "Syslist/sys_node.h"

namespace {

struct TRecordConfig {
  InstkitLogCallback log = nullptr;
  InstkitProgressCallback progress = nullptr;
  void* image = nullptr;
  int32_t mode = 0, level = 0, client = 0;
  std::string path, session;
};

instkit_examples::TRecordQueue<TRecordConfig> g_records;

std::mutex g_running_mutex;
instkit::TDllsLoader* g_running = nullptr;  // the children's driver while it runs

// Runs `fill` on the record being set up.
template <typename Fill>
int32_t Set(Fill fill) {
  std::lock_guard<std::mutex> lock(g_records.mutex);
  fill(g_records.Setting());
  return INSTKIT_TRUE;
}

}  // namespace

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetLogCallBack(InstkitLogCallback callback) {
  std::lock_guard<std::mutex> lock(g_records.mutex);
  g_records.Open().log = callback;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetTreePointer(void* image) {
  // Null when the subsystem has no children: nothing to drive.
  return Set([image](TRecordConfig& r) { r.image = image; });
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetIUGRegim(int32_t mode) {
  return Set([mode](TRecordConfig& r) { r.mode = static_cast<uint8_t>(mode); });
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetQuestionsLevel(int32_t level) {
  return Set([level](TRecordConfig& r) { r.level = static_cast<uint8_t>(level); });
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetPath(const char* path) {
  return Set([path](TRecordConfig& r) { r.path = path; });
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetClientNumber(int32_t number) {
  return Set([number](TRecordConfig& r) { r.client = number; });
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetProgressCallBack(InstkitProgressCallback callback) {
  return Set([callback](TRecordConfig& r) { r.progress = callback; });
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetSessionName(const char* name) {
  return Set([name](TRecordConfig& r) { r.session = name; });
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL AskQuestions(void) {
  std::lock_guard<std::mutex> lock(g_records.mutex);
  instkit_examples::TRecordQueue<TRecordConfig>::TRef index;
  if (!g_records.NextToAsk(&index)) return INSTKIT_RESULT_FAILED;
  g_records.Answered(index, true);
  return INSTKIT_RESULT_DONE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL Perform(void) {
  TRecordConfig record;
  {
    std::lock_guard<std::mutex> lock(g_records.mutex);
    instkit_examples::TRecordQueue<TRecordConfig>::TRef index;
    if (!g_records.NextToPerform(&index)) return INSTKIT_RESULT_FAILED;
    record = g_records.At(index);
  }
  if (record.image == nullptr) return INSTKIT_RESULT_DONE;
  instkit::TDllsLoader loader;
  loader.LogCallBack = record.log;
  loader.ProgressCallBack = record.progress;
  loader.ClientNumber = record.client;
  loader.QuestionsLevel = static_cast<uint8_t>(record.level);
  loader.Path = record.path;
  loader.SessionName = record.session;
  loader.LogPrefix = "nested";
  loader.SetRegim(static_cast<uint8_t>(record.mode));
  // The block's own RestSize bounds the reading of the children's records.
  const int64_t size = instkit::FlatImageRecordSize(record.image, static_cast<size_t>(INT32_MAX));
  if (size <= 0 || !loader.SetPointer(record.image, static_cast<size_t>(size))) return INSTKIT_RESULT_FAILED;
  bool ok = loader.LoadDLLs();
  {
    std::lock_guard<std::mutex> lock(g_running_mutex);
    g_running = &loader;
  }
  bool performed = false;
  if (ok) ok = loader.SetAll() == INSTKIT_OUTCOME_COMPLETED;
  if (ok) {
    loader.AskAll();
    ok = loader.AskState == INSTKIT_OUTCOME_COMPLETED;
  }
  if (ok) {
    loader.PerformAll();
    performed = true;
  }
  {
    std::lock_guard<std::mutex> lock(g_running_mutex);
    g_running = nullptr;
  }
  const int32_t loaded = loader.GetCount();
  loader.UnLoadDLLs();
  // A child the driver never reached keeps the byte it was written with:
  // report it as not done.
  bool all_done = true;
  for (int32_t i = 0; i < loader.Tree().Count; ++i) {
    void* record = loader.GetPointer(i);
    if (record == nullptr) continue;
    uint8_t& checked = static_cast<uint8_t*>(record)[instkit::kImageCheckedOffset];
    if (!performed || i >= loaded) checked = 0;
    if (checked == 0) all_done = false;
  }
  return all_done ? INSTKIT_RESULT_DONE : INSTKIT_RESULT_FAILED;
}

INSTKIT_SUBSYSTEM_EXPORT void INSTKIT_CALL UserAbort(void) {
  std::lock_guard<std::mutex> lock(g_running_mutex);
  if (g_running != nullptr) g_running->Abort();
}

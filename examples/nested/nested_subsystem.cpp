// Example subsystem library "nested": installs its child subsystems by
// driving their libraries with TDllsLoader on the image it received, and
// reports their results through the Checked bytes of their records in that
// image (the flat-image driver writes them; the parent's driver reads them
// back with SetInstalled).
//
// Perform answers 1 when every child was done, 0 otherwise.  UserAbort is
// passed on to the children while they run.
#include <mutex>
#include <string>

#include "Dllload/dlls_loader.h"
#include "Dllload/subsystem_api.h"
#include "Syslist/flat_image.h"
#include "Syslist/sys_node.h"

namespace {

InstkitLogCallback g_log = nullptr;
InstkitProgressCallback g_progress = nullptr;
void* g_image = nullptr;
int32_t g_mode = 0, g_level = 0, g_client = 0;
std::string g_path, g_session;

std::mutex g_running_mutex;
instkit::TDllsLoader* g_running = nullptr;  // the children's driver while it runs

}  // namespace

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetLogCallBack(InstkitLogCallback callback) {
  g_log = callback;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetTreePointer(void* image) {
  g_image = image;  // null when the subsystem has no children: nothing to drive
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetIUGRegim(int32_t mode) {
  g_mode = static_cast<uint8_t>(mode);
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetQuestionsLevel(int32_t level) {
  g_level = static_cast<uint8_t>(level);
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetPath(const char* path) {
  g_path = path;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetClientNumber(int32_t number) {
  g_client = number;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetProgressCallBack(InstkitProgressCallback callback) {
  g_progress = callback;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetSessionName(const char* name) {
  g_session = name;
  return INSTKIT_TRUE;
}
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL AskQuestions(void) { return INSTKIT_RESULT_DONE; }

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL Perform(void) {
  if (g_image == nullptr) return INSTKIT_RESULT_DONE;
  instkit::TDllsLoader loader;
  loader.LogCallBack = g_log;
  loader.ProgressCallBack = g_progress;
  loader.ClientNumber = g_client;
  loader.QuestionsLevel = static_cast<uint8_t>(g_level);
  loader.Path = g_path;
  loader.SessionName = g_session;
  loader.LogPrefix = "nested";
  loader.SetRegim(static_cast<uint8_t>(g_mode));
  // The block's own RestSize bounds the reading of the children's records.
  const int64_t size = instkit::FlatImageRecordSize(g_image, static_cast<size_t>(INT32_MAX));
  if (size <= 0 || !loader.SetPointer(g_image, static_cast<size_t>(size))) return INSTKIT_RESULT_FAILED;
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

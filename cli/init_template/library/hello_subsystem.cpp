// The subsystem library "hello", made by `instkit init`: installs the files of
// the folder its subsystem names in "Parameter" into the run's target folder.
//
//   install    copies every file of the payload folder (sub-folders kept)
//   uninstall  removes the files the payload folder holds from the target
//   generate   logs what an install would copy
//
// The entry points and their calling order are described in
// <instkit/Dllload/subsystem_api.h>.  This library keeps one configuration, so
// let only one subsystem name it.
#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

#include "Dllload/subsystem_api.h"
#include "host/base/codepage.h"
#include "host/base/settings.h"

namespace fs = std::filesystem;

namespace {

InstkitLogCallback g_log = nullptr;
std::string g_payload;  // the subsystem's "Parameter", Windows-1251
std::string g_path;     // the target folder of the run
int g_mode = 0;
std::atomic<bool> g_abort{false};

void Log(const std::string& text) {
  if (g_log != nullptr) g_log((" hello: " + text).c_str());
}

// A relative payload folder is looked up in the description's folder first,
// then in the other library search folders.
fs::path PayloadFolder() {
  const fs::path payload(instkit::Cp1251ToUtf8(g_payload));
  if (payload.is_absolute()) return payload;
  for (const std::string& folder : instkit::Settings().LibrarySearchFolders()) {
    std::error_code ec;
    if (fs::is_directory(fs::path(folder) / payload, ec)) return fs::path(folder) / payload;
  }
  return payload;
}

// Exceptions must not leave an entry point: every file call takes an error code.
int32_t Work() {
  const fs::path source = PayloadFolder();
  std::error_code ec;
  fs::recursive_directory_iterator it(source, ec), end;
  if (ec) {
    Log("no payload folder " + source.string() + ": " + ec.message());
    return INSTKIT_RESULT_FAILED;
  }
  for (; it != end; it.increment(ec)) {
    if (g_abort.load()) return INSTKIT_RESULT_ABORT;
    if (!it->is_regular_file(ec)) continue;
    const fs::path relative = fs::relative(it->path(), source, ec);
    const fs::path target = fs::path(g_path) / relative;
    if (g_mode == INSTKIT_MODE_INSTALL) {
      fs::create_directories(target.parent_path(), ec);
      if (!fs::copy_file(it->path(), target, fs::copy_options::overwrite_existing, ec)) {
        Log("cannot copy " + relative.string() + ": " + ec.message());
        return INSTKIT_RESULT_FAILED;
      }
      Log("installed " + relative.string());
    } else if (g_mode == INSTKIT_MODE_UNINSTALL) {
      fs::remove(target, ec);
      Log("removed " + relative.string());
    } else {
      Log("would install " + relative.string());
    }
  }
  return ec ? INSTKIT_RESULT_FAILED : INSTKIT_RESULT_DONE;
}

}  // namespace

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetLogCallBack(InstkitLogCallback callback) {
  g_log = callback;
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetExternalParameter(const char* parameter) {
  g_payload = parameter;
  return g_payload.empty() ? INSTKIT_FALSE : INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetIUGRegim(int32_t mode) {
  g_mode = static_cast<uint8_t>(mode);
  return g_mode >= INSTKIT_MODE_INSTALL && g_mode <= INSTKIT_MODE_GENERATE ? INSTKIT_TRUE : INSTKIT_FALSE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetPath(const char* path) {
  g_path = path;
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL AskQuestions(void) { return INSTKIT_RESULT_DONE; }

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL Perform(void) { return Work(); }

INSTKIT_SUBSYSTEM_EXPORT void INSTKIT_CALL UserAbort(void) { g_abort.store(true); }

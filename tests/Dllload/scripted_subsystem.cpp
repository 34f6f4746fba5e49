// A subsystem library for the driver tests.  Its behaviour at every entry
// point comes from its "Parameter" text, a list of key=value items separated
// by ';':
//
//   id=NAME        name written in front of every recorded call (default "?")
//   record=FILE    append every call, with its arguments, to FILE
//   tree=0|1       answer of SetTreePointer (default 1)
//   param=0|1      answer of SetExternalParameter (default 1)
//   regim=0|1      answer of SetIUGRegim (default 1)
//   ask=N          code of AskQuestions (default 1)
//   perform=N      code of Perform (default 1)
//   throw=ENTRY    raise an instkit Exception("ETestFailure", "ENTRY failed")
//                  inside that entry point
//   checked=BB..   at Perform, store these bytes (0/1) in the Checked byte of
//                  the child records of its image, in child order
//   nested=1       at Perform, drive the libraries of its child subsystems
//                  with TDllsLoader on its image (same run fields, LogPrefix
//                  = id), then answer `perform`
//   worker=1       at Perform, run on a worker thread until UserAbort, log
//                  " worker started" through the log callback from the
//                  worker, and answer 2
//   crash=ENTRY    raise SIGSEGV inside that entry point
//   abort=ENTRY    call abort() inside it
//   exit=ENTRY     call exit(3) inside it
//   hang=ENTRY     never return from it
//   say=TEXT       at Perform, print TEXT and a line end on standard output
//   progress=N,T   at Perform, first report N percent with the text T
//                  through the host's progress callback
//
// SetLogCallBack and SetTreePointer come before the parameter: the library
// takes its parameter from its own record in the image when it gets one, and
// keeps the calls in memory until it knows where to record them.
//
// Every copy of the file is its own instance; the tests copy it once per
// subsystem.
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Dllload/dlls_loader.h"
#include "Dllload/subsystem_api.h"
#include "Syslist/flat_image.h"
#include "Syslist/sys_node.h"
#include "Syslist/sys_tree.h"
#include "host/base/exception.h"
#include "host/base/format.h"

namespace {

// The parameter's items; a key that is not there reads as "".
struct TScript {
  std::map<std::string, std::string> items;
  bool known = false;
  std::string operator[](const std::string& key) const {
    const auto found = items.find(key);
    return found == items.end() ? "" : found->second;
  }
  // An answer code: 1 unless the script gives one.
  int Code(const std::string& key) const { return items.count(key) != 0 ? std::stoi(items.at(key)) : 1; }
  std::string Id() const { return items.count("id") != 0 ? items.at("id") : "?"; }
};

std::mutex g_mutex;
TScript g_script;
std::vector<std::string> g_pending;
InstkitLogCallback g_log = nullptr;
InstkitProgressCallback g_progress = nullptr;
void* g_image = nullptr;
int32_t g_mode = 0, g_level = 0, g_client = 0;
std::string g_path, g_session;
std::atomic<bool> g_abort{false};

TScript Parse(const std::string& text) {
  TScript s;
  s.known = true;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find(';', start), text.size());
    const std::string item = text.substr(start, end - start);
    if (const size_t eq = item.find('='); eq != std::string::npos) s.items[item.substr(0, eq)] = item.substr(eq + 1);
    start = end + 1;
  }
  return s;
}

void AppendLines(const std::string& file, const std::vector<std::string>& lines) {
  if (file.empty()) return;
  std::FILE* f = std::fopen(file.c_str(), "ab");
  if (f == nullptr) return;
  for (const std::string& line : lines) std::fprintf(f, "%s\n", line.c_str());
  std::fclose(f);
}

void Learn(const std::string& parameter) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_script.known) return;
  g_script = Parse(parameter);
  for (std::string& call : g_pending) call = g_script.Id() + " " + call;
  AppendLines(g_script["record"], g_pending);
  g_pending.clear();
}

void Record(const std::string& call) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_script.known) {
    g_pending.push_back(call);
    return;
  }
  AppendLines(g_script["record"], {g_script.Id() + " " + call});
}

// Records "ENTRY DETAILS" (or "ENTRY"), then fails as scripted for ENTRY.
void Call(const std::string& entry, const char* details = nullptr) {
  Record(details != nullptr ? entry + " " + details : entry);
  TScript s;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    s = g_script;
  }
  if (s["throw"] == entry) throw instkit::Exception("ETestFailure", entry + " failed");
  if (s["crash"] == entry) std::raise(SIGSEGV);
  if (s["abort"] == entry) std::abort();
  if (s["exit"] == entry) std::exit(3);
  while (s["hang"] == entry) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

const char* Set(const void* p) { return p != nullptr ? "set" : "null"; }

#ifndef INSTKIT_TEST_NO_PERFORM
int32_t RunNested() {
  instkit::TDllsLoader loader;
  loader.LogCallBack = g_log;
  loader.ProgressCallBack = g_progress;
  loader.ClientNumber = g_client;
  loader.QuestionsLevel = static_cast<uint8_t>(g_level);
  loader.Path = g_path;
  loader.SessionName = g_session;
  loader.LogPrefix = g_script.Id();
  loader.SetRegim(static_cast<uint8_t>(g_mode));
  loader.SetPointer(g_image);
  loader.LoadDLLs();
  const uint8_t set = loader.SetAll();
  loader.AskAll();
  const uint8_t perform = loader.PerformAll();
  loader.UnLoadDLLs();
  Record(instkit::Format("nested set=%d ask=%d perform=%d", set, loader.AskState, perform));
  return g_script.Code("perform");
}
#endif

}  // namespace

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetLogCallBack(InstkitLogCallback callback) {
  Call("SetLogCallBack", Set(reinterpret_cast<const void*>(callback)));
  g_log = callback;
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetTreePointer(void* image) {
  g_image = image;
  std::string seen = "null";
  if (image != nullptr) {
    instkit::TSysNode own;
    const int64_t size = instkit::FlatImageRecordSize(image, static_cast<size_t>(INT32_MAX));
    seen = "unreadable";
    if (size > 0 && own.LoadFromPointer(image, static_cast<size_t>(size)) > 0) {
      Learn(own.Info->Parameter);
      seen = instkit::Format("image children=%d", own.Count);
    }
  }
  Call("SetTreePointer", seen.c_str());
  return g_script.known ? g_script.Code("tree") : INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetExternalParameter(const char* parameter) {
  Learn(parameter);
  Call("SetExternalParameter", parameter);
  return g_script.Code("param");
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetIUGRegim(int32_t mode) {
  g_mode = static_cast<uint8_t>(mode);
  Call("SetIUGRegim", std::to_string(g_mode).c_str());
  return g_script.Code("regim");
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetQuestionsLevel(int32_t level) {
  g_level = static_cast<uint8_t>(level);
  Call("SetQuestionsLevel", std::to_string(g_level).c_str());
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetPath(const char* path) {
  g_path = path;
  Call("SetPath", path);
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetClientNumber(int32_t number) {
  g_client = number;
  Call("SetClientNumber", std::to_string(number).c_str());
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetProgressCallBack(InstkitProgressCallback callback) {
  g_progress = callback;
  Call("SetProgressCallBack", Set(reinterpret_cast<const void*>(callback)));
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetSessionName(const char* name) {
  g_session = name;
  Call("SetSessionName", name);
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetHideProgressCallBack(InstkitHideProgressCallback callback) {
  Call("SetHideProgressCallBack", Set(reinterpret_cast<const void*>(callback)));
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL SetShowProgressCallBack(InstkitShowProgressCallback callback) {
  Call("SetShowProgressCallBack", Set(reinterpret_cast<const void*>(callback)));
  return INSTKIT_TRUE;
}

INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL AskQuestions(void) {
  Call("AskQuestions");
  return g_script.Code("ask");
}

#ifndef INSTKIT_TEST_NO_PERFORM
INSTKIT_SUBSYSTEM_EXPORT int32_t INSTKIT_CALL Perform(void) {
  Call("Perform");
  const int64_t size = g_image == nullptr ? 0 : instkit::FlatImageRecordSize(g_image, static_cast<size_t>(INT32_MAX));
  const std::string checked = g_script["checked"], say = g_script["say"], progress = g_script["progress"];
  for (size_t i = 0; size > 0 && i < checked.size(); ++i) {
    void* child = instkit::TCustomSysNode::GetPointer(static_cast<int32_t>(i), g_image, static_cast<size_t>(size));
    if (child != nullptr) static_cast<uint8_t*>(child)[8] = static_cast<uint8_t>(checked[i] - '0');
  }
  if (!say.empty()) std::printf("%s\n", say.c_str());
  if (!progress.empty() && g_progress != nullptr) {
    const size_t comma = progress.find(',');
    g_progress(std::atoi(progress.c_str()), comma == std::string::npos ? "" : progress.c_str() + comma + 1, 0);
  }
  if (g_script["nested"] == "1") return RunNested();
  if (g_script["worker"] == "1") {
    std::thread worker([] {
      if (g_log != nullptr) g_log(" worker started");
      while (!g_abort.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    worker.join();
    Record("Perform aborted by UserAbort");
    return INSTKIT_RESULT_ABORT;
  }
  return g_script.Code("perform");
}
#endif

INSTKIT_SUBSYSTEM_EXPORT void INSTKIT_CALL UserAbort(void) {
  g_abort.store(true);
  Call("UserAbort");
}

INSTKIT_SUBSYSTEM_EXPORT void INSTKIT_CALL UserSuspendThread(void) { Call("UserSuspendThread"); }

INSTKIT_SUBSYSTEM_EXPORT void INSTKIT_CALL UserResumeThread(void) { Call("UserResumeThread"); }

#include "host/db/application_manager.h"

namespace instkit {

TApplicationManager* BaseMng = nullptr;

TApplicationManager::~TApplicationManager() = default;

namespace {
[[noreturn]] void NotSupported(const char* what) {
  throw ETableAborted("Exception", std::string(what) + " is not supported by this database engine");
}
}  // namespace

void TApplicationManager::BeginWrite() { NotSupported("A transaction of the caller's"); }
void TApplicationManager::CommitWrite() { NotSupported("A transaction of the caller's"); }
void TApplicationManager::RollbackWrite() { NotSupported("A transaction of the caller's"); }
void TApplicationManager::CreateTableIfMissing(const std::string&, const std::string&, const TRecord&) {
  NotSupported("Creating tables");
}

}  // namespace instkit

#include "host/db/application_manager.h"

namespace instkit {

TApplicationManager* BaseMng = nullptr;

TApplicationManager::~TApplicationManager() = default;

}  // namespace instkit

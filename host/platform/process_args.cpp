#include "host/platform/process_args.h"

#include "host/base/settings.h"

namespace instkit {

int32_t PlatformProcessArgumentCount();  // host/<os>/process_args_<os>.cpp

int32_t ProcessArgumentCount() {
  const std::optional<int32_t> forced = Settings().ArgumentCountOverride();
  return forced ? *forced : PlatformProcessArgumentCount();
}

}  // namespace instkit

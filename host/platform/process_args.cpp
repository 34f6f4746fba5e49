#include "host/platform/process_args.h"

#include <atomic>

namespace instkit {

int32_t PlatformProcessArgumentCount();  // host/<os>/process_args_<os>.cpp

namespace {
constexpr int32_t kNoOverride = -1;
std::atomic<int32_t> g_override{kNoOverride};
}  // namespace

int32_t ProcessArgumentCount() {
  const int32_t forced = g_override.load();
  return forced != kNoOverride ? forced : PlatformProcessArgumentCount();
}

void OverrideProcessArgumentCount(int32_t count) { g_override.store(count < 0 ? 0 : count); }
void ResetProcessArgumentCount() { g_override.store(kNoOverride); }

}  // namespace instkit

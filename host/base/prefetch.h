// A hint to bring memory into the processor's cache before it is read, for
// loops whose next accesses are known but scattered (large catalogues).  It
// never faults and changes no result; compilers without the builtin ignore
// it.
#pragma once

namespace instkit {

inline void Prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

}  // namespace instkit

#include "host/stream.h"

#include "host/format.h"

namespace instkit {

void TStream::ReadBuffer(void* dst, size_t n) {
  const int64_t at = Position();
  const size_t got = Read(dst, n);
  if (got != n) {
    throw EStreamError(Format("%s: read of %zu bytes at offset %lld ended after %zu bytes", Describe().c_str(), n,
                              static_cast<long long>(at), got));
  }
}

}  // namespace instkit

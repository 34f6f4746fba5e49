// Stand-ins for builds without libarchive and xxHash (the Windows cross
// builds: Debian ships no MinGW build of either).  The engine still builds
// and runs there; every archive fails to unpack with a sentence saying why,
// and packing or hashing raises the same.
#include "Media/content_hash.h"
#include "Media/media_pack.h"
#include "Media/unpacker.h"
#include "host/base/exception.h"

namespace instkit {

namespace {
constexpr const char* kWhy = "this build of instkit cannot unpack or pack archives (it was built without libarchive)";
}  // namespace

bool UnpackingAvailable() { return false; }

TUnpackResult UnpackArchive(const std::string&, TUnpackJournal&, const TUnpackLimits&, const TUnpackProgress&) {
  TUnpackResult result;
  result.error = kWhy;
  return result;
}

TPackFormat PackFormatOf(const std::string& archive_name) {
  TPackFormat format;
  format.stem = archive_name;
  format.error = kWhy;
  return format;
}

TPackResult PackFolder(const std::string&, const std::string&, const TPackFormat&) {
  TPackResult result;
  result.error = kWhy;
  return result;
}

struct TContentHash::TState {};
TContentHash::TContentHash() { throw Exception(kWhy); }
TContentHash::~TContentHash() = default;
void TContentHash::Update(const void*, size_t) {}
std::string TContentHash::Hex() const { return std::string(); }
std::string HashFile(const std::string&, uint64_t*) { throw Exception(kWhy); }

}  // namespace instkit

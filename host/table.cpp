#include "host/table.h"

namespace instkit {

TTable::~TTable() = default;

}  // namespace instkit

#include "host/db/table.h"

#include <algorithm>

namespace instkit {

TTable::~TTable() = default;

void TTable::InsertValues(const TRecord& values) {
  const int32_t count = CurrentRecord.GetFieldCount();
  const int32_t shared = std::min(count, values.GetFieldCount());
  // Clearing only the fields beyond the shared ones keeps the text buffers
  // of the others for the next row.
  for (int32_t i = shared; i < count; ++i) CurrentRecord.GetFields(i)->Clear();
  for (int32_t i = 0; i < shared; ++i) CurrentRecord.GetFields(i)->SetValue(values.GetFields(i)->GetValue());
  InsertRow();
}

}  // namespace instkit

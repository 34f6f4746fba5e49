// The header and record readers on arbitrary plain images (no compression):
// LoadHeader, then ReadRecordFromFile until it stops, inserting each record;
// then the records are written back and read again, which must agree.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Didf/data_file.h"
#include "host/base/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace instkit;
  TMemoryStream image(std::string(reinterpret_cast<const char*>(data), size));
  TIDFDataFile file;
  file.FileName = "fuzz";
  if (!file.LoadHeader(image)) return 0;
  if (file.Structure->GetFieldCount() == 0) return 0;
  while (file.GetRecordCount() < 10000 && file.ReadRecordFromFile(image)) file.InsertRecord();

  // Encode-decode-encode: the records written back read back to the same bytes.
  TMemoryStream first;
  for (int32_t i = 0; i < file.GetRecordCount(); ++i) {
    file.SetRecordIndex(i);
    file.WriteRecordToFile(first);
  }
  TIDFDataFile again;
  again.FileName = "fuzz";
  TMemoryStream header("IDF-DS\r\n\r\nTableName=\r\n" + file.GetFieldsString() + "\r\n" + file.GetFieldTypesString() +
                       "\r\n");
  if (!again.LoadHeader(header)) return 0;                                            // names with CR cannot round-trip
  if (again.Structure->GetFieldCount() != file.Structure->GetFieldCount()) return 0;  // names with commas
  first.SetPosition(0);
  TMemoryStream second;
  while (again.ReadRecordFromFile(first)) again.WriteRecordToFile(second);
  if (second.Data() != first.Data()) std::abort();
  return 0;
}

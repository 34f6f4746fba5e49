// Helpers shared by the data-file tests: plain images of data files, rows,
// the state a fault leaves, and a recording progress function.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "Didf/data_file.h"
#include "host/compress/compressor.h"
#include "host/db/sqlite_db.h"
#include "host/platform/file.h"
#include "host/platform/file_stream.h"
#include "host/base/memory_stream.h"
#include "support/temp_dir.h"

namespace instkit::testing {

// The plain image inside a data file.
inline std::string PlainImageOf(const std::string& path) {
  TFileReadStream file(path);
  TMemoryStream image;
  TCompressor compressor;
  compressor.SetChecksum(true);
  compressor.SetSource(&file);
  compressor.SetDestination(&image);
  compressor.Decompress();
  return image.Data();
}

// Writes a plain image as a data file.
inline void WriteDataFile(const std::string& path, const std::string& plain) {
  TMemoryStream image(plain);
  TFileWriteStream file(path);
  TIDFDataFile::CompressStream(image, file);
  file.Commit();
}

// `count` records of the fields N,S: i and "row i" followed by `pad`.
inline void FillRows(TIDFDataFile& data, int count, const std::string& pad = "") {
  data.CreateFields("N,S", "INTEGER,STRING");
  for (int i = 0; i < count; ++i) {
    data.Structure->GetFields(0)->SetAsInteger(i);
    data.Structure->GetFields(1)->SetAsString("row " + std::to_string(i) + pad);
    data.InsertRecord();
  }
}

// The rows of `table` when the SQLite database passes its integrity check,
// -1 otherwise.
inline int64_t SoundRows(const std::string& path, const std::string& table) {
  TSqliteDb db(path, false);
  TSqliteStatement check = db.Prepare("PRAGMA integrity_check");
  TSqliteStatement count = db.Prepare("SELECT count(*) FROM " + table);
  return check.Step() && check.ColumnText(0) == "ok" && count.Step() ? count.ColumnInt64(0) : -1;
}

// Whether a writer's temporary file is left in `folder`.
inline bool TemporaryLeft(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().string().find(".tmp-") != std::string::npos) return true;
  }
  return false;
}

// Records every call of the progress function; answers "stop" at the call
// numbered stop_at (1-based), go on otherwise.
struct ProgressLog {
  static inline std::vector<int> percents;
  static inline std::vector<std::string> texts;
  static inline int stop_at = 0;
  static int32_t Callback(int32_t percent, const char* text, int32_t reserved) {
    percents.push_back(percent);
    texts.push_back(text);
    if (reserved != 0) return 0;
    return static_cast<int>(percents.size()) == stop_at ? 0x100 : 1;  // only the low byte counts
  }
  static void Attach(TIDFDataFile& data, int stop = 0) {
    percents.clear();
    texts.clear();
    stop_at = stop;
    data.SetCallBack(reinterpret_cast<intptr_t>(&Callback));
  }
};

}  // namespace instkit::testing

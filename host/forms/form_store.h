// The form store: form-manager trees kept in an SQLite database, one row per
// form key.  A key is the four settings a form manager is given (index, name
// and two texts); each row holds the form's branch stream
// (host/forms/branch_stream_format.h).
//
//   CREATE TABLE dsp_forms (
//     form_index INTEGER NOT NULL,
//     form_name  BLOB NOT NULL,      -- Windows-1251 bytes, compared exactly
//     form_group BLOB NOT NULL,
//     form_owner BLOB NOT NULL,
//     tree       BLOB NOT NULL,      -- branch stream of the root node
//     PRIMARY KEY (form_index, form_name, form_group, form_owner))
//
// Texts are stored as blobs so that 8-bit names survive byte for byte.  The
// table may share a database with other host tables; the format of the tree
// blobs carries its own version.  Failures raise Exception("ESQLiteError") from the
// SQLite layer or EFormStoreError.  One object per thread; separate objects
// (or processes) on one file are serialised by SQLite.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/base/exception.h"
#include "host/base/export.h"

namespace instkit {

class TSqliteDb;

class EFormStoreError : public Exception {
 public:
  explicit EFormStoreError(std::string message) : Exception("EFormStoreError", std::move(message)) {}
};

struct TFormKey {
  int32_t FormIndex = 0;
  std::string FormName;
  std::string FormGroup;
  std::string FormOwner;
};

struct TFormStoreEntry {
  TFormKey Key;
  int64_t TreeBytes = 0;
};

class INSTKIT_API TFormStore {
 public:
  // Opens the database; with `create` a missing file is created with the
  // table.  Raises when the file cannot be opened or is not a form store.
  TFormStore(const std::string& path, bool create);
  ~TFormStore();
  TFormStore(const TFormStore&) = delete;
  TFormStore& operator=(const TFormStore&) = delete;

  // The stored branch stream of a form; false when no row has that key.
  bool Read(const TFormKey& key, std::string* tree) const;
  // Inserts or replaces the row of a form.
  void Write(const TFormKey& key, const std::string& tree);
  // False when no row had that key.
  bool Remove(const TFormKey& key);
  // Every stored form, ordered by index, name, group and owner.
  std::vector<TFormStoreEntry> List() const;

 private:
  std::unique_ptr<TSqliteDb> db_;
};

}  // namespace instkit

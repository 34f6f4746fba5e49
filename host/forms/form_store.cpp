#include "host/forms/form_store.h"

#include "host/base/format.h"
#include "host/db/sqlite_db.h"

namespace instkit {

namespace {
constexpr char kCreateTable[] =
    "CREATE TABLE IF NOT EXISTS dsp_forms ("
    " form_index INTEGER NOT NULL,"
    " form_name BLOB NOT NULL,"
    " form_group BLOB NOT NULL,"
    " form_owner BLOB NOT NULL,"
    " tree BLOB NOT NULL,"
    " PRIMARY KEY (form_index, form_name, form_group, form_owner))";

constexpr char kKeyCondition[] = "form_index = ?1 AND form_name = ?2 AND form_group = ?3 AND form_owner = ?4";

void BindKey(TSqliteStatement& statement, const TFormKey& key) {
  statement.BindInt64(1, key.FormIndex);
  statement.BindBlob(2, key.FormName.data(), key.FormName.size());
  statement.BindBlob(3, key.FormGroup.data(), key.FormGroup.size());
  statement.BindBlob(4, key.FormOwner.data(), key.FormOwner.size());
}
}  // namespace

TFormStore::TFormStore(const std::string& path, bool create) : db_(std::make_unique<TSqliteDb>(path, create)) {
  auto tables = db_->Prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'dsp_forms'");
  const bool has_table = tables.Step() && tables.ColumnInt64(0) > 0;
  if (has_table) return;
  if (!create) throw EFormStoreError(Format("'%s' is not a form store (it has no table dsp_forms)", path.c_str()));
  db_->Exec(kCreateTable);
}

TFormStore::~TFormStore() = default;

bool TFormStore::Read(const TFormKey& key, std::string* tree) const {
  auto query = db_->Prepare(std::string("SELECT tree FROM dsp_forms WHERE ") + kKeyCondition);
  BindKey(query, key);
  if (!query.Step()) return false;
  *tree = query.ColumnBlob(0);
  return true;
}

void TFormStore::Write(const TFormKey& key, const std::string& tree) {
  auto insert = db_->Prepare(
      "INSERT OR REPLACE INTO dsp_forms (form_index, form_name, form_group, form_owner, tree)"
      " VALUES (?1, ?2, ?3, ?4, ?5)");
  BindKey(insert, key);
  insert.BindBlob(5, tree.data(), tree.size());
  insert.Step();
}

bool TFormStore::Remove(const TFormKey& key) {
  auto remove = db_->Prepare(std::string("DELETE FROM dsp_forms WHERE ") + kKeyCondition);
  BindKey(remove, key);
  remove.Step();
  auto changes = db_->Prepare("SELECT changes()");
  return changes.Step() && changes.ColumnInt64(0) > 0;
}

std::vector<TFormStoreEntry> TFormStore::List() const {
  auto query = db_->Prepare(
      "SELECT form_index, form_name, form_group, form_owner, length(tree) FROM dsp_forms"
      " ORDER BY form_index, form_name, form_group, form_owner");
  std::vector<TFormStoreEntry> entries;
  while (query.Step()) {
    TFormStoreEntry entry;
    entry.Key.FormIndex = static_cast<int32_t>(query.ColumnInt64(0));
    entry.Key.FormName = query.ColumnBlob(1);
    entry.Key.FormGroup = query.ColumnBlob(2);
    entry.Key.FormOwner = query.ColumnBlob(3);
    entry.TreeBytes = query.ColumnInt64(4);
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace instkit

#include "host/platform/registry.h"

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <memory>

#include "host/base/exception.h"
#include "host/platform/file.h"
#include "host/base/format.h"
#include "host/db/sqlite_db.h"
#include "host/base/text.h"
#include "host/platform/user_dirs.h"

namespace instkit {

// Statements prepared once per store and reset before each use.
struct TRegistryStatements {
  explicit TRegistryStatements(TSqliteDb& db) : db_(db) {}
  TSqliteStatement& Get(const char* sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) it = cache_.emplace(sql, std::make_unique<TSqliteStatement>(db_.Prepare(sql))).first;
    it->second->Reset();
    return *it->second;
  }

 private:
  TSqliteDb& db_;
  std::map<std::string, std::unique_ptr<TSqliteStatement>> cache_;
};

namespace {

// Schema version 1.  Both tables compare names with NOCASE, which folds the
// ASCII letters only, as the registry's case rule wants.
const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS reg_keys("
    "  path TEXT NOT NULL PRIMARY KEY COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS reg_values("
    "  key TEXT NOT NULL COLLATE NOCASE,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  data TEXT NOT NULL,"
    "  PRIMARY KEY(key, name));"
    "PRAGMA user_version = 1;";

// Several statements as one write transaction; rolled back unless Commit().
// Inside the caller's update it is that update's part and does nothing.
class TTransaction {
 public:
  TTransaction(TSqliteDb& db, bool in_update) : db_(db), done_(in_update) {
    if (!in_update) db_.Exec("BEGIN IMMEDIATE");
  }
  ~TTransaction() {
    if (!done_) {
      try {
        db_.Exec("ROLLBACK");
      } catch (...) {
        // The failure that brought us here is the one worth reporting.
      }
    }
  }
  void Commit() {
    if (done_) return;
    db_.Exec("COMMIT");
    done_ = true;
  }

 private:
  TSqliteDb& db_;
  bool done_;
};

// True when `path` lies strictly below `parent` (ASCII case ignored).
bool IsBelow(const std::string& path, const std::string& parent) {
  if (parent.empty()) return !path.empty();
  return path.size() > parent.size() + 1 && path[parent.size()] == '\\' &&
         AsciiEqualNoCase(std::string_view(path).substr(0, parent.size()), parent);
}

}  // namespace

std::string TRegistry::DefaultPath() {
  const std::string state = UserStateDirectory();
  if (state.empty()) return std::string();
  return state + "/instkit/registry.db";
}

bool TRegistry::StoreExists(const std::string& path) { return !path.empty() && FileExists(path); }

std::string TRegistry::StoreFolder(const std::string& path) {
  std::error_code code;
  const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), code);
  return code ? DirectoryOf(path) : absolute.parent_path().string();
}

TRegistry::TRegistry(const std::string& path) : path_(path) {
  if (path.empty()) throw Exception("ERegistryException", "No registry file given");
  const std::string folder = DirectoryOf(path);
  if (!folder.empty()) EnsureDirectory(folder);
  db_ = std::make_unique<TSqliteDb>(path, true);
  db_->Exec("PRAGMA synchronous = FULL");
  db_->Exec(kSchema);
  statements_ = std::make_shared<TRegistryStatements>(*db_);
}

TRegistry::~TRegistry() {
  if (in_update_) {
    try {
      CancelUpdate();
    } catch (...) {
      // Closing the store rolls the transaction back anyway.
    }
  }
}

void TRegistry::BeginUpdate() {
  if (in_update_) throw Exception("ERegistryException", "Registry '" + path_ + "': an update is already open");
  db_->Exec("BEGIN IMMEDIATE");
  in_update_ = true;
}

void TRegistry::EndUpdate() {
  if (!in_update_) return;
  in_update_ = false;
  try {
    db_->Exec("COMMIT");
  } catch (...) {
    // A commit that failed (a full disk) may leave the transaction open:
    // drop it, so the store stays as it was.
    try {
      db_->Exec("ROLLBACK");
    } catch (...) {
    }
    throw;
  }
}

void TRegistry::CancelUpdate() {
  if (!in_update_) return;
  in_update_ = false;
  db_->Exec("ROLLBACK");
}

bool TRegistry::OpenKey(const std::string& key, bool can_create) {
  const std::string wanted = NormaliseRegistryKey(key);
  if (wanted.empty()) return false;
  auto& find = statements_->Get("SELECT path FROM reg_keys WHERE path = ?1");
  find.BindText(1, wanted);
  const bool found = find.Step();
  if (found) current_key_ = find.ColumnText(0);
  find.Reset();  // a statement left open would hold the store's read lock
  if (found || !can_create) return found;
  // The key and each missing parent, in one transaction.  A part that
  // exists keeps the spelling it was made with ("B\\y" under "b" is "b\\y"),
  // as the Windows registry does.
  TTransaction transaction(*db_, in_update_);
  auto& insert = statements_->Get("INSERT INTO reg_keys(path) VALUES(?1)");
  std::string spelled;
  for (size_t start = 0; start <= wanted.size();) {
    size_t end = wanted.find('\\', start);
    if (end == std::string::npos) end = wanted.size();
    std::string path = spelled.empty() ? wanted.substr(0, end) : spelled + wanted.substr(start - 1, end - start + 1);
    find.BindText(1, path);
    if (find.Step()) {
      path = find.ColumnText(0);
    } else {
      insert.BindText(1, path);
      insert.Step();
      insert.Reset();
    }
    find.Reset();
    spelled = std::move(path);
    start = end + 1;
  }
  transaction.Commit();
  current_key_ = spelled;
  return true;
}

bool TRegistry::KeyExists(const std::string& key) {
  const std::string wanted = NormaliseRegistryKey(key);
  if (wanted.empty()) return false;
  auto find = db_->Prepare("SELECT 1 FROM reg_keys WHERE path = ?1");
  find.BindText(1, wanted);
  return find.Step();
}

bool TRegistry::DeleteKey(const std::string& key) {
  const std::string wanted = NormaliseRegistryKey(key);
  if (wanted.empty() || !KeyExists(wanted)) return false;
  std::vector<std::string> doomed;
  for (const std::string& path : GetAllKeyPaths()) {
    if (AsciiEqualNoCase(path, wanted) || IsBelow(path, wanted)) doomed.push_back(path);
  }
  TTransaction transaction(*db_, in_update_);
  auto drop_values = db_->Prepare("DELETE FROM reg_values WHERE key = ?1");
  auto drop_key = db_->Prepare("DELETE FROM reg_keys WHERE path = ?1");
  for (const std::string& path : doomed) {
    drop_values.BindText(1, path);
    drop_values.Step();
    drop_values.Reset();
    drop_key.BindText(1, path);
    drop_key.Step();
    drop_key.Reset();
  }
  transaction.Commit();
  if (AsciiEqualNoCase(current_key_, wanted) || IsBelow(current_key_, wanted)) current_key_.clear();
  return true;
}

void TRegistry::RequireKey(const char* operation, const std::string& name) const {
  if (current_key_.empty()) {
    throw Exception("ERegistryException",
                    Format("%s '%s' in registry '%s': no key is open", operation, name.c_str(), path_.c_str()));
  }
}

bool TRegistry::ValueExists(const std::string& name) {
  RequireKey("Cannot look up value", name);
  auto& find = statements_->Get("SELECT 1 FROM reg_values WHERE key = ?1 AND name = ?2");
  find.BindText(1, current_key_);
  find.BindText(2, name);
  const bool found = find.Step();
  find.Reset();  // a statement left mid-row would hold the store's read lock
  return found;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  RequireKey("Failed to set data for", name);
  // An upsert keeps the row (and so the value's place in GetValueNames).
  auto& write = statements_->Get(
      "INSERT INTO reg_values(key, name, data) VALUES(?1, ?2, ?3) "
      "ON CONFLICT(key, name) DO UPDATE SET data = excluded.data");
  write.BindText(1, current_key_);
  write.BindText(2, name);
  write.BindText(3, value);
  write.Step();
  write.Reset();
}

std::string TRegistry::ReadString(const std::string& name) {
  RequireKey("Failed to get data for", name);
  auto& read = statements_->Get("SELECT data FROM reg_values WHERE key = ?1 AND name = ?2");
  read.BindText(1, current_key_);
  read.BindText(2, name);
  std::string data = read.Step() ? read.ColumnText(0) : std::string();
  read.Reset();
  return data;
}

bool TRegistry::DeleteValue(const std::string& name) {
  RequireKey("Cannot delete value", name);
  auto& drop = statements_->Get("DELETE FROM reg_values WHERE key = ?1 AND name = ?2");
  drop.BindText(1, current_key_);
  drop.BindText(2, name);
  drop.Step();
  drop.Reset();
  return sqlite3_changes(db_->Handle()) > 0;
}

std::vector<std::string> TRegistry::GetValueNames() {
  RequireKey("Cannot list values of", current_key_);
  std::vector<std::string> names;
  auto list = db_->Prepare("SELECT name FROM reg_values WHERE key = ?1 ORDER BY rowid");
  list.BindText(1, current_key_);
  while (list.Step()) names.push_back(list.ColumnText(0));
  return names;
}

std::vector<std::string> TRegistry::GetKeyNames() {
  std::vector<std::string> names;
  for (const std::string& path : GetAllKeyPaths()) {
    if (!IsBelow(path, current_key_)) continue;
    const std::string rest = current_key_.empty() ? path : path.substr(current_key_.size() + 1);
    if (rest.find('\\') == std::string::npos) names.push_back(rest);
  }
  return names;
}

std::vector<std::string> TRegistry::GetAllKeyPaths() {
  std::vector<std::string> paths;
  auto list = db_->Prepare("SELECT path FROM reg_keys ORDER BY path");
  while (list.Step()) paths.push_back(list.ColumnText(0));
  return paths;
}

}  // namespace instkit

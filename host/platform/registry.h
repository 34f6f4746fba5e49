// The host's registry object: named keys holding named text values, stored in
// one SQLite database file.  The catalogue records installed subsystems here
// (one value per subsystem under a key the host opens); the command line
// lists what is recorded.
//
// Keys are paths of names separated by "\" ("Software\instkit\Demo"); empty
// components are dropped, so "\a\\b\" is the key "a\b".  Key paths and value
// names compare without regard to the case of the ASCII letters, as registry
// names do; all other bytes must match.  Names and data are byte strings
// (Windows-1251 texts pass through unchanged).
//
// Durability: every write is one SQLite transaction with synchronous=FULL, so
// a value that WriteString or DeleteValue has returned from survives a killed
// process or a power cut, and a write that was interrupted leaves no trace.
// Between BeginUpdate and EndUpdate the writes form one transaction instead:
// all of them land, with one sync, or none does (a killed process, a full
// disk or CancelUpdate leaves the store as it was before BeginUpdate).
// Failures of the store raise Exception("ESQLiteError"); misuse (no key open)
// raises Exception("ERegistryException").  Not thread-safe; several processes
// may share one file (SQLite locks it, waiting up to 5 s).
//
// On Windows the store is the system registry instead
// (host/platform/windows/registry_windows.cpp): `path` names the key that holds the
// store, below HKEY_CURRENT_USER unless it starts with a hive name
// ("HKEY_LOCAL_MACHINE\Software\instkit", "HKLM\..."), and every key path
// above lies below that key.  Key names then compare as the system compares
// them, values are REG_SZ, value names come in the registry's enumeration
// order, and failures raise ERegistryException with the system's reason.
// The system registry has no transactions here: BeginUpdate, EndUpdate and
// CancelUpdate do nothing and every write lands as it is made.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/base/export.h"

namespace instkit {

class TSqliteDb;
struct TRegistryStatements;

class INSTKIT_API TRegistry {
 public:
  // Opens, creating when missing, the store at `path` and its folder.
  explicit TRegistry(const std::string& path);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  // <user state folder>/instkit/registry.db; "" when no user folder is known.
  static std::string DefaultPath();
  // Whether the store at `path` exists, without creating it.
  static bool StoreExists(const std::string& path);
  // The absolute folder of the store's file; "" where the store is not a
  // file (the Windows registry).
  static std::string StoreFolder(const std::string& path);

  const std::string& Path() const { return path_; }

  // Makes `key` the current key.  A missing key is created (with its missing
  // parents) when `can_create`; otherwise the result is false and the
  // current key stays as it was.  An empty path is invalid (false).
  bool OpenKey(const std::string& key, bool can_create);
  void CloseKey() { current_key_.clear(); }
  bool HasCurrentKey() const { return !current_key_.empty(); }
  // The current key's path as it is stored ("" when none is open).
  const std::string& CurrentPath() const { return current_key_; }

  // One transaction for every write until EndUpdate (see above).  Updates
  // do not nest: BeginUpdate inside one raises ERegistryException.
  // Destroying the object inside an update cancels it.
  void BeginUpdate();
  void EndUpdate();
  void CancelUpdate();
  bool InUpdate() const { return in_update_; }

  bool KeyExists(const std::string& key);
  // Removes a key with its values and every key below it; false when absent.
  bool DeleteKey(const std::string& key);

  // Operations on the current key.  They raise ERegistryException when no
  // key is open.
  bool ValueExists(const std::string& name);
  // Creates or overwrites the value.
  void WriteString(const std::string& name, const std::string& value);
  // The value's data; "" when the value does not exist.
  std::string ReadString(const std::string& name);
  // False when the value does not exist.
  bool DeleteValue(const std::string& name);
  // Value names in the order they were first written.
  std::vector<std::string> GetValueNames();

  // Direct subkeys of the current key (of the root when none is open), by
  // name, sorted.
  std::vector<std::string> GetKeyNames();
  // Every key path of the store, sorted.
  std::vector<std::string> GetAllKeyPaths();

 private:
  void RequireKey(const char* operation, const std::string& name) const;

  std::string path_;
  // shared_ptr: its deleter is fixed where the store is made, so a platform
  // whose registry is the system one (Windows) never needs TSqliteDb.
  std::shared_ptr<TSqliteDb> db_;
  // The value statements, prepared once (a run records thousands of values).
  std::shared_ptr<TRegistryStatements> statements_;
  std::string current_key_;
  bool in_update_ = false;
};

// Normalised form of a key path (see above); "" for a path of no names.
// One implementation for every store: host/platform/registry_key.cpp.
INSTKIT_API std::string NormaliseRegistryKey(const std::string& key);

}  // namespace instkit

// The registry object on the Windows registry (RegCreateKeyExA,
// RegOpenKeyExA, RegQueryValueExA, RegSetValueExA, RegDeleteValueA, ...).
// The object's path is the key that holds the store; see host/platform/registry.h.
#include "host/platform/windows/win_error.h"

#include <algorithm>

#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/platform/registry.h"
#include "host/base/text.h"

namespace instkit {

namespace {

// An open registry key, closed on destruction.
class TKey {
 public:
  TKey() = default;
  ~TKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;
  HKEY* Out() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

struct THive {
  const char* name;
  HKEY key;
};
const THive kHives[] = {
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_USERS", HKEY_USERS},
    {"HKU", HKEY_USERS},
};

// Splits the object's path into its hive and the key below it.
HKEY SplitHive(const std::string& path, std::string* below) {
  const std::string normal = NormaliseRegistryKey(path);
  const size_t slash = normal.find('\\');
  const std::string first = normal.substr(0, slash);
  for (const THive& hive : kHives) {
    if (AsciiEqualNoCase(first, hive.name)) {
      *below = slash == std::string::npos ? std::string() : normal.substr(slash + 1);
      return hive.key;
    }
  }
  *below = normal;
  return HKEY_CURRENT_USER;
}

std::string JoinKey(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + "\\" + b;
}

// Key paths sort with the ASCII letters folded to lower case, bytes compared
// unsigned (the order the SQLite store gives on POSIX).
unsigned char FoldLower(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}
bool AsciiLessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return FoldLower(x) < FoldLower(y); });
}

// Names of the direct subkeys of an open key.
std::vector<std::string> SubkeyNames(HKEY key) {
  std::vector<std::string> names;
  char name[256];  // key names are at most 255 characters
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof(name);
    const LONG status = ::RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

}  // namespace

std::string TRegistry::DefaultPath() { return "Software\\instkit"; }

std::string TRegistry::StoreFolder(const std::string&) { return std::string(); }

bool TRegistry::StoreExists(const std::string& path) {
  if (NormaliseRegistryKey(path).empty()) return false;
  std::string below;
  const HKEY hive = SplitHive(path, &below);
  if (below.empty()) return true;  // a whole hive
  HKEY key = nullptr;
  if (::RegOpenKeyExA(hive, below.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

TRegistry::TRegistry(const std::string& path) : path_(path) {
  if (NormaliseRegistryKey(path).empty()) throw Exception("ERegistryException", "No registry key given");
  std::string below;
  const HKEY hive = SplitHive(path_, &below);
  if (below.empty()) return;  // a whole hive
  TKey root;
  const LONG status = ::RegCreateKeyExA(hive, below.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                        nullptr, root.Out(), nullptr);
  if (status != ERROR_SUCCESS) {
    throw Exception("ERegistryException", Format("Cannot open registry key '%s': %s", path_.c_str(),
                                                 WindowsErrorText(static_cast<DWORD>(status)).c_str()));
  }
}

TRegistry::~TRegistry() = default;

// The system registry has no transactions here (see registry.h).
void TRegistry::BeginUpdate() {
  if (in_update_) throw Exception("ERegistryException", "Registry '" + path_ + "': an update is already open");
  in_update_ = true;
}
void TRegistry::EndUpdate() { in_update_ = false; }
void TRegistry::CancelUpdate() { in_update_ = false; }

namespace {

// Opens `key` (relative to the store) for `access`; false when it does not
// exist, raises on any other failure.
bool OpenStoreKey(const std::string& store, const std::string& key, REGSAM access, TKey* out) {
  std::string below;
  const HKEY hive = SplitHive(store, &below);
  const std::string full = JoinKey(below, key);
  const LONG status = ::RegOpenKeyExA(hive, full.c_str(), 0, access, out->Out());
  if (status == ERROR_SUCCESS) return true;
  if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return false;
  throw Exception("ERegistryException", Format("Cannot open key '%s' in registry '%s': %s", key.c_str(), store.c_str(),
                                               WindowsErrorText(static_cast<DWORD>(status)).c_str()));
}

// The path of an existing key as the registry spells it: each name is
// looked up among its parent's subkeys.
std::string StoredSpelling(const std::string& store, const std::string& key) {
  std::string stored;
  size_t pos = 0;
  while (pos < key.size()) {
    size_t end = key.find('\\', pos);
    if (end == std::string::npos) end = key.size();
    const std::string name = key.substr(pos, end - pos);
    std::string found = name;
    TKey parent;
    if (OpenStoreKey(store, stored, KEY_ENUMERATE_SUB_KEYS, &parent)) {
      for (const std::string& candidate : SubkeyNames(parent.Get())) {
        if (::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, candidate.data(), static_cast<int>(candidate.size()),
                             name.data(), static_cast<int>(name.size())) == CSTR_EQUAL) {
          found = candidate;
          break;
        }
      }
    }
    stored = JoinKey(stored, found);
    pos = end + 1;
  }
  return stored;
}

void CollectPaths(const std::string& store, const std::string& key, std::vector<std::string>* paths) {
  TKey open;
  if (!OpenStoreKey(store, key, KEY_ENUMERATE_SUB_KEYS, &open)) return;
  for (const std::string& name : SubkeyNames(open.Get())) {
    const std::string path = JoinKey(key, name);
    paths->push_back(path);
    CollectPaths(store, path, paths);
  }
}

bool IsBelowOrSame(const std::string& path, const std::string& parent) {
  if (AsciiEqualNoCase(path, parent)) return true;
  return path.size() > parent.size() + 1 && path[parent.size()] == '\\' &&
         AsciiEqualNoCase(std::string_view(path).substr(0, parent.size()), parent);
}

}  // namespace

bool TRegistry::OpenKey(const std::string& key, bool can_create) {
  const std::string wanted = NormaliseRegistryKey(key);
  if (wanted.empty()) return false;
  TKey open;
  if (!OpenStoreKey(path_, wanted, KEY_READ, &open)) {
    if (!can_create) return false;
    std::string below;
    const HKEY hive = SplitHive(path_, &below);
    const std::string full = JoinKey(below, wanted);
    const LONG status = ::RegCreateKeyExA(hive, full.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                          nullptr, open.Out(), nullptr);
    if (status != ERROR_SUCCESS) {
      throw Exception("ERegistryException",
                      Format("Cannot create key '%s' in registry '%s': %s", wanted.c_str(), path_.c_str(),
                             WindowsErrorText(static_cast<DWORD>(status)).c_str()));
    }
  }
  current_key_ = StoredSpelling(path_, wanted);
  return true;
}

bool TRegistry::KeyExists(const std::string& key) {
  const std::string wanted = NormaliseRegistryKey(key);
  if (wanted.empty()) return false;
  TKey open;
  return OpenStoreKey(path_, wanted, KEY_READ, &open);
}

bool TRegistry::DeleteKey(const std::string& key) {
  const std::string wanted = NormaliseRegistryKey(key);
  if (wanted.empty() || !KeyExists(wanted)) return false;
  std::string below;
  const HKEY hive = SplitHive(path_, &below);
  const std::string full = JoinKey(below, wanted);
  LONG status = ::RegDeleteTreeA(hive, full.c_str());
  if (status == ERROR_SUCCESS && KeyExists(wanted)) status = ::RegDeleteKeyA(hive, full.c_str());
  if (status != ERROR_SUCCESS) {
    throw Exception("ERegistryException", Format("Cannot delete key '%s' in registry '%s': %s", wanted.c_str(),
                                                 path_.c_str(), WindowsErrorText(static_cast<DWORD>(status)).c_str()));
  }
  if (!current_key_.empty() && IsBelowOrSame(current_key_, wanted)) current_key_.clear();
  return true;
}

void TRegistry::RequireKey(const char* operation, const std::string& name) const {
  if (current_key_.empty()) {
    throw Exception("ERegistryException",
                    Format("%s '%s' in registry '%s': no key is open", operation, name.c_str(), path_.c_str()));
  }
}

namespace {

// Opens the current key for a value operation; a key deleted behind the
// object's back is a failure of that operation.
void OpenCurrent(const std::string& store, const std::string& key, REGSAM access, const char* operation,
                 const std::string& name, TKey* out) {
  if (!OpenStoreKey(store, key, access, out)) {
    throw Exception("ERegistryException", Format("%s '%s' in registry '%s': key '%s' does not exist", operation,
                                                 name.c_str(), store.c_str(), key.c_str()));
  }
}

[[noreturn]] void FailValue(const char* operation, const std::string& name, const std::string& store, LONG status) {
  throw Exception("ERegistryException", Format("%s '%s' in registry '%s': %s", operation, name.c_str(), store.c_str(),
                                               WindowsErrorText(static_cast<DWORD>(status)).c_str()));
}

}  // namespace

bool TRegistry::ValueExists(const std::string& name) {
  RequireKey("Cannot look up value", name);
  TKey key;
  OpenCurrent(path_, current_key_, KEY_QUERY_VALUE, "Cannot look up value", name, &key);
  const LONG status = ::RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS) return true;
  if (status == ERROR_FILE_NOT_FOUND) return false;
  FailValue("Cannot look up value", name, path_, status);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  RequireKey("Failed to set data for", name);
  TKey key;
  OpenCurrent(path_, current_key_, KEY_SET_VALUE, "Failed to set data for", name, &key);
  // REG_SZ data includes its terminating zero.
  const LONG status = ::RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>(value.size() + 1));
  if (status != ERROR_SUCCESS) FailValue("Failed to set data for", name, path_, status);
  // Written through to disk, as the SQLite store does on POSIX.
  ::RegFlushKey(key.Get());
}

std::string TRegistry::ReadString(const std::string& name) {
  RequireKey("Failed to get data for", name);
  TKey key;
  OpenCurrent(path_, current_key_, KEY_QUERY_VALUE, "Failed to get data for", name, &key);
  for (;;) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::string();
    if (status != ERROR_SUCCESS) FailValue("Failed to get data for", name, path_, status);
    std::string data(size, '\0');
    status = ::RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (status == ERROR_MORE_DATA) continue;  // grew in between
    if (status == ERROR_FILE_NOT_FOUND) return std::string();
    if (status != ERROR_SUCCESS) FailValue("Failed to get data for", name, path_, status);
    data.resize(size);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      while (!data.empty() && data.back() == '\0') data.pop_back();
    }
    return data;
  }
}

bool TRegistry::DeleteValue(const std::string& name) {
  RequireKey("Cannot delete value", name);
  TKey key;
  OpenCurrent(path_, current_key_, KEY_SET_VALUE, "Cannot delete value", name, &key);
  const LONG status = ::RegDeleteValueA(key.Get(), name.c_str());
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != ERROR_SUCCESS) FailValue("Cannot delete value", name, path_, status);
  ::RegFlushKey(key.Get());
  return true;
}

std::vector<std::string> TRegistry::GetValueNames() {
  RequireKey("Cannot list values of", current_key_);
  TKey key;
  OpenCurrent(path_, current_key_, KEY_QUERY_VALUE, "Cannot list values of", current_key_, &key);
  std::vector<std::string> names;
  std::string name(16384, '\0');  // value names are at most 16383 characters
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LONG status = ::RegEnumValueA(key.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) FailValue("Cannot list values of", current_key_, path_, status);
    names.emplace_back(name.data(), length);
  }
  return names;
}

std::vector<std::string> TRegistry::GetKeyNames() {
  std::vector<std::string> names;
  TKey key;
  if (OpenStoreKey(path_, current_key_, KEY_ENUMERATE_SUB_KEYS, &key)) names = SubkeyNames(key.Get());
  std::sort(names.begin(), names.end(), AsciiLessNoCase);
  return names;
}

std::vector<std::string> TRegistry::GetAllKeyPaths() {
  std::vector<std::string> paths;
  CollectPaths(path_, std::string(), &paths);
  std::sort(paths.begin(), paths.end(), AsciiLessNoCase);
  return paths;
}

}  // namespace instkit

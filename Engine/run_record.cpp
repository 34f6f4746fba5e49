#include "Engine/run_record.h"

#include <algorithm>
#include <filesystem>

#include "Dllload/subsystem_api.h"
#include "Engine/run_input.h"
#include "Syslist/node_walk.h"
#include "Syslist/sys_tree.h"
#include "Tidf/idf_text_file.h"
#include "host/platform/dynamic_library.h"
#include "host/platform/registry.h"

namespace instkit {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPath = "Path";
constexpr const char* kInstalledAt = "Installed at";
constexpr const char* kDescription = "Description";
constexpr const char* kVersion = "Version";
constexpr const char* kAnswers = "Answers";
constexpr const char* kCopy = "Description copy";
constexpr const char* kManifest = "Manifest";

const char* const kInstalledRoot = "Software\\instkit\\Installed";
const char* const kProductsRoot = "Software\\instkit\\Products";

void ReadInto(TRegistry& registry, const std::string& product, TProductRecord& record) {
  record.product = product;
  if (registry.OpenKey(InstalledKeyFor(product), false)) record.installed = registry.GetValueNames();
  if (registry.OpenKey(ProductRecordKeyFor(product), false)) {
    record.path = registry.ReadString(kPath);
    record.installed_at = registry.ReadString(kInstalledAt);
    record.description = registry.ReadString(kDescription);
    record.version = registry.ReadString(kVersion);
    record.answers = registry.ReadString(kAnswers);
    record.description_copy = registry.ReadString(kCopy);
    record.manifest = registry.ReadString(kManifest);
  }
}

bool HasValues(TRegistry& registry, const std::string& key) {
  return registry.OpenKey(key, false) && !registry.GetValueNames().empty();
}

}  // namespace

const char* EngineVersion() { return INSTKIT_ENGINE_VERSION; }

std::vector<TProductRecord> ReadProducts(const std::string& registry_path) {
  std::vector<TProductRecord> products;
  if (!TRegistry::StoreExists(registry_path)) return products;
  TRegistry registry(registry_path);
  std::vector<std::string> names;
  for (const char* root : {kInstalledRoot, kProductsRoot}) {
    if (!registry.OpenKey(root, false)) continue;
    for (const std::string& name : registry.GetKeyNames()) {
      bool known = false;
      for (const std::string& seen : names) known = known || seen == name;
      if (!known) names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    TProductRecord record;
    ReadInto(registry, name, record);
    if (!record.installed.empty() || !record.installed_at.empty()) products.push_back(std::move(record));
  }
  return products;
}

bool ReadProduct(const std::string& registry_path, const std::string& product, TProductRecord& record) {
  if (!TRegistry::StoreExists(registry_path)) return false;
  TRegistry registry(registry_path);
  ReadInto(registry, product, record);
  return !record.installed.empty() || !record.installed_at.empty();
}

void RecordRun(TRegistry& registry, uint8_t mode, const TProductRecord& record, TSysTree& tree, TRecordReport& report) {
  report.attempted = true;
  report.registry = registry.Path();
  report.key = InstalledKeyFor(record.product);
  std::vector<std::string> written, removed;
  registry.BeginUpdate();
  registry.OpenKey(report.key, true);
  // What Registering will do, for the report: it writes a value for a done
  // subsystem that has none (install) and removes the value of one that is
  // no longer installed (uninstall).
  WalkNodesBelow(&tree, [&](TSysNode* node) {
    const TSubsystemInfo& info = *node->Info;
    const bool exists = registry.ValueExists(info.ShortName);
    if (mode == INSTKIT_MODE_INSTALL && info.Checked && !exists) written.push_back(info.ShortName);
    if (mode == INSTKIT_MODE_UNINSTALL && !info.IsInst && exists) removed.push_back(info.ShortName);
    return true;
  });
  tree.Registering(&registry, mode);
  const std::string record_key = ProductRecordKeyFor(record.product);
  if (mode == INSTKIT_MODE_INSTALL) {
    registry.OpenKey(record_key, true);
    registry.WriteString(kPath, record.path);
    registry.WriteString(kInstalledAt, record.installed_at);
    registry.WriteString(kDescription, record.description);
    registry.WriteString(kVersion, record.version);
    registry.WriteString(kAnswers, record.answers);
    registry.WriteString(kCopy, record.description_copy);
    registry.WriteString(kManifest, record.manifest);
  } else if (!HasValues(registry, report.key)) {
    registry.DeleteKey(record_key);
  } else if (record.manifest_changed && registry.OpenKey(record_key, false)) {
    registry.WriteString(kManifest, record.manifest);
  }
  registry.EndUpdate();
  report.written = std::move(written);
  report.removed = std::move(removed);
  report.recorded = true;
}

std::string DescriptionCopy(TIDFTextFile& file, const TSysTree& catalogue) {
  WalkNodesBelow(&catalogue, [&file](TSysNode* node) {
    const TSubsystemInfo& info = *node->Info;
    if (info.Library.empty()) return true;
    TIDFSection* section = file.GetSectionByName(info.SaveName);
    TField* library = section != nullptr ? section->FieldByName("Library") : nullptr;
    if (library == nullptr) return true;
    std::error_code code;
    const std::string found = ResolveLibraryName(NativeLibraryName(info.Library));
    const fs::path resolved = fs::absolute(fs::path(found), code);
    library->SetAsString(CatalogueLibraryName(code ? found : resolved.string()));
    return true;
  });
  std::string text;
  return file.SaveToText(text) ? text : std::string();
}

}  // namespace instkit

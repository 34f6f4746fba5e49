// instkit pack FILE --from DIR -o MEDIA: the archives a description names,
// made from folders (Media/media_pack.h); instkit verify [--product NAME]:
// the unpacked files of installed products against their manifests
// (Media/installed_files.h).  This file parses and prints only.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Engine/plan.h"
#include "Engine/run_input.h"
#include "Engine/run_record.h"
#include "Media/installed_files.h"
#include "Media/manifest.h"
#include "Media/media_pack.h"
#include "Syslist/sys_tree.h"
#include "cli/command.h"
#include "cli/description_file.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/platform/registry.h"
#include "host/platform/user_dirs.h"

namespace instkit::cli {

namespace {

namespace fs = std::filesystem;

std::string Megabytes(uint64_t bytes) { return Format("%.1f MB", static_cast<double>(bytes) / 1e6); }

int Pack(const std::string& file, const std::string& from, const std::string& media) {
  auto description = LoadDescriptionOrReport(file);
  if (!description) return 2;
  TSysTree catalogue;
  TInputError error;
  if (!BuildCatalogue(*description, file, catalogue, error)) {
    PrintError("instkit pack: " + error.sentence);
    return 2;
  }
  TPlan plan;
  GatherPlanMaterial(catalogue, plan);
  if (plan.archives.empty()) {
    PrintError("instkit pack: " + file + " names no archives");
    return 2;
  }
  // Every archive's format first: a name that cannot be written stops the
  // command before anything is made.
  std::vector<TPackFormat> formats;
  for (const TPlanArchive& archive : plan.archives) {
    formats.push_back(PackFormatOf(Cp1251ToUtf8(archive.name)));
    if (archive.name.empty()) formats.back().error = "the catalogue names an archive with an empty name";
    if (!formats.back().error.empty()) {
      PrintError("instkit pack: " + formats.back().error);
      return 2;
    }
  }
  try {
    EnsureDirectory(media);
  } catch (const Exception& e) {
    PrintError("instkit pack: " + e.Message());
    return 1;
  }
  int status = 0;
  for (size_t i = 0; i < plan.archives.size(); ++i) {
    const std::string name = Cp1251ToUtf8(plan.archives[i].name);
    const std::string source = (fs::path(from) / formats[i].stem).string();
    const TPackResult result = PackFolder(source, (fs::path(media) / name).string(), formats[i]);
    if (!result.ok) {
      PrintError("instkit pack: " + name + ": " + result.error);
      status = 1;
      continue;
    }
    PrintUtf8(Format("packed %s (%s): %s, %s from %s\n", name.c_str(), formats[i].format.c_str(),
                     Counted(result.files, "file", "files").c_str(), Megabytes(result.bytes).c_str(), source.c_str()));
  }
  return status;
}

int Verify(const std::string& registry, const std::string& product) {
  const std::string path = registry.empty() ? TRegistry::DefaultPath() : registry;
  std::vector<TProductRecord> products;
  try {
    products = ReadProducts(path);
  } catch (const Exception& e) {
    PrintError("instkit verify: cannot read the registry " + path + ": " + e.Message());
    return 2;
  }
  const std::string wanted = Utf8ToCp1251(product);
  if (!product.empty()) {
    std::erase_if(products, [&wanted](const TProductRecord& p) { return p.product != wanted; });
    if (products.empty()) {
      PrintError("instkit verify: the registry " + path + " records no product \"" + product + "\"");
      return 2;
    }
  }
  int status = 0;
  for (const TProductRecord& p : products) {
    const std::string name = Cp1251ToUtf8(p.product);
    TManifest manifest;
    std::string error;
    if (!ParseManifest(p.manifest, manifest, error)) {
      PrintError("instkit verify: " + name + ": " + error);
      status = 1;
      continue;
    }
    if (manifest.archives.empty()) {
      PrintUtf8(name + ": no unpacked files recorded\n");
      continue;
    }
    const TVerifyResult result = VerifyManifest(p.path, manifest);
    std::string out = Format("%s in %s: %llu of %llu files unchanged (%s read)\n", name.c_str(), p.path.c_str(),
                             static_cast<unsigned long long>(result.entries - result.differences.size()),
                             static_cast<unsigned long long>(result.entries), Megabytes(result.bytes).c_str());
    for (const TDifference& d : result.differences) out += "  " + d.path + ": " + d.what + "\n";
    PrintUtf8(out);
    if (!result.differences.empty()) status = 1;
  }
  return status;
}

const TCommandRegistrar kPack(42, [](CLI::App& app, int* status) {
  auto* cmd = app.add_subcommand("pack", "Make the archives a description names from folders, one folder per archive");
  auto file = std::make_shared<std::string>();
  auto from = std::make_shared<std::string>();
  auto media = std::make_shared<std::string>();
  cmd->add_option("FILE", *file, "Installation description (IDF text file)")->required();
  cmd->add_option("--from", *from, "Folder holding one folder per archive: <archive name without extension>/")
      ->required()
      ->type_name("DIR");
  cmd->add_option("-o,--output", *media, "Media folder to write the archives into")->required()->type_name("MEDIA");
  cmd->footer(
      "The format comes from each archive's extension: .tar .tar.gz .tgz .tar.bz2 .tar.xz .tar.zst .tar.lz4 "
      ".zip .7z .cpio;\nany other name is a zstd-compressed tar.  ARJ, RAR, CAB and LHA cannot be written.");
  cmd->callback([=] { *status = Pack(*file, *from, *media); });
});

const TCommandRegistrar kVerify(43, [](CLI::App& app, int* status) {
  auto* cmd = app.add_subcommand("verify", "Check the unpacked files of installed products against their manifests");
  auto registry = std::make_shared<std::string>();
  auto product = std::make_shared<std::string>();
  cmd->add_option("--product", *product, "Only this product (see `instkit status`)");
  cmd->add_option("--registry", *registry, "Registry file (default: $XDG_STATE_HOME/instkit/registry.db)");
  cmd->footer("Exit status: 0 every file present and unchanged, 1 some differ (listed), 2 bad input.");
  cmd->callback([=] { *status = Verify(*registry, *product); });
});

}  // namespace

}  // namespace instkit::cli

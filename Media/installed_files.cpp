#include "Media/installed_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "Media/content_hash.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/base/text.h"

namespace instkit {

namespace fs = std::filesystem;

std::string EntryDifference(const std::string& root, const TManifestEntry& entry) {
  const fs::path path = fs::path(root) / fs::path(entry.path);
  std::error_code code;
  const fs::file_status status = fs::symlink_status(path, code);
  if (status.type() == fs::file_type::not_found) return "missing";
  if (code) return code.message();
  if (entry.link) {
    if (status.type() != fs::file_type::symlink) return "not a symbolic link";
    const std::string target = fs::read_symlink(path, code).generic_string();
    if (code) return code.message();
    return target == entry.target ? std::string() : "link to " + target + ", recorded " + entry.target;
  }
  if (status.type() != fs::file_type::regular) return "not a regular file";
  const uint64_t size = fs::file_size(path, code);
  if (code) return code.message();
  if (size != entry.size) return "size " + std::to_string(size) + ", recorded " + std::to_string(entry.size);
  try {
    if (HashFile(path.string()) != entry.hash) return "changed";
  } catch (...) {
    return DescribeCurrentException().message;
  }
  const uint32_t mode = static_cast<uint32_t>(status.permissions() & fs::perms::all);
  if (mode != entry.mode) return Format("mode %o, recorded %o", mode, entry.mode);
  return std::string();
}

TVerifyResult VerifyManifest(const std::string& root, const TManifest& manifest) {
  TVerifyResult result;
  for (const TManifestArchive& archive : manifest.archives) {
    for (const TManifestEntry& entry : archive.entries) {
      ++result.entries;
      std::string what = EntryDifference(root, entry);
      if (what.empty()) {
        result.bytes += entry.size;
      } else {
        result.differences.push_back({archive.name, entry.path, std::move(what)});
      }
    }
  }
  return result;
}

TRemoveResult RemoveArchiveFiles(const std::string& root, TManifest& manifest,
                                 const std::vector<std::string>& archives) {
  TRemoveResult result;
  for (const std::string& name : archives) {
    const auto it = std::find_if(manifest.archives.begin(), manifest.archives.end(),
                                 [&name](const TManifestArchive& a) { return AsciiEqualNoCase(a.name, name); });
    if (it == manifest.archives.end()) continue;
    // Last placed first: a path an archive names twice is judged once, by
    // what it holds now.
    for (auto e = it->entries.rbegin(); e != it->entries.rend(); ++e) {
      const std::string what = EntryDifference(root, *e);
      if (what == "missing") continue;
      std::error_code code;
      if (what.empty() && fs::remove(fs::path(root) / fs::path(e->path), code)) {
        ++result.removed;
      } else {
        result.kept.push_back({it->name, e->path, what.empty() ? code.message() : what});
      }
    }
    manifest.archives.erase(it);
  }
  // Innermost first: a longer path is never the parent of a shorter one.
  std::vector<std::string> folders = manifest.folders;
  std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() > b.size() : a > b;
  });
  for (const std::string& folder : folders) {
    std::error_code code;
    const fs::path path = fs::path(root) / fs::path(folder);
    if (!fs::exists(fs::symlink_status(path, code))) {
      manifest.folders.erase(std::find(manifest.folders.begin(), manifest.folders.end(), folder));
      continue;
    }
    if (fs::is_directory(fs::symlink_status(path, code)) && fs::is_empty(path, code) && fs::remove(path, code)) {
      ++result.folders;
      manifest.folders.erase(std::find(manifest.folders.begin(), manifest.folders.end(), folder));
    }
  }
  return result;
}

}  // namespace instkit

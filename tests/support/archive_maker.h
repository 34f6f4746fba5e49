// Archives made by the tests, entry by entry, including the hostile ones no
// well-behaved tool writes (absolute names, "..", escaping links, devices).
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace instkit::testing {

struct TArchiveItem {
  enum TKind { kFile, kFolder, kSymlink, kHardlink, kFifo, kDevice };
  TKind kind = kFile;
  std::string name;
  std::string data;    // files
  std::string target;  // links
  int mode = 0644;
};

inline TArchiveItem File(std::string name, std::string data, int mode = 0644) {
  return {TArchiveItem::kFile, std::move(name), std::move(data), "", mode};
}
inline TArchiveItem Folder(std::string name) { return {TArchiveItem::kFolder, std::move(name), "", "", 0755}; }
inline TArchiveItem Symlink(std::string name, std::string target) {
  return {TArchiveItem::kSymlink, std::move(name), "", std::move(target), 0777};
}
inline TArchiveItem Hardlink(std::string name, std::string target) {
  return {TArchiveItem::kHardlink, std::move(name), "", std::move(target), 0644};
}

// Writes the items as `format` ("tar", "tar.gz", "tar.zst", "zip", "7z",
// "cpio") into `path`; returns false when libarchive refuses.
inline bool MakeArchive(const std::string& path, const std::string& format, const std::vector<TArchiveItem>& items) {
  archive* a = archive_write_new();
  const bool tar = format.rfind("tar", 0) == 0;
  if (tar) archive_write_set_format_pax_restricted(a);
  if (format == "zip") archive_write_set_format_zip(a);
  if (format == "7z") archive_write_set_format_7zip(a);
  if (format == "cpio") archive_write_set_format_cpio_newc(a);
  if (format == "tar.gz") archive_write_add_filter_gzip(a);
  if (format == "tar.zst") archive_write_add_filter_zstd(a);
  if (format == "tar.xz") archive_write_add_filter_xz(a);
  bool ok = archive_write_open_filename(a, path.c_str()) == ARCHIVE_OK;
  for (const TArchiveItem& item : items) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, item.name.c_str());
    archive_entry_set_perm(e, static_cast<mode_t>(item.mode));
    archive_entry_set_mtime(e, 1700000000, 0);
    archive_entry_set_size(e, 0);  // cpio wants a size on every entry
    switch (item.kind) {
      case TArchiveItem::kFile:
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_size(e, static_cast<la_int64_t>(item.data.size()));
        break;
      case TArchiveItem::kFolder:
        archive_entry_set_filetype(e, AE_IFDIR);
        break;
      case TArchiveItem::kSymlink:
        archive_entry_set_filetype(e, AE_IFLNK);
        archive_entry_set_symlink(e, item.target.c_str());
        break;
      case TArchiveItem::kHardlink:
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_hardlink(e, item.target.c_str());
        break;
      case TArchiveItem::kFifo:
        archive_entry_set_filetype(e, AE_IFIFO);
        break;
      case TArchiveItem::kDevice:
        archive_entry_set_filetype(e, AE_IFCHR);
        archive_entry_set_rdev(e, 0x0103);
        break;
    }
    ok = ok && archive_write_header(a, e) >= ARCHIVE_WARN;
    if (ok && !item.data.empty()) ok = archive_write_data(a, item.data.data(), item.data.size()) >= 0;
    archive_entry_free(e);
  }
  ok = archive_write_close(a) == ARCHIVE_OK && ok;
  archive_write_free(a);
  return ok;
}

// Everything below `root`: relative path -> "file:<bytes>", "link:<target>",
// "folder", or "other"; links are not followed.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  for (fs::recursive_directory_iterator it(root), end; it != end; ++it) {
    const std::string name = it->path().lexically_relative(root).generic_string();
    const fs::file_status status = it->symlink_status();
    if (status.type() == fs::file_type::symlink) {
      tree[name] = "link:" + fs::read_symlink(it->path()).string();
    } else if (status.type() == fs::file_type::directory) {
      tree[name] = "folder";
    } else if (status.type() == fs::file_type::regular) {
      std::ifstream in(it->path(), std::ios::binary);
      tree[name] = "file:" + std::string(std::istreambuf_iterator<char>(in), {});
    } else {
      tree[name] = "other";
    }
  }
  return tree;
}

}  // namespace instkit::testing

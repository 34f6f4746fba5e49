#include "Media/media_pack.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "Media/entry_name.h"
#include "host/base/exception.h"
#include "host/base/text.h"
#include "host/platform/file.h"

namespace instkit {

namespace fs = std::filesystem;

namespace {

struct TExtension {
  const char* suffix;
  const char* format;  // "" when libarchive cannot write it
};

// Longer suffixes first, so ".tar.gz" wins over ".gz".
const TExtension kExtensions[] = {
    {".tar.gz", "tar.gz"},
    {".tar.bz2", "tar.bz2"},
    {".tar.xz", "tar.xz"},
    {".tar.zst", "tar.zst"},
    {".tar.lz4", "tar.lz4"},
    {".tgz", "tar.gz"},
    {".tbz2", "tar.bz2"},
    {".txz", "tar.xz"},
    {".tzst", "tar.zst"},
    {".tar", "tar"},
    {".zip", "zip"},
    {".7z", "7z"},
    {".cpio", "cpio"},
    {".arj", ""},
    {".rar", ""},
    {".cab", ""},
    {".lha", ""},
    {".lzh", ""},
};

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  return text.size() > suffix.size() && AsciiEqualNoCase(text.substr(text.size() - suffix.size()), suffix);
}

struct TWriterCloser {
  void operator()(archive* a) const { archive_write_free(a); }
};
struct TEntryCloser {
  void operator()(archive_entry* e) const { archive_entry_free(e); }
};

la_ssize_t WriteToFile(archive* a, void* data, const void* buffer, size_t size) {
  try {
    static_cast<TAtomicFileWriter*>(data)->Write(buffer, size);
    return static_cast<la_ssize_t>(size);
  } catch (const Exception& e) {
    archive_set_error(a, EIO, "%s", e.Message().c_str());
    return -1;
  }
}

bool SetFormat(archive* a, const std::string& format) {
  const size_t dot = format.find('.');
  const std::string container = format.substr(0, dot);
  const std::string filter = dot == std::string::npos ? std::string() : format.substr(dot + 1);
  int r = ARCHIVE_OK;
  if (container == "tar") r = archive_write_set_format_pax_restricted(a);
  if (container == "zip") r = archive_write_set_format_zip(a);
  if (container == "7z") r = archive_write_set_format_7zip(a);
  if (container == "cpio") r = archive_write_set_format_cpio_newc(a);
  if (r != ARCHIVE_OK) return false;
  if (filter == "gz") r = archive_write_add_filter_gzip(a);
  if (filter == "bz2") r = archive_write_add_filter_bzip2(a);
  if (filter == "xz") r = archive_write_add_filter_xz(a);
  if (filter == "zst") r = archive_write_add_filter_zstd(a);
  if (filter == "lz4") r = archive_write_add_filter_lz4(a);
  return r == ARCHIVE_OK;
}

int64_t SecondsOf(fs::file_time_type time) {
  const auto system = std::chrono::file_clock::to_sys(time);
  return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

}  // namespace

TPackFormat PackFormatOf(const std::string& archive_name) {
  TPackFormat format;
  for (const TExtension& ext : kExtensions) {
    if (!EndsWithNoCase(archive_name, ext.suffix)) continue;
    format.stem = archive_name.substr(0, archive_name.size() - std::string(ext.suffix).size());
    format.format = ext.format;
    if (format.format.empty()) {
      format.error = "\"" + archive_name + "\": libarchive reads " + std::string(ext.suffix + 1) +
                     " archives but cannot write them; name it .tar.zst, .tar.gz, .zip or .7z instead";
    }
    return format;
  }
  const size_t dot = archive_name.rfind('.');
  format.stem = dot == std::string::npos || dot == 0 ? archive_name : archive_name.substr(0, dot);
  format.format = "tar.zst";
  return format;
}

TPackResult PackFolder(const std::string& folder, const std::string& archive_path, const TPackFormat& format) {
  TPackResult result;
  auto fail = [&result](std::string sentence) {
    result.error = std::move(sentence);
    return result;
  };
  if (!format.error.empty()) return fail(format.error);
  std::error_code code;
  if (!fs::is_directory(folder, code)) return fail("no folder " + folder + " to pack");
  // The entries, in name order.
  std::vector<std::pair<std::string, fs::directory_entry>> entries;
  for (fs::recursive_directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
    entries.emplace_back(it->path().lexically_relative(folder).generic_string(), *it);
  }
  if (code) return fail("cannot read " + folder + ": " + code.message());
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

  try {
    TAtomicFileWriter out(archive_path);
    // Made after `out` and so freed before it: freeing an archive that was
    // not closed (a refused entry) still writes its end through `out`.
    std::unique_ptr<archive, TWriterCloser> a(archive_write_new());
    if (!a || !SetFormat(a.get(), format.format)) return fail("cannot write " + format.format + " archives");
    // No zero padding after the last block: readers of compressed streams
    // (zstd in particular) take trailing zeros for a damaged frame.
    archive_write_set_bytes_in_last_block(a.get(), 1);
    if (archive_write_open(a.get(), &out, nullptr, WriteToFile, nullptr) != ARCHIVE_OK) {
      return fail(std::string("cannot write ") + archive_path + ": " + archive_error_string(a.get()));
    }
    std::vector<char> block(1 << 20);
    for (const auto& [name, item] : entries) {
      const TEntryName checked = CheckEntryName(name);
      if (!checked.ok) return fail(item.path().string() + ": " + checked.reason);
      const fs::file_status status = item.symlink_status(code);
      std::unique_ptr<archive_entry, TEntryCloser> entry(archive_entry_new());
      archive_entry_set_pathname_utf8(entry.get(), name.c_str());
      archive_entry_set_perm(entry.get(), static_cast<mode_t>(status.permissions() & fs::perms::all));
      archive_entry_set_size(entry.get(), 0);  // cpio wants a size on every entry
      std::string target;
      if (status.type() == fs::file_type::symlink) {
        target = fs::read_symlink(item.path(), code).generic_string();
        const std::string reason = CheckLinkTarget(name, target);
        if (!reason.empty()) return fail(item.path().string() + ": " + reason);
        archive_entry_set_filetype(entry.get(), AE_IFLNK);
        archive_entry_set_symlink_utf8(entry.get(), target.c_str());
      } else if (status.type() == fs::file_type::directory) {
        archive_entry_set_filetype(entry.get(), AE_IFDIR);
      } else if (status.type() == fs::file_type::regular) {
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(item.file_size(code)));
      } else {
        return fail(item.path().string() + ": only folders, files and symbolic links can be packed");
      }
      if (status.type() != fs::file_type::symlink) {
        archive_entry_set_mtime(entry.get(), static_cast<time_t>(SecondsOf(item.last_write_time(code))), 0);
      }
      if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK) {
        return fail(item.path().string() + ": " + archive_error_string(a.get()));
      }
      if (status.type() != fs::file_type::regular) continue;
      TInputFile in(item.path().string());
      for (size_t n; (n = in.Read(block.data(), block.size())) > 0;) {
        if (archive_write_data(a.get(), block.data(), n) < 0) {
          return fail(archive_path + ": " + archive_error_string(a.get()));
        }
        result.bytes += n;
      }
      ++result.files;
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK) return fail(archive_path + ": " + archive_error_string(a.get()));
    out.Commit();
  } catch (...) {
    return fail(DescribeCurrentException().message);
  }
  result.ok = true;
  return result;
}

}  // namespace instkit

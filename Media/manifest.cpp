#include "Media/manifest.h"

#include <algorithm>
#include <string_view>

#include "host/base/format.h"
#include "host/base/text.h"

namespace instkit {

namespace {

constexpr std::string_view kHeader = "instkit-manifest 1";

// Splits `line` into `count` fields at tabs; the last takes the rest.
bool Fields(std::string_view line, size_t count, std::vector<std::string_view>& fields) {
  fields.clear();
  for (size_t i = 0; i + 1 < count; ++i) {
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return false;
    fields.push_back(line.substr(0, tab));
    line.remove_prefix(tab + 1);
  }
  fields.push_back(line);
  return true;
}

bool ParseUnsigned(std::string_view text, int base, uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  value = 0;
  for (char c : text) {
    const int digit = c >= '0' && c <= '9' ? c - '0' : (c >= 'a' && c <= 'f' ? c - 'a' + 10 : 99);
    if (digit >= base) return false;
    const uint64_t next = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if ((next - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base) != value) return false;
    value = next;
  }
  return true;
}

}  // namespace

TManifestArchive* TManifest::Find(const std::string& name) {
  for (TManifestArchive& archive : archives) {
    if (AsciiEqualNoCase(archive.name, name)) return &archive;
  }
  return nullptr;
}

void TManifest::Put(TManifestArchive archive) {
  if (TManifestArchive* old = Find(archive.name)) {
    *old = std::move(archive);
  } else {
    archives.push_back(std::move(archive));
  }
}

void TManifest::AddFolder(const std::string& path) {
  if (std::find(folders.begin(), folders.end(), path) == folders.end()) folders.push_back(path);
}

std::string ManifestText(const TManifest& manifest) {
  std::string out(kHeader);
  out += '\n';
  if (!manifest.run_id.empty()) out += "run\t" + manifest.run_id + "\n";
  for (const TManifestArchive& archive : manifest.archives) {
    out += "archive\t" + archive.name + "\n";
    for (const TManifestSubsystem& s : archive.subsystems) {
      out += "subsystem\t" + std::to_string(s.number) + "\t" + s.short_name + "\n";
    }
    for (const TManifestEntry& e : archive.entries) {
      if (e.link) {
        out += "link\t" + e.target + "\t" + e.path + "\n";
      } else {
        out += "file\t" + std::to_string(e.size) + Format("\t%o\t", e.mode) + e.hash + "\t" + e.path + "\n";
      }
    }
  }
  for (const std::string& folder : manifest.folders) out += "folder\t" + folder + "\n";
  return out;
}

bool ParseManifest(const std::string& text, TManifest& manifest, std::string& error) {
  manifest = TManifest();
  if (text.empty()) return true;
  std::vector<std::string_view> f;
  size_t number = 0;
  auto bad = [&](const std::string& what) {
    error = "manifest line " + std::to_string(number) + ": " + what;
    return false;
  };
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) return bad("no line end");
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++number;
    if (number == 1) {
      if (line != kHeader) return bad("not an instkit manifest of version 1");
      continue;
    }
    const size_t tab = line.find('\t');
    const std::string_view kind = line.substr(0, tab);
    const std::string_view rest = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
    if (tab == std::string_view::npos) return bad("no fields");
    if (kind == "run") {
      manifest.run_id = std::string(rest);
    } else if (kind == "archive") {
      manifest.archives.push_back(TManifestArchive{std::string(rest), {}, {}});
    } else if (kind == "folder") {
      if (rest.empty()) return bad("empty folder");
      manifest.folders.emplace_back(rest);
    } else if (kind == "subsystem" || kind == "file" || kind == "link") {
      if (manifest.archives.empty()) return bad(std::string(kind) + " before any archive");
      TManifestArchive& archive = manifest.archives.back();
      if (kind == "subsystem") {
        const std::optional<int32_t> n = Fields(rest, 2, f) ? ParseInt32(f[0]) : std::nullopt;
        if (!n) return bad("bad subsystem");
        archive.subsystems.push_back({*n, std::string(f[1])});
        continue;
      }
      TManifestEntry entry;
      entry.link = kind == "link";
      uint64_t size = 0, mode = 0;
      if (entry.link) {
        if (!Fields(rest, 2, f) || f[0].empty()) return bad("bad link");
        entry.target = std::string(f[0]);
      } else {
        if (!Fields(rest, 4, f) || !ParseUnsigned(f[0], 10, size) || !ParseUnsigned(f[1], 8, mode) || mode > 07777 ||
            f[2].size() != 32) {
          return bad("bad file");
        }
        entry.size = size;
        entry.mode = static_cast<uint32_t>(mode);
        entry.hash = std::string(f[2]);
      }
      entry.path = std::string(f.back());
      if (entry.path.empty()) return bad("empty path");
      archive.entries.push_back(std::move(entry));
    } else {
      return bad("unknown item \"" + std::string(kind) + "\"");
    }
  }
  return true;
}

}  // namespace instkit

#include "host/platform/desktop_links.h"

#include <filesystem>
#include <system_error>

#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/platform/file.h"
#include "host/base/format.h"
#include "host/platform/user_dirs.h"

namespace instkit {

namespace {

std::string Sanitised(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    out += keep ? c : '_';
  }
  return out.substr(0, 40);
}

uint32_t Fnv1a(const std::string& text) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

// A desktop-entry string value: backslashes and control characters escaped,
// so a value can neither break its line nor add keys.
std::string EntryValue(const std::string& utf8) {
  std::string out;
  for (char c : utf8) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
  }
  return out;
}

// file:// URL of an absolute path, with bytes outside the unreserved set
// percent-encoded.
std::string FileUrl(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                       c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

TLinkFolders DefaultLinkFolders() {
  const std::string data = UserDataDirectory();
  return TLinkFolders{data.empty() ? std::string() : data + "/applications", UserDesktopDirectory()};
}

TLinkFolders LinkFoldersBelow(const std::string& root) {
  return TLinkFolders{root + "/applications", root + "/Desktop"};
}

TDesktopLinks::TDesktopLinks(TLinkFolders folders, std::string product, std::string default_target)
    : folders_(std::move(folders)), product_(std::move(product)), default_target_(std::move(default_target)) {}

std::string TDesktopLinks::EntryPath(const std::string& value, bool desktop) const {
  const std::string& folder = desktop ? folders_.Desktop : folders_.Applications;
  if (folder.empty()) throw EInOutError("No folder for " + std::string(desktop ? "desktop" : "menu") + " links");
  const std::string title = value.substr(0, value.find('|'));
  const uint32_t hash = Fnv1a(product_ + (desktop ? "\x01" : "\x02") + value);
  return folder + "/" +
         Format("instkit-%s-%s-%08x.desktop", Sanitised(product_).c_str(), Sanitised(title).c_str(), hash);
}

std::string TDesktopLinks::EntryText(const std::string& value, const std::string& comment) const {
  const size_t bar = value.find('|');
  const std::string title = value.substr(0, bar);
  const std::string command = bar == std::string::npos ? std::string() : value.substr(bar + 1);
  std::string text = "[Desktop Entry]\n";
  text += "Version=1.0\n";
  if (command.empty()) {
    text += "Type=Link\n";
    text += "URL=" + FileUrl(default_target_) + "\n";
  } else {
    text += "Type=Application\n";
    text += "Exec=" + EntryValue(Cp1251ToUtf8(command)) + "\n";
  }
  text += "Name=" + EntryValue(Cp1251ToUtf8(title)) + "\n";
  if (!comment.empty()) text += "Comment=" + EntryValue(Cp1251ToUtf8(comment)) + "\n";
  text += "X-Instkit-Product=" + EntryValue(Cp1251ToUtf8(product_)) + "\n";
  return text;
}

std::string TDesktopLinks::Create(const std::string& value, bool desktop, const std::string& comment) {
  std::string path = EntryPath(value, desktop);
  EnsureDirectory(DirectoryOf(path));
  WriteWholeFileAtomically(path, EntryText(value, comment));
  if (desktop) {
    std::error_code error;
    std::filesystem::permissions(
        path,
        std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec | std::filesystem::perms::others_exec,
        std::filesystem::perm_options::add, error);
    if (error) throw EInOutError(Format("Cannot make '%s' executable: %s", path.c_str(), error.message().c_str()));
  }
  return path;
}

bool TDesktopLinks::Remove(const std::string& value, bool desktop) {
  const std::string path = EntryPath(value, desktop);
  if (!FileExists(path)) return false;
  return DeleteFileAt(path);
}

}  // namespace instkit

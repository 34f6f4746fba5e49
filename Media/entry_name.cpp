#include "Media/entry_name.h"

#include <vector>

namespace instkit {

namespace {

constexpr size_t kMaxComponent = 255;
constexpr size_t kMaxName = 4096;

// Length of the UTF-8 sequence at `p`, 0 when it is not a valid one
// (overlong forms, surrogates and values past U+10FFFF included).
size_t Utf8Length(std::string_view text, size_t p) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char c = byte(p);
  if (c < 0x80) return 1;
  size_t n;
  uint32_t value;
  if ((c & 0xE0) == 0xC0) {
    n = 2, value = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3, value = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4, value = c & 0x07;
  } else {
    return 0;
  }
  if (p + n > text.size()) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((byte(p + i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(p + i) & 0x3F);
  }
  static const uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kLeast[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return n;
}

// The reason a text cannot be part of a name, "" when it can.
std::string CheckCharacters(std::string_view text) {
  if (text.size() > kMaxName) return "name longer than 4096 bytes";
  for (size_t p = 0; p < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[p]);
    if (c < 0x20 || c == 0x7F) return "control character in the name";
    if (c == '\\') return "backslash in the name";
    const size_t n = Utf8Length(text, p);
    if (n == 0) return "name is not valid UTF-8";
    p += n;
  }
  return std::string();
}

bool IsAbsolute(std::string_view name) {
  if (!name.empty() && (name[0] == '/' || name[0] == '\\')) return true;
  const bool letter = name.size() >= 2 && ((name[0] | 0x20) >= 'a' && (name[0] | 0x20) <= 'z');
  return letter && name[1] == ':';
}

// The components of a name, "." and empty ones left out.
std::vector<std::string_view> Components(std::string_view name) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

}  // namespace

TEntryName CheckEntryName(std::string_view name) {
  TEntryName result;
  if (IsAbsolute(name)) {
    result.reason = "absolute name";
    return result;
  }
  result.reason = CheckCharacters(name);
  if (!result.reason.empty()) return result;
  for (std::string_view part : Components(name)) {
    if (part == "..") {
      result.reason = "\"..\" in the name";
      return result;
    }
    if (part.size() > kMaxComponent) {
      result.reason = "name component longer than 255 bytes";
      return result;
    }
    if (!result.path.empty()) result.path += '/';
    result.path.append(part);
  }
  result.ok = true;
  return result;
}

std::string CheckLinkTarget(const std::string& link_path, std::string_view target) {
  if (target.empty()) return "link with an empty target";
  if (IsAbsolute(target)) return "link to an absolute path";
  std::string reason = CheckCharacters(target);
  if (!reason.empty()) return "link target: " + reason;
  // The link's folder depth: how far up its ".." may climb.
  size_t depth = 0;
  for (char c : link_path) depth += c == '/' ? 1 : 0;
  bool descended = false;
  for (std::string_view part : Components(target)) {
    if (part == "..") {
      if (descended) return "link target with \"..\" after a folder name";
      if (depth == 0) return "link that points outside the target folder";
      --depth;
      continue;
    }
    if (part.size() > kMaxComponent) return "link target component longer than 255 bytes";
    descended = true;
  }
  return std::string();
}

}  // namespace instkit

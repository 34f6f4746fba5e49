#include "host/db/connection_string.h"

#include <utility>
#include <vector>

namespace instkit {

namespace {

constexpr std::string_view kSchemes[] = {"postgresql://", "postgres://"};
constexpr std::string_view kPrefix = "pg:";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsUri(std::string_view address) {
  for (std::string_view scheme : kSchemes) {
    if (StartsWith(address, scheme)) return true;
  }
  return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Where the passwords of a connection string lie: [begin, end) offsets into
// it.  For a keyword=value string a quoted value's span includes its quotes.
using TSpans = std::vector<std::pair<size_t, size_t>>;

TSpans UriPasswordSpans(std::string_view whole, size_t offset) {
  const std::string_view uri = whole.substr(offset);
  TSpans spans;
  const size_t start = uri.find("://") + 3;
  const size_t authority_end = std::min(uri.find_first_of("/?", start), uri.size());
  const std::string_view authority = uri.substr(start, authority_end - start);
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
    if (const size_t colon = authority.find(':'); colon < at) {
      spans.emplace_back(offset + start + colon + 1, offset + start + at);
    }
  }
  size_t p = uri.find('?', start);
  while (p != std::string_view::npos && p < uri.size()) {
    const size_t begin = p + 1;
    const size_t end = std::min(uri.find('&', begin), uri.size());
    const std::string_view param = uri.substr(begin, end - begin);
    if (StartsWith(param, "password=")) spans.emplace_back(offset + begin + 9, offset + end);
    p = end;
  }
  return spans;
}

TSpans KeywordPasswordSpans(std::string_view text, size_t offset) {
  TSpans spans;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    while (i < n && IsBlank(text[i])) ++i;
    const size_t key_begin = i;
    while (i < n && text[i] != '=' && !IsBlank(text[i])) ++i;
    const std::string_view key = text.substr(key_begin, i - key_begin);
    while (i < n && IsBlank(text[i])) ++i;
    if (i >= n || text[i] != '=') break;  // not a keyword=value string: libpq will say so
    ++i;
    while (i < n && IsBlank(text[i])) ++i;
    const size_t value_begin = i;
    if (i < n && text[i] == '\'') {
      for (++i; i < n && text[i] != '\''; ++i) {
        if (text[i] == '\\' && i + 1 < n) ++i;
      }
      if (i < n) ++i;  // the closing quote
    } else {
      for (; i < n && !IsBlank(text[i]); ++i) {
        if (text[i] == '\\' && i + 1 < n) ++i;
      }
    }
    if (key == "password") spans.emplace_back(offset + value_begin, offset + i);
  }
  return spans;
}

TSpans PasswordSpans(std::string_view address) {
  if (IsUri(address)) return UriPasswordSpans(address, 0);
  if (StartsWith(address, kPrefix)) {
    const std::string_view rest = address.substr(kPrefix.size());
    return IsUri(rest) ? UriPasswordSpans(address, kPrefix.size()) : KeywordPasswordSpans(rest, kPrefix.size());
  }
  return {};
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The password as libpq reads it: a URI's percent escapes decoded, a keyword
// value's quotes and backslashes taken away.
std::string DecodedPassword(std::string_view raw, bool uri) {
  std::string out;
  if (uri) {
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '%' && i + 2 < raw.size() && HexValue(raw[i + 1]) >= 0 && HexValue(raw[i + 2]) >= 0) {
        out += static_cast<char>(HexValue(raw[i + 1]) * 16 + HexValue(raw[i + 2]));
        i += 2;
      } else {
        out += raw[i];
      }
    }
    return out;
  }
  if (!raw.empty() && raw.front() == '\'')
    raw = raw.substr(1, raw.size() >= 2 && raw.back() == '\'' ? raw.size() - 2 : raw.size() - 1);
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
    out += raw[i];
  }
  return out;
}

// Replaces `what` by "***".  Passwords under four bytes are left alone: they
// would match ordinary words of the message.
void ReplaceAll(std::string& text, std::string_view what) {
  if (what.size() < 4) return;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 3))
    text.replace(p, what.size(), "***");
}

}  // namespace

std::optional<std::string> ServerConnectionString(std::string_view address) {
  if (IsUri(address)) return std::string(address);
  if (StartsWith(address, kPrefix)) return std::string(address.substr(kPrefix.size()));
  return std::nullopt;
}

std::string MaskPassword(std::string_view address) {
  std::string masked;
  size_t kept = 0;
  for (const auto& [begin, end] : PasswordSpans(address)) {
    masked.append(address.substr(kept, begin - kept));
    masked += "***";
    kept = end;
  }
  masked.append(address.substr(kept));
  return masked;
}

std::string MaskPasswordIn(std::string_view message, std::string_view address) {
  std::string masked(message);
  const bool uri = IsUri(address) || IsUri(address.substr(std::min(address.size(), kPrefix.size())));
  for (const auto& [begin, end] : PasswordSpans(address)) {
    const std::string_view raw = address.substr(begin, end - begin);
    ReplaceAll(masked, DecodedPassword(raw, uri));
    ReplaceAll(masked, raw);
  }
  return masked;
}

}  // namespace instkit

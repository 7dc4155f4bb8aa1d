#include "net/url.h"

#include <limits>

namespace qv {

std::optional<std::uint64_t> parse_unsigned(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (const char ch : text) {
    if (ch < '0' || ch > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(ch - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<UrlParts> split_url(std::string_view url) {
  UrlParts parts;
  std::string_view rest;
  if (url.starts_with("https://")) {
    parts.secure = true;
    parts.port = 443;
    rest = url.substr(8);
  } else if (url.starts_with("http://")) {
    parts.port = 80;
    rest = url.substr(7);
  } else {
    return std::nullopt;
  }

  std::string_view authority = rest;
  parts.path = "/";
  if (const auto slash = rest.find('/'); slash != std::string_view::npos) {
    authority = rest.substr(0, slash);
    parts.path = std::string(rest.substr(slash));
  }

  if (const auto colon = authority.find(':'); colon != std::string_view::npos) {
    const auto port = parse_unsigned(authority.substr(colon + 1));
    if (!port || *port > 65535) return std::nullopt;
    parts.port = static_cast<std::uint16_t>(*port);
    authority = authority.substr(0, colon);
  }
  parts.host = std::string(authority);
  return parts;
}

}  // namespace qv

// Splitting an http(s) URL into what WinHTTP needs. Pure logic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

struct UrlParts {
  std::string host;  // as written; may be empty
  std::string path;  // from the first "/" after the host, query included; "/" when absent
  std::uint16_t port = 0;
  bool secure = false;
};

// Nothing for anything but a lower-case "http://" or "https://" URL with a valid port.
std::optional<UrlParts> split_url(std::string_view url);

// An optional "+" followed by one or more decimal digits whose value fits in 64 bits; else nothing.
std::optional<std::uint64_t> parse_unsigned(std::string_view text);

}  // namespace qv

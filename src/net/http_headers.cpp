#include "net/http_headers.h"

#include "net/url.h"

namespace qv {
namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<std::uint64_t> parse_content_length(std::string_view value) {
  value = trimmed(value);
  // Digits only: the sign that a port may carry is no part of a length.
  if (value.empty() || value.front() < '0' || value.front() > '9') return std::nullopt;
  return parse_unsigned(value);
}

std::optional<std::uint64_t> content_range_total(std::string_view value) {
  value = trimmed(value);
  constexpr std::string_view kUnit = "bytes ";
  if (!value.starts_with(kUnit)) return std::nullopt;
  value.remove_prefix(kUnit.size());
  const std::size_t slash = value.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view range = value.substr(0, slash);
  // "*" or "first-last", both numbers.
  if (range != "*") {
    const std::size_t dash = range.find('-');
    if (dash == std::string_view::npos || !parse_content_length(range.substr(0, dash)) ||
        !parse_content_length(range.substr(dash + 1))) {
      return std::nullopt;
    }
  }
  return parse_content_length(value.substr(slash + 1));
}

}  // namespace qv

// split_url, the decimal numbers it reads and the sizes read from response headers, on any text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "net/http_headers.h"
#include "net/url.h"

namespace {

bool same(const qv::UrlParts& a, const qv::UrlParts& b) {
  return a.host == b.host && a.path == b.path && a.port == b.port && a.secure == b.secure;
}

// The value of an optional "+" and decimal digits when it fits in 64 bits, judged on the digits
// as text: printed without the sign and leading zeros, at most "18446744073709551615".
void check_number(std::string_view text) {
  const auto value = qv::parse_unsigned(text);
  std::string_view digits = text.starts_with('+') ? text.substr(1) : text;
  const bool numeral = !digits.empty() && digits.find_first_not_of("0123456789") == digits.npos;
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  constexpr std::string_view kMax = "18446744073709551615";
  const bool fits = digits.size() < kMax.size() || (digits.size() == kMax.size() && digits <= kMax);
  QV_FUZZ_CHECK(value.has_value() == (numeral && fits));
  if (value) QV_FUZZ_CHECK(std::to_string(*value) == digits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view url(reinterpret_cast<const char*>(data), size);
  check_number(url);
  // A length is a number of digits only; a range's total is the number after its last "/".
  if (const auto length = qv::parse_content_length(url)) {
    QV_FUZZ_CHECK(url.find_first_of("+-") == url.npos);
  }
  if (const auto total = qv::content_range_total(url)) {
    QV_FUZZ_CHECK(url.find("bytes ") != url.npos &&
                  qv::parse_content_length(url.substr(url.rfind('/') + 1)) == total);
  }

  const auto parts = qv::split_url(url);
  const bool https = url.starts_with("https://");
  if (!https && !url.starts_with("http://")) QV_FUZZ_CHECK(!parts);
  if (!parts) return 0;
  QV_FUZZ_CHECK(parts->secure == https);
  QV_FUZZ_CHECK(parts->host.find_first_of(":/") == std::string::npos);
  QV_FUZZ_CHECK(parts->path.starts_with('/'));
  // The path is the URL's own tail, or "/" when the URL has none.
  const std::string_view rest = url.substr(https ? 8 : 7);
  const std::size_t slash = rest.find('/');
  QV_FUZZ_CHECK(parts->path == (slash == rest.npos ? "/" : rest.substr(slash)));
  QV_FUZZ_CHECK(rest.starts_with(parts->host));
  // After the host comes nothing, or ":" and the port's own digits.
  const std::string_view after_host = rest.substr(0, slash).substr(parts->host.size());
  if (after_host.empty()) {
    QV_FUZZ_CHECK(parts->port == (https ? 443 : 80));
  } else {
    QV_FUZZ_CHECK(after_host.front() == ':' &&
                  qv::parse_unsigned(after_host.substr(1)) == parts->port);
  }

  // The parts written out again with an explicit port split into the same parts.
  const std::string again = std::string(https ? "https://" : "http://") + parts->host + ":" +
                            std::to_string(parts->port) + parts->path;
  const auto reparsed = qv::split_url(again);
  QV_FUZZ_CHECK(reparsed && same(*reparsed, *parts));
  return 0;
}

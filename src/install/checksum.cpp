#include "install/checksum.h"

#include <string>

namespace qv {
namespace {

int base64_digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> decode_feed_checksum(std::string_view text) {
  std::string digits;
  digits.reserve(text.size());
  for (const char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') digits += c;
  }
  std::vector<std::uint8_t> bytes;
  if (digits.size() % 4 != 0) return std::nullopt;
  bytes.reserve(digits.size() / 4 * 3);

  std::size_t pads = 0;
  for (std::size_t group = 0; group < digits.size(); group += 4) {
    int value[4];
    for (std::size_t i = 0; i < 4; ++i) {
      const char c = digits[group + i];
      if (c == '=') {
        value[i] = 0;
        ++pads;
        continue;
      }
      value[i] = base64_digit(c);
      if (value[i] < 0 || pads > 0) return std::nullopt;
    }
    bytes.push_back(static_cast<std::uint8_t>(value[0] * 4 + value[1] / 16));
    if (pads <= 1) bytes.push_back(static_cast<std::uint8_t>((value[1] % 16) * 16 + value[2] / 4));
    if (pads == 0) bytes.push_back(static_cast<std::uint8_t>((value[2] % 4) * 64 + value[3]));
  }
  return bytes;
}

}  // namespace qv

// The feed checksum's base64 on any text, and on any bytes encoded the way a feed writes them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "install/checksum.h"

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Standard base64 with "=" pads.
std::string encode(const std::uint8_t* bytes, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; i += 3) {
    const std::size_t n = count - i < 3 ? count - i : 3;
    std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    if (n > 1) group |= std::uint32_t{bytes[i + 1]} << 8;
    if (n > 2) group |= bytes[i + 2];
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += n > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[group & 63] : '=';
  }
  return out;
}

// The text with a space, tab or line break wherever the input's bytes say.
std::string broken(std::string_view text, const std::uint8_t* data, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::uint8_t b = size > 0 ? data[i % size] : 0;
    if (b % 8 == 0) out += " \t\r\n"[b / 8 % 4];
    out += text[i];
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string digits;
  for (const char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') digits += c;
  }
  if (const auto decoded = qv::decode_feed_checksum(text)) {
    QV_FUZZ_CHECK(digits.size() % 4 == 0);
    QV_FUZZ_CHECK(decoded->size() <= digits.size() / 4 * 3);
    // Without pads every digit carries its six bits, so encoding gives the digits back.
    if (digits.find('=') == std::string::npos) {
      QV_FUZZ_CHECK(encode(decoded->data(), decoded->size()) == digits);
    }
  }

  // Any bytes round-trip, whatever the breaks in the text.
  const std::vector<std::uint8_t> bytes(data, data + size);
  QV_FUZZ_CHECK(qv::decode_feed_checksum(broken(encode(data, size), data, size)) == bytes);

  // A real checksum's 64 bytes decode to exactly those 64.
  std::vector<std::uint8_t> digest(qv::kSha512Size, 0);
  for (std::size_t i = 0; i < size && i < digest.size(); ++i) digest[i] = data[i];
  const auto decoded = qv::decode_feed_checksum(
      broken(encode(digest.data(), digest.size()), data + size / 2, size - size / 2));
  QV_FUZZ_CHECK(decoded && decoded->size() == qv::kSha512Size && *decoded == digest);
  return 0;
}

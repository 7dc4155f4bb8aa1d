#include "net/feed_signature.h"

namespace qv {
namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 64 bytes are 21 groups of three and one byte left over: 86 digits and "==".
constexpr std::size_t kSignatureDigits = 86;

}  // namespace

std::optional<SignedFeed> split_signed_feed(std::string_view feed) {
  if (feed.ends_with("\r\n")) {
    feed.remove_suffix(2);
  } else if (feed.ends_with('\n')) {
    feed.remove_suffix(1);
  }
  const std::size_t last_break = feed.rfind('\n');
  const std::size_t line_start = last_break == std::string_view::npos ? 0 : last_break + 1;
  std::string_view line = feed.substr(line_start);
  if (!line.starts_with(kSignatureLineStart)) return std::nullopt;
  line.remove_prefix(kSignatureLineStart.size());
  if (line.size() != kSignatureDigits + 2 || !line.ends_with("==")) return std::nullopt;

  SignedFeed split{feed.substr(0, line_start), {}};
  std::uint32_t bits = 0;
  int held = 0;
  std::size_t out = 0;
  for (const char c : line.substr(0, kSignatureDigits)) {
    const std::size_t digit = kBase64Alphabet.find(c);
    if (digit == std::string_view::npos) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(digit);
    held += 6;
    if (held >= 8) {
      held -= 8;
      split.signature[out++] = static_cast<std::uint8_t>(bits >> held);
      bits &= (1u << held) - 1;
    }
  }
  // The last digit carries 4 bits that no byte takes: a canonical text has them 0.
  if (out != kFeedSignatureSize || bits != 0) return std::nullopt;
  return split;
}

}  // namespace qv

// The feed's SHA-512 checksum text. Pure logic; hashing the file is checksum_win's.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qv {

inline constexpr std::size_t kSha512Size = 64;

// Standard base64 with a lenient pad rule: spaces, tabs and line breaks are dropped first, "="
// counts as a zero digit and every character after the first "=" must be "=" as well. Any
// length decodes; nothing for a malformed text.
std::optional<std::vector<std::uint8_t>> decode_feed_checksum(std::string_view text);

}  // namespace qv

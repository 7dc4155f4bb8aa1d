// Text rules shared by every subsystem: UTF-8 inside, UTF-16 at the platform edge.
// No platform header here, so the rules are unit-tested natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// The Unicode White_Space property.
bool is_white_space(char32_t c);

// Removes White_Space characters from the ends of UTF-8 text. Malformed bytes are never white
// space.
std::string_view trim_white_space(std::string_view text);
std::string_view trim_leading_white_space(std::string_view text);

// UTF-8 to UTF-16; malformed input bytes become U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// UTF-16 to UTF-8, or nothing when the text holds an unpaired surrogate (not valid Unicode).
std::optional<std::string> utf16_to_utf8_strict(std::u16string_view text);

// Sizes shown to the user: "MB" is a unit of 1,048,576 bytes, rounded down.
inline constexpr std::uint64_t kBytesPerMegabyte = 1048576;

// The size in whole MB as decimal digits: "87" for 91,750,400 bytes.
std::string whole_megabytes(std::uint64_t bytes);

}  // namespace qv

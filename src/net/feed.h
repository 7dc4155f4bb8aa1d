// Reading the release feed "latest.yml" by simple line rules (not a YAML parser). Pure logic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/result.h"

namespace qv {

inline constexpr std::string_view kFeedFileName = "latest.yml";

struct ReleaseInfo {
  std::string version;
  std::string path;        // file name of the full setup program, relative to the feed base URL
  std::string sha512;      // base64 as written in the feed
  std::uint64_t size = 0;  // 0 means unknown
};

// Trims Unicode white space, then apostrophes, then double quotes from both ends.
std::string clean_value(std::string_view raw);

// First non-empty value of a top-level "key:" line.
std::optional<std::string> feed_value(std::string_view feed, std::string_view key);

// First non-empty "size:" value at any indentation, list items included.
std::optional<std::string> feed_size_value(std::string_view feed);

// An optional "+" and decimal digits that fit in 64 bits; 0 for anything else.
std::uint64_t parse_byte_count(std::string_view text);

Result<ReleaseInfo> parse_release_feed(std::string_view feed);

// The base URL from the environment variable's value (nothing when it is absent or not valid
// Unicode) or else the built-in default; always ends in "/".
std::string resolve_feed_base_url(const std::optional<std::string>& variable,
                                  std::string_view built_in_default);

// "Version 1.4.2 - about 87 MB download", or "Version 1.4.2" when the size is unknown.
std::string compose_version_note(std::string_view version, std::uint64_t size);

// The version note the pre-check shows for a fetched feed text.
std::string version_note_for_feed(std::string_view feed);

}  // namespace qv

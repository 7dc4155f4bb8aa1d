// What a response's headers say about the size of the file it comes from. Pure logic; the
// headers are read in http_win.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qv {

// A Content-Length value: decimal digits only (no sign, no space inside), at most 2^64 - 1.
std::optional<std::uint64_t> parse_content_length(std::string_view value);

// The whole file's size from a Content-Range value, "bytes 0-99/1000" or "bytes */1000" (the
// form a 416 answer takes): 1000. Nothing for an unknown total ("/*") or anything malformed.
std::optional<std::uint64_t> content_range_total(std::string_view value);

}  // namespace qv

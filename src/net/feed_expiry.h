// The release feed's signed expiry date, and whether a feed is still to be used. Pure logic: the
// clocks are read by feed_expiry_win.
//
// A feed may carry the top-level line "expires: YYYY-MM-DDTHH:MM:SSZ" (UTC), read by the same
// line rules as "version". Signed with the rest of the feed, it stops a server that someone else
// holds from serving an old signed feed for ever: once it is past, a build with feed keys refuses
// the feed. A day of slack keeps a re-signing job that ran late, or a clock a little ahead, from
// taking every install down.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/result.h"
#include "net/feed_signature.h"

namespace qv {

inline constexpr std::int64_t kSecondsPerDay = 86400;
inline constexpr std::int64_t kExpirySlackSeconds = kSecondsPerDay;
inline constexpr std::string_view kFeedExpired =
    "the release feed has expired (the publisher hasn't renewed it)";
inline constexpr std::string_view kFeedNoExpiry = "the release feed has no expiry date";

// Seconds since 1970-01-01T00:00:00Z of exactly "YYYY-MM-DDTHH:MM:SSZ": year 1970 to 9999, a day
// that the month has, hours 00-23, minutes and seconds 00-59. Nothing for anything else.
std::optional<std::int64_t> parse_expiry_time(std::string_view text);

// An HTTP date in its one current form, the IMF-fixdate "Sun, 06 Nov 1994 08:49:37 GMT", as
// seconds since 1970. Nothing for any other form (the obsolete ones included).
std::optional<std::int64_t> parse_http_date(std::string_view text);

// When the server answered, by its own clock: Date plus Age (a cache's copy keeps the origin's
// Date and says how old it is; no Age counts as 0). Nothing without a readable Date, or with an
// Age that is not a count of seconds.
std::optional<std::int64_t> server_time(const std::optional<std::string>& date,
                                        const std::optional<std::string>& age);

// Whole seconds since 1970 (rounded down) of a FILETIME: 100 ns ticks since 1601-01-01 UTC.
std::int64_t unix_seconds_from_filetime(std::uint64_t ticks);

// "2026-12-08".
std::string date_text(int year, int month, int day);

// What the installer knows of the time when it judges a feed.
struct FeedClocks {
  std::int64_t now = 0;                // the computer's clock, UTC seconds since 1970
  std::optional<std::int64_t> server;  // server_time of the feed's answer
  std::string local_date;              // the computer's own date as it shows it, "2026-12-08"
};

// Whether a feed whose signature held (`signed_feed`, what it covers) is still to be used. A
// build without feed keys ignores the line. Otherwise: a valid expiry that `clocks.now` has not
// passed by more than the slack passes; one further past fails with kFeedExpired, or with "this
// computer's clock looks wrong (it says ...)" when the server's time is still within it and
// more than a day away from the computer's; a malformed expiry, or none when `trust` requires
// one, fails with kFeedNoExpiry; none otherwise passes. The server's time only ever chooses the
// words: a server that lies about it cannot make a feed pass.
Status check_feed_expiry(std::string_view signed_feed, const TrustSettings& trust,
                         const FeedClocks& clocks);

}  // namespace qv

#include "net/feed_expiry.h"

#include <algorithm>
#include <array>

#include "net/feed.h"
#include "net/http_headers.h"

namespace qv {
namespace {

// Far beyond any cache's copy, and small enough that Date + Age cannot overflow.
constexpr std::int64_t kLargestAge = std::int64_t{1} << 31;
// FILETIME ticks from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kTicksTo1970 = 116444736000000000;
constexpr std::int64_t kTicksPerSecond = 10000000;

constexpr std::array<std::string_view, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> kDayNames = {"Mon", "Tue", "Wed", "Thu",
                                                       "Fri", "Sat", "Sun"};

bool is_leap_year(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar, counted in 400-year eras
// (each exactly 146097 days) from a year that starts in March, so that a leap day ends it.
std::int64_t days_from_civil(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int era = (year >= 0 ? year : year - 399) / 400;
  const int year_of_era = year - era * 400;
  const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return std::int64_t{era} * 146097 + day_of_era - 719468;
}

// The decimal value of `digits` (ASCII digits only), or -1.
int number(std::string_view digits) {
  int value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

struct Civil {
  int year, month, day, hour, minute, second;
};

// Seconds since 1970 of a checked date and time; nothing when any part is out of its range.
std::optional<std::int64_t> seconds_of(const Civil& t, int largest_second) {
  if (t.year < 0 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > days_in_month(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
      t.minute > 59 || t.second < 0 || t.second > largest_second) {
    return std::nullopt;
  }
  return days_from_civil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 + t.minute * 60 +
         t.second;
}

// "HH:MM:SS" into `t`; false when the separators are not where they belong.
bool read_clock_time(std::string_view text, Civil& t) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
  t.hour = number(text.substr(0, 2));
  t.minute = number(text.substr(3, 2));
  t.second = number(text.substr(6, 2));
  return true;
}

std::string two_digits(int value) {
  return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

}  // namespace

std::optional<std::int64_t> parse_expiry_time(std::string_view text) {
  // 2027-01-09T12:00:00Z
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[19] != 'Z') {
    return std::nullopt;
  }
  Civil t{number(text.substr(0, 4)), number(text.substr(5, 2)), number(text.substr(8, 2)), 0, 0, 0};
  if (!read_clock_time(text.substr(11, 8), t) || t.year < 1970) return std::nullopt;
  return seconds_of(t, 59);
}

std::optional<std::int64_t> parse_http_date(std::string_view text) {
  // Sun, 06 Nov 1994 08:49:37 GMT
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.size() != 29 || text.substr(3, 2) != ", " || text[7] != ' ' || text[11] != ' ' ||
      text[16] != ' ' || text.substr(25) != " GMT") {
    return std::nullopt;
  }
  bool day_name = false;
  for (const std::string_view name : kDayNames) day_name = day_name || text.substr(0, 3) == name;
  int month = 0;
  for (int i = 0; i < 12; ++i) {
    if (text.substr(8, 3) == kMonthNames[i]) month = i + 1;
  }
  if (!day_name || month == 0) return std::nullopt;
  Civil t{number(text.substr(12, 4)), month, number(text.substr(5, 2)), 0, 0, 0};
  if (!read_clock_time(text.substr(17, 8), t)) return std::nullopt;
  return seconds_of(t, 60);  // a leap second is a valid time of day here
}

std::optional<std::int64_t> server_time(const std::optional<std::string>& date,
                                        const std::optional<std::string>& age) {
  if (!date) return std::nullopt;
  const auto sent = parse_http_date(*date);
  if (!sent) return std::nullopt;
  if (!age) return sent;
  const auto seconds = parse_content_length(*age);  // digits only, like a length
  if (!seconds) return std::nullopt;
  return *sent + static_cast<std::int64_t>(std::min<std::uint64_t>(*seconds, kLargestAge));
}

std::int64_t unix_seconds_from_filetime(std::uint64_t ticks) {
  // Whole seconds since 1601 first (rounded down, and below 2^41 for any 64-bit count), then
  // the whole seconds up to 1970: rounded down also before 1970.
  return static_cast<std::int64_t>(ticks / static_cast<std::uint64_t>(kTicksPerSecond)) -
         kTicksTo1970 / kTicksPerSecond;
}

std::string date_text(int year, int month, int day) {
  std::string text = std::to_string(year);
  if (text.size() < 4) text.insert(0, 4 - text.size(), '0');
  return text + "-" + two_digits(month) + "-" + two_digits(day);
}

Status check_feed_expiry(std::string_view signed_feed, const TrustSettings& trust,
                         const FeedClocks& clocks) {
  if (trust.feed_keys.empty()) return {};  // nothing it reads is signed, so neither is this
  const auto written = feed_value(signed_feed, "expires");
  if (!written) {
    if (trust.expiry_required) return fail(std::string(kFeedNoExpiry));
    return {};
  }
  const auto expires = parse_expiry_time(*written);
  if (!expires) return fail(std::string(kFeedNoExpiry));
  const std::int64_t last_valid = *expires + kExpirySlackSeconds;
  if (clocks.now <= last_valid) return {};
  // Expired by this computer's clock. When the server says the feed is still valid and the two
  // clocks are more than a day apart, the computer's clock is the likelier fault.
  if (clocks.server && *clocks.server <= last_valid &&
      clocks.now - *clocks.server > kSecondsPerDay) {
    return fail("this computer's clock looks wrong (it says " + clocks.local_date +
                "): set the right date and try again");
  }
  return fail(std::string(kFeedExpired));
}

}  // namespace qv

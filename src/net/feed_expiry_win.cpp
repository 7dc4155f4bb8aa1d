#include "net/feed_expiry_win.h"

#include "app/win.h"
#include "net/feed_expiry.h"

namespace qv {

Status check_feed_freshness(const FetchedText& fetched, std::string_view signed_feed,
                            const TrustSettings& trust) {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  SYSTEMTIME local{};
  GetLocalTime(&local);  // the date the taskbar shows, which the user can check and correct
  const FeedClocks clocks{
      unix_seconds_from_filetime((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
                                 now.dwLowDateTime),
      server_time(fetched.date, fetched.age), date_text(local.wYear, local.wMonth, local.wDay)};
  return check_feed_expiry(signed_feed, trust, clocks);
}

}  // namespace qv

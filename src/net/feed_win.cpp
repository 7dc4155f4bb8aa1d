#include "net/feed_win.h"

#include <atomic>

#include "app/app_state_win.h"
#include "app/text_win.h"
#include "build_settings.h"
#include "net/feed.h"
#include "net/feed_expiry_win.h"
#include "net/feed_signature_win.h"
#include "net/http_win.h"

namespace qv {

std::string feed_base_url() {
  return resolve_feed_base_url(read_environment(L"ZEL_BOOTSTRAP_FEED_URL"), kDefaultFeedBaseUrl);
}

void run_feed_precheck(const TrustSettings& trust) {
  const std::atomic<bool> never_stop{false};
  const auto feed = fetch_text(feed_base_url() + std::string(kFeedFileName), never_stop);
  if (!feed) return;
  const auto signed_feed = check_feed_signature(feed.value().text, trust.feed_keys);
  if (!signed_feed) return;
  if (!check_feed_freshness(feed.value(), signed_feed.value(), trust)) return;
  set_version_note(version_note_for_feed(signed_feed.value()));
}

}  // namespace qv

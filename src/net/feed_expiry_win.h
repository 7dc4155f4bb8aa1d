// Whether a signed release feed is still to be used, by this computer's clock.
#pragma once

#include <string_view>

#include "app/result.h"
#include "net/feed_signature.h"
#include "net/http_win.h"

namespace qv {

// check_feed_expiry (net/feed_expiry.h) of `signed_feed`, the part of `fetched` that its
// signature covers, with the clock's UTC time and local date and the answer's Date and Age.
Status check_feed_freshness(const FetchedText& fetched, std::string_view signed_feed,
                            const TrustSettings& trust);

}  // namespace qv

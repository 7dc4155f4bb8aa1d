// Where the release feed lives, and the pre-check that shows its version on the first screen.
#pragma once

#include <string>

#include "net/feed_signature.h"

namespace qv {

// ZEL_BOOTSTRAP_FEED_URL when set and valid Unicode, else the built-in base; ends in "/".
std::string feed_base_url();

// Body of the pre-check thread: fetches the feed once and publishes the version note, unless the
// feed fails the signature or expiry check of `trust`. Silent on every failure, and cannot be
// stopped.
void run_feed_precheck(const TrustSettings& trust);

}  // namespace qv

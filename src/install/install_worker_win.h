// One whole installation on a thread of its own: folder check, feed, free space, download,
// verification, the setup program, and the news for the window.
#pragma once

#include <string>

#include "net/download_win.h"
#include "net/feed_signature.h"

namespace qv {

// The thread body of one install run. `folder` is the trimmed, non-empty field text, used as it
// stands; `trust` says which feed keys and which setup publisher are required. Reports only
// through the shared state and MSG_RUN_FINISHED: wParam 0 after success, 1 after a cancel; a
// failure ends on the Failed screen with its reason and posts nothing else.
void run_install_worker(std::string folder, const TrustSettings& trust);

// The same with another pause before download retries, so that tests need not wait.
void run_install_worker(std::string folder, const TrustSettings& trust, const RetryPause& pause);

}  // namespace qv

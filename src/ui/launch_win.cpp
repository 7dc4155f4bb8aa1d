#include "ui/launch_win.h"

#include <string>

#include "app/app_state_win.h"
#include "install/busy_wait_win.h"
#include "ui/layout.h"
#include "ui/screen_rules.h"
#include "ui/shell_win.h"

namespace qv {

ProductLaunch::Outcome ProductLaunch::begin(HWND window, std::string_view path) {
  // Click and timer race: one launch at a time.
  if (backoff_) return Outcome::Busy;
  backoff_.emplace(busy_bound(kBusyBoundMs));
  return attempt(window, path);
}

ProductLaunch::Outcome ProductLaunch::retry(HWND window, std::string_view path) {
  if (!backoff_) return Outcome::Busy;
  return attempt(window, path);
}

ProductLaunch::Outcome ProductLaunch::attempt(HWND window, std::string_view path) {
  const std::uint32_t error = open_product(path);
  // The shell may run the window's messages while it works: a close handled meanwhile ended the
  // window, and with it this launch (reset). Nothing of it is touched any more.
  if (!backoff_) return error == 0 ? Outcome::Started : Outcome::Busy;
  if (error == 0) {
    backoff_.reset();
    return Outcome::Started;
  }
  const StateSnapshot state = snapshot_state();
  if (is_busy_error(FileStep::Launch, error)) {
    // Without its timer nothing would try again: that is a launch that failed.
    if (const std::optional<unsigned> pause = backoff_->next_pause();
        pause && SetTimer(window, TIMER_LAUNCH_RETRY, *pause, nullptr) != 0) {
      if (state.detail != kWaitingForProduct) {
        set_state(Screen::Done, state.status, kWaitingForProduct, false);
      }
      return Outcome::Waiting;
    }
  }
  backoff_.reset();
  set_state(Screen::Done, state.status, kLaunchFailedDetail, false);
  return Outcome::Failed;
}

}  // namespace qv

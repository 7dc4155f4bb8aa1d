// Launching the installed product from Done, by the Launch button or the automatic timer: through
// the shell with no error box of its own. While another program (a virus scanner) has the
// product's file in use, it is tried again on the install's schedule by TIMER_LAUNCH_RETRY, so
// the window stays responsive and says why it waits; a launch that never starts leaves Done with
// the reason, and the button tries again. Window thread only; the window owns one.
#pragma once

#include <optional>
#include <string_view>

#include "app/win.h"
#include "install/busy_wait.h"

namespace qv {

class ProductLaunch {
 public:
  enum class Outcome {
    Started,  // the product is running: the window's work is done
    Waiting,  // the retry timer is set
    Failed,   // Done says that it could not be started
    Busy,     // a launch is being tried already: this one does nothing
  };

  // A launch of `path` asked for, on `window`'s timer.
  Outcome begin(HWND window, std::string_view path);
  // TIMER_LAUNCH_RETRY's tick.
  Outcome retry(HWND window, std::string_view path);
  // Nothing under way any more (the window goes).
  void reset() { backoff_.reset(); }

 private:
  Outcome attempt(HWND window, std::string_view path);

  std::optional<BusyBackoff> backoff_;  // a launch is being tried
};

}  // namespace qv

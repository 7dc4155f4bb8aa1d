#include "install/busy_wait_win.h"

#include <algorithm>

#include "app/win.h"

namespace qv {
namespace {

// A cancel ends a pause within this long.
constexpr unsigned kPauseSliceMs = 20;

bool canceled(const BusyWait& wait) {
  return wait.cancel && wait.cancel->load();
}

// False when the cancel was raised meanwhile.
bool pause(const BusyWait& wait, unsigned ms) {
  for (unsigned slept = 0; slept < ms; slept += kPauseSliceMs) {
    if (canceled(wait)) return false;
    Sleep(std::min(kPauseSliceMs, ms - slept));
  }
  return !canceled(wait);
}

}  // namespace

unsigned busy_bound(unsigned bound_ms) {
#ifdef QV_TEST_HOOKS
  if (test_busy_bound_ms) return std::min(bound_ms, *test_busy_bound_ms);
#endif
  return bound_ms;
}

BusyOutcome retry_while_busy(FileStep kind, const BusyWait& wait,
                             const std::function<std::uint32_t()>& step) {
  BusyBackoff backoff(busy_bound(wait.bound_ms));
  bool shown = false;
  BusyOutcome outcome;
  for (;;) {
    outcome.error = step();
    if (!is_busy_error(kind, outcome.error)) break;
    const std::optional<unsigned> next = backoff.next_pause();
    if (!next) break;
    if (!shown && wait.show) wait.show(true);
    shown = true;
    if (!pause(wait, *next)) {
      outcome.canceled = true;
      break;
    }
  }
  if (shown && wait.show) wait.show(false);
  return outcome;
}

}  // namespace qv

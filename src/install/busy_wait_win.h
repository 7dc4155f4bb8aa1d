// The one way a step waits out another program's hold on a file (the schedule: busy_wait.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

#include "install/busy_wait.h"

namespace qv {

// How one step waits: how long at most, what ends the wait at once, and how it is shown.
struct BusyWait {
  unsigned bound_ms = kBusyBoundMs;
  // Raised: the wait ends at once (only the download's steps pass one: the other screens can't
  // be canceled).
  const std::atomic<bool>* cancel = nullptr;
  // Called with true before the first pause and with false once the waiting is over, so that the
  // screen says why nothing moves and then shows its own text again. Never called when the first
  // try succeeds.
  std::function<void(bool waiting)> show;
};

struct BusyOutcome {
  std::uint32_t error = 0;  // 0: the step succeeded; otherwise its last Windows error
  bool canceled = false;
  bool ok() const { return error == 0 && !canceled; }
  // The bound was spent with the file still in use.
  bool still_busy(FileStep step) const { return !canceled && is_busy_error(step, error); }
};

// The bound a wait of `bound_ms` really gets (shorter in test builds that ask for it).
unsigned busy_bound(unsigned bound_ms);

// Tries `step` (which returns 0, or the Windows error it failed with) until it succeeds, fails
// for a reason other than the file being in use, the bound is spent or the cancel is raised.
BusyOutcome retry_while_busy(FileStep kind, const BusyWait& wait,
                             const std::function<std::uint32_t()>& step);

// Runs `step` (0, or the Windows error it failed with) on a file of our own at `path`, telling an
// "access denied" apart by denied_by: for a folder of that name it answers kErrorIsFolder, which
// no wait changes; read-only, hidden or system attributes are cleared and the step is run once
// more; any other stays "access denied", for retry_while_busy to wait out.
std::uint32_t on_own_file(const wchar_t* path, const std::function<std::uint32_t()>& step);

// retry_while_busy for a step on our own file at `path`, each try told apart by on_own_file.
BusyOutcome retry_on_own_file(FileStep kind, const BusyWait& wait, const wchar_t* path,
                              const std::function<std::uint32_t()>& step);

// One deletion of our own file at `path`, by on_own_file's rules: 0 or the Windows error.
std::uint32_t delete_own_file(const wchar_t* path);

#ifdef QV_TEST_HOOKS
// Test builds only: the longest any step waits instead of its bound, so that a hold that never
// ends is given up on in a moment. Written only while no step waits. The shipped program has no
// such seam.
inline std::optional<unsigned> test_busy_bound_ms;
#endif

}  // namespace qv

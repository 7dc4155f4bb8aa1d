#include "install/busy_wait.h"

#include <algorithm>

namespace qv {

bool is_busy_error(FileStep step, std::uint32_t error) {
  if (error == kErrorSharingViolation || error == kErrorLockViolation) return true;
  return error == kErrorAccessDenied && (step == FileStep::Open || step == FileStep::Delete);
}

std::optional<unsigned> BusyBackoff::next_pause() {
  if (waited_ms_ >= bound_ms_) return std::nullopt;
  const unsigned pause = std::min(next_ms_, bound_ms_ - waited_ms_);
  waited_ms_ += pause;
  next_ms_ = std::min(next_ms_ * 2, kBusyLongestPauseMs);
  return pause;
}

}  // namespace qv

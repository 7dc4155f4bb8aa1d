#include "install/busy_wait.h"

#include <algorithm>

namespace qv {

bool is_busy_error(FileStep step, std::uint32_t error) {
  if (error == kErrorSharingViolation || error == kErrorLockViolation) return true;
  return error == kErrorAccessDenied && (step == FileStep::Open || step == FileStep::Delete);
}

DeniedBy denied_by(std::optional<std::uint32_t> attributes) {
  if (!attributes) return DeniedBy::Other;
  if ((*attributes & kAttributeDirectory) != 0) return DeniedBy::Folder;
  if ((*attributes & (kAttributeReadOnly | kAttributeHidden | kAttributeSystem)) != 0) {
    return DeniedBy::OwnAttributes;
  }
  return DeniedBy::Other;
}

std::optional<unsigned> BusyBackoff::next_pause() {
  if (waited_ms_ >= bound_ms_) return std::nullopt;
  const unsigned pause = std::min(next_ms_, bound_ms_ - waited_ms_);
  waited_ms_ += pause;
  next_ms_ = std::min(next_ms_ * 2, kBusyLongestPauseMs);
  return pause;
}

}  // namespace qv

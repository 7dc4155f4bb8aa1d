#include "net/capped_text.h"

#include <algorithm>

#include "app/text.h"

namespace qv {

bool CappedText::append(const std::uint8_t* bytes, std::size_t count) {
  const std::size_t room = limit_ - kept_.size();
  if (count > room) over_ = true;
  kept_.append(reinterpret_cast<const char*>(bytes), std::min(room, count));
  return !over_;
}

Result<std::string> CappedText::take() {
  if (!is_valid_utf8(kept_)) return fail("feed was not valid text");
  return std::move(kept_);
}

}  // namespace qv

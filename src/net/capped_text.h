// Keeps the first bytes of a response body up to a limit and checks they are text. Pure logic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/result.h"

namespace qv {

inline constexpr std::size_t kFetchTextLimit = 65536;

class CappedText {
 public:
  explicit CappedText(std::size_t limit = kFetchTextLimit) : limit_(limit) {}

  // Bytes past the limit are dropped. False once more than the limit has arrived: the rest of
  // the body would be dropped too, so the caller stops reading (a body that never ends is cut).
  bool append(const std::uint8_t* bytes, std::size_t count);

  // The kept bytes, or "feed was not valid text" when they are not UTF-8.
  Result<std::string> take();

 private:
  std::size_t limit_;
  std::string kept_;
  bool over_ = false;
};

}  // namespace qv

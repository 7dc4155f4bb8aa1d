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

  // Bytes past the limit are dropped; the caller goes on reading to the end of the body.
  void append(const std::uint8_t* bytes, std::size_t count);

  // The kept bytes, or "feed was not valid text" when they are not UTF-8.
  Result<std::string> take();

 private:
  std::size_t limit_;
  std::string kept_;
};

}  // namespace qv

// Design pixels (a 520 x 380 window at 96 DPI) to device pixels. Pure logic.
#pragma once

namespace qv {

inline constexpr int kDesignDpi = 96;

// Signed 32-bit, truncating toward zero. Sums of design values are scaled term by term.
constexpr int scale(int design, int dpi) {
  return design * dpi / kDesignDpi;
}

}  // namespace qv

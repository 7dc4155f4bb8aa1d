// The screens the window shows, one byte. Pure: the window's rules are unit-tested natively.
#pragma once

#include <cstdint>

namespace qv {

enum class Screen : std::uint8_t {
  ChooseLocation = 0,
  Downloading = 1,
  Verifying = 2,
  Installing = 3,
  Done = 4,
  Failed = 5,
};

}  // namespace qv

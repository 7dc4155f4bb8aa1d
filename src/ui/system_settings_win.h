// What the window reads of the system's settings: the high-contrast theme (as the palette it
// draws in) and the client-area animation setting.
#pragma once

#include <optional>

#include "ui/palette.h"

namespace qv {

// The palette for the system's current settings: the theme's colours while high contrast is on.
Palette read_palette();

// Whether the user has turned high contrast on; a failed query counts as off.
bool read_high_contrast();

// The system's client-area animation setting; a failed query counts as enabled.
bool read_animations_enabled();

#ifdef QV_TEST_HOOKS
// Test builds only: the answer read_high_contrast gives instead of asking the system (which under
// Wine always says off), none to ask it. The shipped program has no such seam.
inline std::optional<bool> test_high_contrast;
#endif

}  // namespace qv

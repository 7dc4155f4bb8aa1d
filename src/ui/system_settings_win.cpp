#include "ui/system_settings_win.h"

#include "app/win.h"

namespace qv {

bool read_animations_enabled() {
  BOOL enabled = TRUE;
  SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &enabled, 0);
  return enabled != FALSE;
}

bool read_high_contrast() {
#ifdef QV_TEST_HOOKS
  if (test_high_contrast) return *test_high_contrast;
#endif
  HIGHCONTRASTW setting{};
  setting.cbSize = sizeof setting;
  if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof setting, &setting, 0)) return false;
  return (setting.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

Palette read_palette() {
  if (!read_high_contrast()) return standard_palette();
  const auto system = [](int index) { return rgb_from_colorref(GetSysColor(index)); };
  return high_contrast_palette(SystemColours{
      .window = system(COLOR_WINDOW),
      .window_text = system(COLOR_WINDOWTEXT),
      .highlight = system(COLOR_HIGHLIGHT),
      .highlight_text = system(COLOR_HIGHLIGHTTEXT),
      .hot_light = system(COLOR_HOTLIGHT),
      .gray_text = system(COLOR_GRAYTEXT),
  });
}

}  // namespace qv

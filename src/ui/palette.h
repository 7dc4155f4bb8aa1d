// What every part of the window is drawn in: the product's own colours, or, when the user has
// turned high contrast on, the colours of the user's theme. Painting draws only from the palette
// the window hands it. Pure logic: no Windows header.
#pragma once

#include <cstdint>
#include <optional>

namespace qv {

struct Rgb {
  std::uint8_t r;
  std::uint8_t g;
  std::uint8_t b;
  friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

// The platform's 0x00BBGGRR colour value, and back.
constexpr std::uint32_t colorref(Rgb c) {
  return static_cast<std::uint32_t>(c.r) | (static_cast<std::uint32_t>(c.g) << 8) |
         (static_cast<std::uint32_t>(c.b) << 16);
}
constexpr Rgb rgb_from_colorref(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16)};
}

inline constexpr Rgb COLOR_TEXT{233, 238, 248};
inline constexpr Rgb COLOR_MUTED{156, 173, 204};
inline constexpr Rgb COLOR_ACCENT{99, 102, 241};
// The action button's face: the accent a shade darker, so that its white label reads at 4.7:1
// (on the accent itself, 4.47:1 falls short of 4.5:1).
inline constexpr Rgb COLOR_ACTION_FACE{94, 97, 241};
inline constexpr Rgb COLOR_CARD_TINT{106, 120, 166};
inline constexpr Rgb COLOR_CARD_BORDER{83, 97, 140};
inline constexpr Rgb COLOR_ERROR{255, 159, 159};
inline constexpr Rgb COLOR_LINK{143, 214, 255};
inline constexpr Rgb COLOR_TRACK{30, 40, 70};
inline constexpr Rgb COLOR_MARQUEE{83, 227, 242};
inline constexpr Rgb COLOR_BROWSE_FACE{44, 56, 89};
inline constexpr Rgb COLOR_WHITE{255, 255, 255};

// The card tint's constant source alpha, of 255.
inline constexpr int kCardTintAlpha = 42;

struct Palette {
  // Fills the whole client area instead of the background picture and the card tint; none draws
  // the picture.
  std::optional<Rgb> plain_background;
  Rgb text;         // title, status line, "Install location" label
  Rgb small_text;   // detail, hint line, version note
  Rgb error_text;   // status line on the failed screen
  Rgb close_glyph;  // the drawn close box
  Rgb link;         // "Get the full installer instead"
  Rgb accent_rule;  // the rule under the title
  Rgb card_border;
  Rgb action_face;  // the action button
  Rgb action_text;
  Rgb browse_face;  // the Browse button and its folder glyph
  Rgb browse_glyph;
  Rgb track_face;  // the progress track's inside and its edge
  Rgb track_edge;
  Rgb fill;            // the proportional progress fill
  Rgb marquee;         // the moving segment
  bool animated_logo;  // the orb where it may run; otherwise always the still logo
  friend constexpr bool operator==(const Palette&, const Palette&) = default;
};

constexpr Palette standard_palette() {
  return Palette{
      .plain_background = std::nullopt,
      .text = COLOR_TEXT,
      .small_text = COLOR_MUTED,
      .error_text = COLOR_ERROR,
      .close_glyph = COLOR_MUTED,
      .link = COLOR_LINK,
      .accent_rule = COLOR_ACCENT,
      .card_border = COLOR_CARD_BORDER,
      .action_face = COLOR_ACTION_FACE,
      .action_text = COLOR_WHITE,
      .browse_face = COLOR_BROWSE_FACE,
      .browse_glyph = COLOR_TEXT,
      .track_face = COLOR_TRACK,
      .track_edge = COLOR_TRACK,
      .fill = COLOR_ACCENT,
      .marquee = COLOR_MARQUEE,
      .animated_logo = true,
  };
}

// The colours of the user's theme that a high-contrast window is drawn in.
struct SystemColours {
  Rgb window;
  Rgb window_text;
  Rgb highlight;
  Rgb highlight_text;
  Rgb hot_light;
  Rgb gray_text;
};

// Only pairs that a contrast theme promises to tell apart meet: window text, grey text and
// hot-light on the window colour, highlight text on highlight. Lines that must stay visible
// (the rule, the card outline, the track's edge, the close glyph) are window text; the progress
// is highlight, as in the system's own progress bars. Nothing is tinted or animated.
constexpr Palette high_contrast_palette(const SystemColours& c) {
  return Palette{
      .plain_background = c.window,
      .text = c.window_text,
      .small_text = c.gray_text,
      .error_text = c.window_text,
      .close_glyph = c.window_text,
      .link = c.hot_light,
      .accent_rule = c.window_text,
      .card_border = c.window_text,
      .action_face = c.highlight,
      .action_text = c.highlight_text,
      .browse_face = c.highlight,
      .browse_glyph = c.highlight_text,
      .track_face = c.window,
      .track_edge = c.window_text,
      .fill = c.highlight,
      .marquee = c.highlight,
      .animated_logo = false,
  };
}

}  // namespace qv

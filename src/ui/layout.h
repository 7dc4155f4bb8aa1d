// The window's look in numbers: fonts, fixed texts and every position in design pixels
// (a 520 x 380 window at 96 DPI), with the arithmetic that turns them into device pixels.
// Pure logic: no Windows header, unit-tested natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "app/dpi.h"
#include "ui/palette.h"

namespace qv {

// ---- Fonts ----

struct FontSpec {
  int size;  // character height in design pixels
  int weight;
};

inline constexpr std::string_view kFontFace = "Segoe UI";
inline constexpr FontSpec kFontBody{15, 400};
inline constexpr FontSpec kFontSmall{12, 400};
inline constexpr FontSpec kFontButton{14, 700};
inline constexpr FontSpec kFontTitle{29, 700};

// Negative, so that the size is the character height rather than the cell height.
constexpr int font_height(FontSpec font, int dpi) {
  return -(font.size * dpi / kDesignDpi);
}

// ---- Fixed texts ----

inline constexpr std::string_view kTitleText = "QUORVANE";
inline constexpr std::string_view kCloseGlyph = "\u2715";
inline constexpr std::string_view kLocationLabel = "Install location";
inline constexpr std::string_view kHintText = "Installs just for you \u2014 no admin needed.";
inline constexpr std::string_view kLinkText = "Get the full installer instead";
inline constexpr std::string_view kLabelInstall = "Install";
inline constexpr std::string_view kLabelTryAgain = "Try Again";
inline constexpr std::string_view kLabelLaunch = "Launch Quorvane";
inline constexpr std::string_view kBrowseText = "Browse";
inline constexpr std::string_view kStartingStatus = "Starting...";
// Done's detail when the product would not start; the Launch button stays and tries again.
inline constexpr std::string_view kLaunchFailedDetail =
    "Quorvane couldn't be started. Try again in a moment.";

inline constexpr std::string_view kWindowClassName = "QuorvaneInstallerWindow";
inline constexpr std::string_view kWindowTitle = "Quorvane Setup";
inline constexpr std::string_view kMutexName = "QuorvaneInstallerStub";
inline constexpr std::string_view kAlreadyRunningText =
    "The Quorvane installer is already running.";

// ---- Geometry ----

struct Point {
  int x;
  int y;
};

// Device pixels; right and bottom exclusive.
struct Box {
  int left;
  int top;
  int right;
  int bottom;

  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  friend bool operator==(const Box&, const Box&) = default;
};

// A design rectangle given by position and size.
struct DesignRect {
  int x;
  int y;
  int width;
  int height;
};

// A design rectangle given by its four edges.
struct DesignEdges {
  int left;
  int top;
  int right;
  int bottom;
};

// Position and size in device pixels, as MoveWindow takes them.
struct Placement {
  int x;
  int y;
  int width;
  int height;
  friend bool operator==(const Placement&, const Placement&) = default;
};

// Each term is scaled on its own: the right edge is scale(x) + scale(width), never
// scale(x + width), so neighbouring shapes keep their gaps at every DPI.
constexpr Box scaled_box(DesignRect r, int dpi) {
  return {scale(r.x, dpi), scale(r.y, dpi), scale(r.x, dpi) + scale(r.width, dpi),
          scale(r.y, dpi) + scale(r.height, dpi)};
}
constexpr Box scaled_box(DesignEdges e, int dpi) {
  return {scale(e.left, dpi), scale(e.top, dpi), scale(e.right, dpi), scale(e.bottom, dpi)};
}
constexpr Point scaled_point(Point p, int dpi) {
  return {scale(p.x, dpi), scale(p.y, dpi)};
}
constexpr Placement scaled_placement(DesignRect r, int dpi) {
  return {scale(r.x, dpi), scale(r.y, dpi), scale(r.width, dpi), scale(r.height, dpi)};
}

inline constexpr int kWindowWidth = 520;
inline constexpr int kWindowHeight = 380;

inline constexpr DesignRect kLogoSquare{40, 46, 84, 84};
inline constexpr Point kTitlePos{148, 72};
inline constexpr int kTitleLetterSpacing = 3;
inline constexpr DesignRect kAccentRule{150, 110, 196, 3};
inline constexpr DesignEdges kCard{28, 170, 492, 356};
inline constexpr int kCardCorner = 18;
inline constexpr Point kStatusPos{50, 192};
inline constexpr Point kDetailLinePos{50, 220};
inline constexpr DesignEdges kDetailBox{50, 222, 480, 300};
inline constexpr Point kLinkPos{50, 330};
inline constexpr DesignRect kProgressTrack{50, 314, 420, 10};
inline constexpr int kProgressCorner = 5;
inline constexpr Point kLocationLabelPos{50, 186};
inline constexpr Point kHintPos{50, 250};
inline constexpr Point kVersionNotePos{50, 326};

// Child controls.
inline constexpr DesignRect kEditRect{50, 212, 252, 30};
inline constexpr DesignRect kBrowseRect{310, 210, 38, 34};
inline constexpr DesignRect kInstallButtonRect{358, 210, 112, 34};
inline constexpr DesignRect kLaunchButtonRect{50, 280, 184, 38};
inline constexpr DesignRect kRetryButtonRect{50, 284, 150, 34};
inline constexpr int kButtonCorner = 10;

// Hit areas (left and top inclusive, right and bottom exclusive).
inline constexpr DesignEdges kCloseBox{484, 8, 512, 36};
inline constexpr int kCaptionBandBottom = 168;
inline constexpr DesignEdges kLinkHitBox{50, 330, 470, 352};

// The window's device size at a DPI.
constexpr Placement window_size(int dpi) {
  return {0, 0, scale(kWindowWidth, dpi), scale(kWindowHeight, dpi)};
}

// Centred on the full screen; a screen smaller than the window gives negative coordinates.
constexpr Point centred_origin(int screen_width, int screen_height, int width, int height) {
  return {(screen_width - width) / 2, (screen_height - height) / 2};
}

Box card_box(int dpi);
Box logo_box(int dpi);
Box accent_rule_box(int dpi);
Box progress_track_box(int dpi);
Point close_glyph_pos(int dpi);

// The card outline's pen: one pixel per whole 96 DPI, at least one.
constexpr int card_pen_width(int dpi) {
  return dpi / kDesignDpi > 1 ? dpi / kDesignDpi : 1;
}

// A button's rounded window region, (0, 0) to (width + 1, height + 1), each term scaled.
Box button_region_box(DesignRect button, int dpi);

// ---- Keyboard focus cue ----

// A ring inside a focused button, and an outline around the focused link's text.
inline constexpr int kFocusInset = 3;
inline constexpr int kFocusCorner = 6;

constexpr int focus_pen_width(int dpi) {
  return scale(2, dpi) > 1 ? scale(2, dpi) : 1;
}

// `button` is the button's own rectangle, in its device pixels.
Box button_focus_box(Box button, int dpi);

// Around the link text whose extent is `text_width` x `text_height` device pixels.
Box link_focus_box(int dpi, int text_width, int text_height);

// ---- Hit testing, in client coordinates ----

bool in_close_box(Point client, int dpi);
bool in_link(Point client, int dpi);

enum class NcHit { Client, Caption };
// The band at the top drags the window, except over the close box.
NcHit classify_client_point(Point client, int dpi);

// ---- Progress bar ----

// Indeterminate: a segment of 30 % of the track that enters at the left, crosses and leaves at
// the right once per 1000 units of `marquee_pos`. Nothing when it is outside the track.
std::optional<Box> marquee_segment(Box track, std::uint32_t marquee_pos);

// Determinate: the filled part for `permille` (above 1000 fills the whole track); nothing at 0.
std::optional<Box> progress_fill(Box track, std::uint32_t permille);

// The marquee's step per 40 ms tick.
constexpr std::uint32_t next_marquee_pos(std::uint32_t pos) {
  return (pos + 22) % 1000;
}

// ---- Folder glyph on the Browse button ----

struct FolderGlyph {
  Box tab;
  Box body;
  int corner;
  int pen_width;
};

FolderGlyph folder_glyph(Box button, int dpi);

}  // namespace qv

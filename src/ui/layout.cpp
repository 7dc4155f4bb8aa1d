#include "ui/layout.h"

#include <algorithm>

namespace qv {

Box card_box(int dpi) {
  return scaled_box(kCard, dpi);
}

Box logo_box(int dpi) {
  return scaled_box(kLogoSquare, dpi);
}

Box accent_rule_box(int dpi) {
  return scaled_box(kAccentRule, dpi);
}

Box progress_track_box(int dpi) {
  return scaled_box(kProgressTrack, dpi);
}

Point close_glyph_pos(int dpi) {
  // The glyph sits 8 design pixels inside the close box's corner.
  return {scale(484, dpi) + scale(8, dpi), scale(2, dpi) + scale(8, dpi)};
}

Box button_region_box(DesignRect button, int dpi) {
  return {0, 0, scale(button.width, dpi) + scale(1, dpi),
          scale(button.height, dpi) + scale(1, dpi)};
}

Box button_focus_box(Box button, int dpi) {
  const int inset = scale(kFocusInset, dpi);
  return {button.left + inset, button.top + inset, button.right - inset, button.bottom - inset};
}

Box link_focus_box(int dpi, int text_width, int text_height) {
  const Point text = scaled_point(kLinkPos, dpi);
  const int dx = scale(4, dpi);
  const int dy = scale(2, dpi);
  return {text.x - dx, text.y - dy, text.x + text_width + dx, text.y + text_height + dy};
}

bool in_close_box(Point client, int dpi) {
  return scaled_box(kCloseBox, dpi).contains(client);
}

bool in_link(Point client, int dpi) {
  return scaled_box(kLinkHitBox, dpi).contains(client);
}

NcHit classify_client_point(Point client, int dpi) {
  if (client.y >= scale(kCaptionBandBottom, dpi)) return NcHit::Client;
  if (in_close_box(client, dpi)) return NcHit::Client;
  return NcHit::Caption;
}

std::optional<Box> marquee_segment(Box track, std::uint32_t marquee_pos) {
  const int x0 = track.left;
  const int w = track.width();
  const int s = w * 30 / 100;
  const auto t = static_cast<int>(static_cast<std::int64_t>(w + s) * (marquee_pos % 1000) / 1000);
  const int left = std::max(x0, x0 + t - s);
  const int right = std::min(x0 + w, x0 + t);
  if (left >= right) return std::nullopt;
  return Box{left, track.top, right, track.bottom};
}

std::optional<Box> progress_fill(Box track, std::uint32_t permille) {
  if (permille == 0) return std::nullopt;
  const std::int64_t p = std::min<std::uint32_t>(permille, 1000);
  const auto filled = static_cast<int>(static_cast<std::int64_t>(track.width()) * p / 1000);
  return Box{track.left, track.top, track.left + filled, track.bottom};
}

FolderGlyph folder_glyph(Box button, int dpi) {
  const int w = button.width();
  const int h = button.height();
  const int bw = w * 46 / 100;
  const int bh = bw * 76 / 100;
  const int x = button.left + (w - bw) / 2;
  const int y = button.top + h / 22 + (h - bh) / 2;  // centred, nudged down a little
  const int k = std::max(1, scale(3, dpi));
  FolderGlyph glyph{};
  glyph.corner = k;
  glyph.pen_width = std::max(1, scale(2, dpi));
  // The tab covers the left 46 % of the body and overlaps its top edge by k pixels.
  glyph.tab = Box{x, y - bh * 32 / 100, x + bw * 46 / 100, y + k};
  glyph.body = Box{x, y, x + bw, y + bh};
  return glyph;
}

}  // namespace qv

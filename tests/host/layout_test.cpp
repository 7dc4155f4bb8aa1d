#include "ui/layout.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(Palette, ColourValuesAreBgrOrdered) {
  EXPECT_EQ(colorref(COLOR_TEXT), 0xF8EEE9u);
  EXPECT_EQ(colorref(COLOR_MUTED), 0xCCAD9Cu);
  EXPECT_EQ(colorref(COLOR_ACCENT), 0xF16663u);
  EXPECT_EQ(colorref(COLOR_CARD_TINT), 0xA6786Au);
  EXPECT_EQ(colorref(COLOR_CARD_BORDER), 0x8C6153u);
  EXPECT_EQ(colorref(COLOR_ERROR), 0x9F9FFFu);
  EXPECT_EQ(colorref(COLOR_LINK), 0xFFD68Fu);
  EXPECT_EQ(colorref(COLOR_TRACK), 0x46281Eu);
  EXPECT_EQ(colorref(COLOR_MARQUEE), 0xF2E353u);
  EXPECT_EQ(colorref(COLOR_BROWSE_FACE), 0x59382Cu);
  EXPECT_EQ(colorref(COLOR_WHITE), 0xFFFFFFu);
}

TEST(Fonts, HeightsTruncateAtEveryDpi) {
  struct Row {
    int dpi, body, small, button, title;
  };
  for (const Row& r : {Row{96, -15, -12, -14, -29}, Row{120, -18, -15, -17, -36},
                       Row{144, -22, -18, -21, -43}, Row{192, -30, -24, -28, -58}}) {
    SCOPED_TRACE(r.dpi);
    EXPECT_EQ(font_height(kFontBody, r.dpi), r.body);
    EXPECT_EQ(font_height(kFontSmall, r.dpi), r.small);
    EXPECT_EQ(font_height(kFontButton, r.dpi), r.button);
    EXPECT_EQ(font_height(kFontTitle, r.dpi), r.title);
  }
}

TEST(Geometry, WindowAndChildControlsAtEveryDpi) {
  EXPECT_EQ(window_size(96), (Placement{0, 0, 520, 380}));
  EXPECT_EQ(window_size(120), (Placement{0, 0, 650, 475}));
  EXPECT_EQ(window_size(144), (Placement{0, 0, 780, 570}));
  EXPECT_EQ(window_size(192), (Placement{0, 0, 1040, 760}));

  EXPECT_EQ(scaled_placement(kEditRect, 96), (Placement{50, 212, 252, 30}));
  EXPECT_EQ(scaled_placement(kEditRect, 120), (Placement{62, 265, 315, 37}));
  EXPECT_EQ(scaled_placement(kEditRect, 144), (Placement{75, 318, 378, 45}));
  EXPECT_EQ(scaled_placement(kEditRect, 192), (Placement{100, 424, 504, 60}));
  EXPECT_EQ(scaled_placement(kInstallButtonRect, 144), (Placement{537, 315, 168, 51}));
  EXPECT_EQ(scaled_placement(kLaunchButtonRect, 120), (Placement{62, 350, 230, 47}));
  EXPECT_EQ(scaled_placement(kRetryButtonRect, 144), (Placement{75, 426, 225, 51}));
}

TEST(Geometry, CardLogoRuleAndTrackScaleEachTermOnItsOwn) {
  EXPECT_EQ(card_box(96), (Box{28, 170, 492, 356}));
  EXPECT_EQ(card_box(120), (Box{35, 212, 615, 445}));
  EXPECT_EQ(card_box(144), (Box{42, 255, 738, 534}));
  EXPECT_EQ(card_box(192), (Box{56, 340, 984, 712}));

  EXPECT_EQ(logo_box(96), (Box{40, 46, 124, 130}));
  EXPECT_EQ(logo_box(144), (Box{60, 69, 186, 195}));

  EXPECT_EQ(accent_rule_box(96), (Box{150, 110, 346, 113}));
  // At 120 DPI the rule's bottom is scale(110) + scale(3) = 137 + 3, where scale(113) gives 141.
  EXPECT_EQ(accent_rule_box(120), (Box{187, 137, 432, 140}));
  EXPECT_EQ(accent_rule_box(144), (Box{225, 165, 519, 169}));

  EXPECT_EQ(progress_track_box(96), (Box{50, 314, 470, 324}));
  EXPECT_EQ(progress_track_box(144), (Box{75, 471, 705, 486}));

  EXPECT_EQ(close_glyph_pos(96).x, 492);
  EXPECT_EQ(close_glyph_pos(96).y, 10);
  EXPECT_EQ(close_glyph_pos(144).x, 738);
  EXPECT_EQ(close_glyph_pos(144).y, 15);  // scale(2) + scale(8) = 3 + 12

  EXPECT_EQ(card_pen_width(96), 1);
  EXPECT_EQ(card_pen_width(144), 1);
  EXPECT_EQ(card_pen_width(192), 2);

  EXPECT_EQ(button_region_box(kInstallButtonRect, 96), (Box{0, 0, 113, 35}));
  EXPECT_EQ(button_region_box(kInstallButtonRect, 192), (Box{0, 0, 226, 70}));
}

TEST(Geometry, CentringMayGoNegative) {
  const Point p = centred_origin(1920, 1080, 780, 570);
  EXPECT_EQ(p.x, 570);
  EXPECT_EQ(p.y, 255);
  const Point small = centred_origin(640, 480, 1040, 760);
  EXPECT_EQ(small.x, -200);
  EXPECT_EQ(small.y, -140);
  const Point odd = centred_origin(641, 480, 650, 475);
  EXPECT_EQ(odd.x, -4);  // -9 / 2 truncates toward zero
  EXPECT_EQ(odd.y, 2);
}

TEST(HitTest, CloseBoxCaptionBandAndLinkBounds) {
  EXPECT_TRUE(in_close_box({484, 8}, 96));
  EXPECT_TRUE(in_close_box({511, 35}, 96));
  EXPECT_FALSE(in_close_box({512, 8}, 96));
  EXPECT_FALSE(in_close_box({483, 20}, 96));
  EXPECT_FALSE(in_close_box({500, 36}, 96));
  EXPECT_TRUE(in_close_box({726, 12}, 144));
  EXPECT_TRUE(in_close_box({767, 53}, 144));
  EXPECT_FALSE(in_close_box({768, 30}, 144));
  EXPECT_FALSE(in_close_box({740, 11}, 144));

  EXPECT_EQ(classify_client_point({10, 0}, 96), NcHit::Caption);
  EXPECT_EQ(classify_client_point({10, 167}, 96), NcHit::Caption);
  EXPECT_EQ(classify_client_point({10, 168}, 96), NcHit::Client);
  EXPECT_EQ(classify_client_point({490, 20}, 96), NcHit::Client);  // the close box
  EXPECT_EQ(classify_client_point({490, 40}, 96), NcHit::Caption);
  EXPECT_EQ(classify_client_point({10, 251}, 144), NcHit::Caption);
  EXPECT_EQ(classify_client_point({10, 252}, 144), NcHit::Client);

  EXPECT_TRUE(in_link({50, 330}, 96));
  EXPECT_TRUE(in_link({469, 351}, 96));
  EXPECT_FALSE(in_link({470, 340}, 96));
  EXPECT_FALSE(in_link({60, 352}, 96));
  EXPECT_FALSE(in_link({49, 340}, 96));
  EXPECT_TRUE(in_link({75, 495}, 144));
  EXPECT_FALSE(in_link({75, 528}, 144));
}

TEST(Progress, MarqueeEntersCrossesAndLeaves) {
  const Box track = progress_track_box(96);
  EXPECT_FALSE(marquee_segment(track, 0));  // nothing visible at the start of a sweep
  EXPECT_EQ(marquee_segment(track, 100), (Box{50, 314, 104, 324}));   // entering: 546 * 0.1
  EXPECT_EQ(marquee_segment(track, 500), (Box{197, 314, 323, 324}));  // 126 long in the middle
  EXPECT_EQ(marquee_segment(track, 999), (Box{469, 314, 470, 324}));  // leaving
  EXPECT_EQ(marquee_segment(track, 1500), marquee_segment(track, 500));
  EXPECT_FALSE(marquee_segment(Box{0, 0, 0, 10}, 500));  // an empty track draws nothing

  std::uint32_t pos = 0;
  for (int i = 0; i < 45; ++i) pos = next_marquee_pos(pos);
  EXPECT_EQ(pos, 990u);
  EXPECT_EQ(next_marquee_pos(pos), 12u);  // wraps at 1000
}

TEST(Progress, FillIsProportionalAndCapped) {
  const Box track = progress_track_box(96);
  EXPECT_FALSE(progress_fill(track, 0));
  EXPECT_EQ(progress_fill(track, 500), (Box{50, 314, 260, 324}));
  EXPECT_EQ(progress_fill(track, 1000), (Box{50, 314, 470, 324}));
  EXPECT_EQ(progress_fill(track, 4000000000u), (Box{50, 314, 470, 324}));
  EXPECT_EQ(progress_fill(track, 1)->width(), 0);
  EXPECT_EQ(progress_fill(progress_track_box(144), 333), (Box{75, 471, 284, 486}));
}

TEST(FolderGlyph, CentredOutlineWithTabOnTheLeft) {
  const FolderGlyph g = folder_glyph(Box{0, 0, 38, 34}, 96);
  EXPECT_EQ(g.body, (Box{10, 12, 27, 24}));
  EXPECT_EQ(g.tab, (Box{10, 9, 17, 15}));
  EXPECT_EQ(g.corner, 3);
  EXPECT_EQ(g.pen_width, 2);

  const FolderGlyph big = folder_glyph(Box{465, 315, 522, 366}, 144);  // Browse at 144 DPI
  EXPECT_EQ(big.body, (Box{480, 333, 506, 352}));
  EXPECT_EQ(big.tab, (Box{480, 327, 491, 337}));
  EXPECT_EQ(big.corner, 4);
  EXPECT_EQ(big.pen_width, 3);
}

}  // namespace
}  // namespace qv

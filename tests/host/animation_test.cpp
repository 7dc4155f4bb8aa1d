// The animated logo's pure half: resampling taps, masking, the blend and the loop.
#include "ui/animation.h"

#include <gtest/gtest.h>

#include <numeric>

namespace qv {
namespace {

constexpr std::uint32_t bgra(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

void expect_taps_are_normalised_and_inside(const std::vector<ResampleTap>& taps, std::uint32_t n) {
  for (std::size_t i = 0; i < taps.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_FALSE(taps[i].weights.empty());
    EXPECT_LE(taps[i].start + taps[i].weights.size(), n);
    const float sum = std::accumulate(taps[i].weights.begin(), taps[i].weights.end(), 0.0f);
    EXPECT_NEAR(sum, 1.0f, 1e-5f);
    for (float w : taps[i].weights) EXPECT_GE(w, 0.0f);
  }
}

TEST(ResampleWeights, At96DpiEightyFourFromOneFortyFour) {
  const auto taps = build_resample_weights(144, 84);
  ASSERT_EQ(taps.size(), 84u);
  expect_taps_are_normalised_and_inside(taps, 144);

  EXPECT_EQ(taps[0].start, 0u);
  ASSERT_EQ(taps[0].weights.size(), 3u);
  EXPECT_NEAR(taps[0].weights[0], 0.5429f, 1e-4f);
  EXPECT_NEAR(taps[0].weights[1], 0.4286f, 1e-4f);
  EXPECT_NEAR(taps[0].weights[2], 0.0286f, 1e-4f);

  EXPECT_EQ(taps[83].start, 141u);
  ASSERT_EQ(taps[83].weights.size(), 3u);
  EXPECT_NEAR(taps[83].weights[0], 0.0286f, 1e-4f);
  EXPECT_NEAR(taps[83].weights[1], 0.4286f, 1e-4f);
  EXPECT_NEAR(taps[83].weights[2], 0.5429f, 1e-4f);

  // Inside, a tap spans the whole support of 1.714: four source pixels around its centre.
  EXPECT_EQ(taps[42].weights.size(), 4u);
  EXPECT_EQ(taps[42].start, 71u);
}

TEST(ResampleWeights, At192DpiOneSixtyEightFromOneFortyFour) {
  const auto taps = build_resample_weights(144, 168);
  ASSERT_EQ(taps.size(), 168u);
  expect_taps_are_normalised_and_inside(taps, 144);

  EXPECT_EQ(taps[0].start, 0u);
  ASSERT_EQ(taps[0].weights.size(), 1u);
  EXPECT_FLOAT_EQ(taps[0].weights[0], 1.0f);

  EXPECT_EQ(taps[1].start, 0u);
  ASSERT_EQ(taps[1].weights.size(), 2u);
  EXPECT_NEAR(taps[1].weights[0], 0.2143f, 1e-4f);
  EXPECT_NEAR(taps[1].weights[1], 0.7857f, 1e-4f);

  // The far edge mirrors the near one and never reads past the last source pixel.
  EXPECT_EQ(taps[167].start, 143u);
  ASSERT_EQ(taps[167].weights.size(), 1u);
  EXPECT_EQ(taps[166].start + taps[166].weights.size(), 144u);
  EXPECT_NEAR(taps[166].weights.back(), 0.2143f, 1e-4f);
}

TEST(ResampleWeights, DegenerateSizes) {
  EXPECT_TRUE(build_resample_weights(144, 0).empty());
  // No source pixels: every tap is empty rather than reading index -1.
  const auto none = build_resample_weights(0, 3);
  ASSERT_EQ(none.size(), 3u);
  for (const auto& tap : none) EXPECT_TRUE(tap.weights.empty());
  // One source pixel spread over many: each output reads it alone.
  for (const auto& tap : build_resample_weights(1, 5)) {
    EXPECT_EQ(tap.start, 0u);
    ASSERT_EQ(tap.weights.size(), 1u);
    EXPECT_FLOAT_EQ(tap.weights[0], 1.0f);
  }
}

TEST(ApplyMask, AlphaFromTheMaskBlueByteAndColoursClampedToIt) {
  const std::uint32_t side = 2;
  const std::vector<std::uint32_t> mask = {bgra(255, 0x40, 0x40, 0x40), bgra(255, 255, 255, 255),
                                           bgra(255, 0, 0, 0), bgra(0x12, 0x34, 0x56, 0x80)};
  // Two frames: the mask repeats for each.
  const std::vector<std::uint32_t> strip = {
      bgra(255, 0x90, 0x20, 0x41), bgra(255, 1, 2, 3),          bgra(255, 9, 9, 9),
      bgra(255, 200, 100, 0),      bgra(255, 0x30, 0x50, 0x70), bgra(255, 255, 255, 255),
      bgra(255, 255, 0, 255),      bgra(255, 0x7F, 0x81, 0x80)};
  const auto out = apply_mask(strip, mask, side);
  ASSERT_EQ(out.size(), strip.size());
  EXPECT_EQ(out[0], bgra(0x40, 0x40, 0x20, 0x40));  // clamped to the coverage, not scaled
  EXPECT_EQ(out[1], bgra(255, 1, 2, 3));            // full coverage keeps the colour
  EXPECT_EQ(out[2], bgra(0, 0, 0, 0));              // no coverage: transparent black
  EXPECT_EQ(out[3], bgra(0x80, 0x80, 100, 0));      // only the blue byte counts
  EXPECT_EQ(out[4], bgra(0x40, 0x30, 0x40, 0x40));
  EXPECT_EQ(out[5], bgra(255, 255, 255, 255));
  EXPECT_EQ(out[6], 0u);
  EXPECT_EQ(out[7], bgra(0x80, 0x7F, 0x80, 0x80));
  for (std::uint32_t p : out) {
    const std::uint32_t a = p >> 24;
    EXPECT_LE(p & 0xFF, a);
    EXPECT_LE((p >> 8) & 0xFF, a);
    EXPECT_LE((p >> 16) & 0xFF, a);
  }
  EXPECT_TRUE(apply_mask(strip, {1, 2}, side).empty());  // a mask smaller than a frame
}

DecodedPicture picture(std::uint32_t width, std::uint32_t height) {
  return DecodedPicture{width, height, std::vector<std::uint32_t>(std::size_t{width} * height)};
}

TEST(FrameSideForMask, OnlyASquareMaskWhoseWholeStripFitsTheLimitGivesASide) {
  EXPECT_EQ(frame_side_for_mask(picture(3, 3), 3 * 3 * 288), 3u);
  EXPECT_EQ(frame_side_for_mask(picture(3, 3), 3 * 3 * 288 - 1), 0u);  // the strip too large
  EXPECT_EQ(frame_side_for_mask(picture(3, 4), 1000000), 0u);          // mask not square
  EXPECT_EQ(frame_side_for_mask(picture(4, 3), 1000000), 0u);
  EXPECT_EQ(frame_side_for_mask(picture(0, 0), 1000000), 0u);
  DecodedPicture short_mask = picture(3, 3);
  short_mask.pixels.pop_back();
  EXPECT_EQ(frame_side_for_mask(short_mask, 1000000), 0u);
}

// Frames of `side` where every pixel of frame k is `colour(k)`.
AnimationFrames uniform_frames(std::uint32_t side, std::uint32_t (*colour)(std::uint32_t)) {
  AnimationFrames frames;
  frames.side = side;
  frames.pixels.resize(std::size_t{kAnimationFrameCount} * side * side);
  for (std::uint32_t k = 0; k < kAnimationFrameCount; ++k) {
    std::fill_n(frames.pixels.begin() + std::size_t{k} * side * side, side * side, colour(k));
  }
  return frames;
}

std::vector<std::uint32_t> patterned_backdrop(std::uint32_t edge) {
  std::vector<std::uint32_t> backdrop(std::size_t{edge} * edge);
  for (std::size_t i = 0; i < backdrop.size(); ++i) {
    // Varied bytes; the backdrop's own alpha byte is whatever GDI left there.
    backdrop[i] = bgra(i % 7, (i * 37) % 256, (i * 11) % 256, (i * 5 + 3) % 256);
  }
  return backdrop;
}

class ComposeFrame : public testing::TestWithParam<std::uint32_t> {};

TEST_P(ComposeFrame, TransparentFrameLeavesTheBackdropExactly) {
  const std::uint32_t edge = GetParam();
  const auto frames = uniform_frames(144, [](std::uint32_t) { return 0u; });
  const auto backdrop = patterned_backdrop(edge);
  FrameCache cache;
  prepare_frame_cache(cache, 144, edge);
  cache.surface_bits = backdrop.data();
  ASSERT_TRUE(compose_frame(frames, 5, cache));
  for (std::size_t i = 0; i < backdrop.size(); ++i) {
    ASSERT_EQ(cache.out[i], backdrop[i] | 0xFF000000u) << i;
  }
}

TEST_P(ComposeFrame, OpaqueFrameGivesItsOwnColourAndTheIndexPicksTheFrame) {
  const std::uint32_t edge = GetParam();
  const auto frames =
      uniform_frames(144, [](std::uint32_t k) { return bgra(255, k % 256, 100, 7); });
  const auto backdrop = patterned_backdrop(edge);
  FrameCache cache;
  prepare_frame_cache(cache, 144, edge);
  cache.surface_bits = backdrop.data();
  for (std::uint32_t k : {0u, 1u, 200u, 287u}) {
    ASSERT_TRUE(compose_frame(frames, k, cache));
    for (std::size_t i = 0; i < cache.out.size(); ++i) {
      ASSERT_EQ(cache.out[i], bgra(255, k % 256, 100, 7)) << "frame " << k << " pixel " << i;
    }
  }
}

TEST_P(ComposeFrame, PartialCoverageIsSourceOverWithAPremultipliedSource) {
  const std::uint32_t edge = GetParam();
  // Coverage 102 of 255 (f = 0.6), colour already premultiplied.
  const auto frames = uniform_frames(144, [](std::uint32_t) { return bgra(102, 100, 50, 0); });
  const std::vector<std::uint32_t> backdrop(std::size_t{edge} * edge, bgra(0, 200, 10, 255));
  FrameCache cache;
  prepare_frame_cache(cache, 144, edge);
  cache.surface_bits = backdrop.data();
  ASSERT_TRUE(compose_frame(frames, 0, cache));
  // red 200 * 0.6 + 100 = 220; green 10 * 0.6 + 50 = 56; blue 255 * 0.6 + 0 = 153.
  for (std::uint32_t p : cache.out) ASSERT_EQ(p, bgra(255, 220, 56, 153));
}

INSTANTIATE_TEST_SUITE_P(LogoSizes, ComposeFrame, testing::Values(84u, 168u, 105u, 126u));

TEST(ComposeFrameShape, SameSizeIsACopyAndTheEdgeFollowsTheFrame) {
  // At edge == side the filter reduces to the identity: the frame comes back pixel for pixel.
  const std::uint32_t side = 6;
  AnimationFrames frames;
  frames.side = side;
  frames.pixels.assign(std::size_t{kAnimationFrameCount} * side * side, 0);
  for (std::uint32_t i = 0; i < side * side; ++i) {
    const std::uint32_t a = (i * 41) % 256;
    frames.pixels[std::size_t{3} * side * side + i] = bgra(a, a / 2, a / 3, a);
  }
  const std::vector<std::uint32_t> black(side * side, 0);
  FrameCache cache;
  prepare_frame_cache(cache, side, side);
  cache.surface_bits = black.data();
  ASSERT_TRUE(compose_frame(frames, 3, cache));
  for (std::uint32_t i = 0; i < side * side; ++i) {
    const std::uint32_t a = (i * 41) % 256;
    EXPECT_EQ(cache.out[i], bgra(255, a / 2, a / 3, a)) << i;
  }
}

TEST(ComposeFrameShape, RefusesWhatDoesNotFit) {
  const auto frames = uniform_frames(144, [](std::uint32_t) { return 0u; });
  const auto backdrop = patterned_backdrop(84);
  FrameCache cache;
  prepare_frame_cache(cache, 144, 84);
  EXPECT_FALSE(compose_frame(frames, 0, cache));  // no backdrop yet
  cache.surface_bits = backdrop.data();
  EXPECT_FALSE(compose_frame(frames, 288, cache));  // past the last frame
  AnimationFrames short_frames = frames;
  short_frames.pixels.pop_back();
  EXPECT_FALSE(compose_frame(short_frames, 287, cache));
  EXPECT_TRUE(compose_frame(short_frames, 286, cache));
  FrameCache other_side;
  prepare_frame_cache(other_side, 100, 84);  // built for frames of another side
  other_side.surface_bits = backdrop.data();
  EXPECT_FALSE(compose_frame(frames, 0, other_side));
}

TEST(AnimationStep, LoopsFrom287ToZero) {
  EXPECT_EQ(next_animation_frame(0), 1u);
  EXPECT_EQ(next_animation_frame(286), 287u);
  EXPECT_EQ(next_animation_frame(287), 0u);
  std::uint32_t frame = 17;
  for (std::uint32_t i = 0; i < kAnimationFrameCount; ++i) {
    frame = next_animation_frame(frame);
    ASSERT_LT(frame, kAnimationFrameCount);
  }
  EXPECT_EQ(frame, 17u);  // one full loop is 288 ticks
}

}  // namespace
}  // namespace qv

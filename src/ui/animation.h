// The animated logo's pure half: the decoded frames, the masking of the strip, the triangle-filter
// resampling and the blend of one frame over the captured backdrop. No Windows header: the Win32
// half (decoding, DIB sections, drawing) lives in pictures_win.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qv {

// The strip holds this many frames, played as a loop: frame 287 is followed by frame 0.
inline constexpr std::uint32_t kAnimationFrameCount = 288;

// The strip is stored as this many pictures of consecutive frames, each decoded on its own
// straight into its place among the frames: while a picture is open GDI+ holds two decoded
// copies of it, and of one part they are an eighth of the whole strip's.
inline constexpr std::uint32_t kStripParts = 8;
inline constexpr std::uint32_t kStripPartFrames = kAnimationFrameCount / kStripParts;
static_assert(kStripPartFrames * kStripParts == kAnimationFrameCount);

// Logo square in design pixels (scaled at use): edge length and top-left corner.
inline constexpr int kLogoSize = 84;
inline constexpr int kLogoLeft = 40;
inline constexpr int kLogoTop = 46;

// Every frame of the animation, premultiplied BGRA (blue in the lowest byte; blue, green and red
// each at most alpha). Frame k is pixels[k * side * side, (k + 1) * side * side), top row first.
struct AnimationFrames {
  std::vector<std::uint32_t> pixels;
  std::uint32_t side = 0;
};

// Width, height and 0xAARRGGBB pixels, top row first: a decoded picture.
struct DecodedPicture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint32_t> pixels;
};

// The side of the frames that a decoded mask cuts out: its side when it is square, holds the
// pixels its size promises and all kAnimationFrameCount frames of that side come to at most
// `max_pixels`; 0 otherwise.
std::uint32_t frame_side_for_mask(const DecodedPicture& mask, std::uint64_t max_pixels);

// Cuts every frame of the strip out with the mask: alpha is the mask's blue byte, each colour is
// clamped to it (the strip was drawn on black, so its colours are already premultiplied). Works in
// the strip's own storage: moving the strip in saves a second copy of all frames. Empty when the
// mask is smaller than one frame.
std::vector<std::uint32_t> apply_mask(std::vector<std::uint32_t> strip,
                                      const std::vector<std::uint32_t>& mask, std::uint32_t side);

// The filter of one output pixel along one axis: weights for source pixels start, start + 1, ...
struct ResampleTap {
  std::uint32_t start = 0;
  std::vector<float> weights;
};

// Triangle filter from n source pixels to m output pixels; each tap's weights sum to 1.
std::vector<ResampleTap> build_resample_weights(std::uint32_t n, std::uint32_t m);

// What depends only on the logo's size, made once per size so that a tick allocates nothing. The
// backdrop (`surface_bits`, edge x edge BGRA pixels, top row first) belongs to whoever owns the
// cache: the Win32 half points it at its DIB section.
struct FrameCache {
  std::uint32_t edge = 0;
  std::vector<ResampleTap> taps;  // serve rows and columns alike: frame and logo are square
  // side x edge elements of four floats (blue, green, red, alpha): the frame after the
  // horizontal pass, one row per source row. Kept as four planes, one per channel, so that the
  // vertical pass and the blend run over contiguous rows.
  std::vector<float> work;
  std::vector<std::uint32_t> out;  // edge x edge: the composed, opaque frame
  const std::uint32_t* surface_bits = nullptr;
  // Scratch: one source row (four floats per pixel), one output row's sums (four planes).
  std::vector<float> source_row;
  std::vector<float> sums;
};

// Sizes the cache's pure part for frames of `side` drawn at `edge` pixels.
void prepare_frame_cache(FrameCache& cache, std::uint32_t side, std::uint32_t edge);

// Resamples frame k to the cache's edge and blends it over the backdrop into `out`. Returns false
// (and leaves `out` alone) when the frame or the cache doesn't fit.
bool compose_frame(const AnimationFrames& frames, std::uint32_t k, FrameCache& cache);

// The frame after `frame` in the loop.
constexpr std::uint32_t next_animation_frame(std::uint32_t frame) {
  return (frame + 1) % kAnimationFrameCount;
}

}  // namespace qv

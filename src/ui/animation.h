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

// Whether a decoded strip and mask belong together: a square mask of `side` and a strip of
// exactly kAnimationFrameCount frames of that side. Returns the side, or 0 when they don't.
std::uint32_t matching_frame_side(const DecodedPicture& strip, const DecodedPicture& mask);

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

// One channel set of the horizontal pass: blue, green, red, alpha.
struct Bgra {
  float b = 0;
  float g = 0;
  float r = 0;
  float a = 0;
};

// What depends only on the logo's size, made once per size so that a tick allocates nothing. The
// backdrop (`surface_bits`, edge x edge BGRA pixels, top row first) belongs to whoever owns the
// cache: the Win32 half points it at its DIB section.
struct FrameCache {
  std::uint32_t edge = 0;
  std::vector<ResampleTap> taps;   // serve rows and columns alike: frame and logo are square
  std::vector<Bgra> work;          // side x edge: the frame after the horizontal pass
  std::vector<std::uint32_t> out;  // edge x edge: the composed, opaque frame
  const std::uint32_t* surface_bits = nullptr;
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

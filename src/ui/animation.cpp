#include "ui/animation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qv {
namespace {

constexpr std::uint32_t channel(std::uint32_t pixel, int shift) {
  return (pixel >> shift) & 0xFFu;
}

// round() with halves away from zero, then clamped to a byte. Exact: subtracting a float's
// integer part loses nothing, so no 0.49999997 + 0.5 surprise.
std::uint32_t to_byte(float v) {
  if (!(v > 0.0f)) return 0;  // also NaN
  if (v >= 255.0f) return 255;
  const float whole = std::trunc(v);
  return static_cast<std::uint32_t>(whole) + (v - whole >= 0.5f ? 1u : 0u);
}

}  // namespace

std::uint32_t matching_frame_side(const DecodedPicture& strip, const DecodedPicture& mask) {
  const std::uint64_t side = mask.width;
  if (side == 0 || mask.height != side || strip.width != side) return 0;
  if (static_cast<std::uint64_t>(strip.height) != kAnimationFrameCount * side) return 0;
  // Pixel arrays must hold what the sizes promise before anyone indexes them.
  if (mask.pixels.size() != side * side) return 0;
  if (strip.pixels.size() != side * strip.height) return 0;
  return static_cast<std::uint32_t>(side);
}

std::vector<std::uint32_t> apply_mask(std::vector<std::uint32_t> strip,
                                      const std::vector<std::uint32_t>& mask, std::uint32_t side) {
  const std::size_t frame_size = static_cast<std::size_t>(side) * side;
  if (frame_size == 0 || mask.size() < frame_size) return {};
  for (std::size_t i = 0; i < strip.size(); ++i) {
    const std::uint32_t a = mask[i % frame_size] & 0xFFu;
    const std::uint32_t s = strip[i];
    const std::uint32_t r = std::min(a, channel(s, 16));
    const std::uint32_t g = std::min(a, channel(s, 8));
    const std::uint32_t b = std::min(a, channel(s, 0));
    strip[i] = (a << 24) | (r << 16) | (g << 8) | b;
  }
  return strip;
}

std::vector<ResampleTap> build_resample_weights(std::uint32_t n, std::uint32_t m) {
  std::vector<ResampleTap> taps(m);
  if (m == 0) return taps;
  const float ratio = static_cast<float>(n) / static_cast<float>(m);
  const float support = std::max(ratio, 1.0f);
  const long long last_source = static_cast<long long>(n) - 1;
  for (std::uint32_t i = 0; i < m; ++i) {
    const float z = (static_cast<float>(i) + 0.5f) * ratio - 0.5f;
    const long long first = std::max(0LL, static_cast<long long>(std::ceil(z - support)));
    const long long last =
        std::min(std::max(0LL, static_cast<long long>(std::floor(z + support))), last_source);
    ResampleTap& tap = taps[i];
    tap.start = static_cast<std::uint32_t>(first);
    if (first > last) continue;  // no source pixel: an empty tap
    float sum = 0.0f;
    for (long long j = first; j <= last; ++j) {
      const float w = std::max(0.0f, 1.0f - std::fabs(static_cast<float>(j) - z) / support);
      tap.weights.push_back(w);
      sum += w;
    }
    const float divisor = std::max(sum, std::numeric_limits<float>::epsilon());
    for (float& w : tap.weights) w /= divisor;
  }
  return taps;
}

void prepare_frame_cache(FrameCache& cache, std::uint32_t side, std::uint32_t edge) {
  cache.edge = edge;
  cache.taps = build_resample_weights(side, edge);
  cache.work.assign(static_cast<std::size_t>(side) * edge, Bgra{});
  cache.out.assign(static_cast<std::size_t>(edge) * edge, 0u);
}

bool compose_frame(const AnimationFrames& frames, std::uint32_t k, FrameCache& cache) {
  const std::size_t n = frames.side;
  const std::size_t m = cache.edge;
  const std::size_t frame_size = n * n;
  if (n == 0 || m == 0 || cache.surface_bits == nullptr) return false;
  if ((static_cast<std::size_t>(k) + 1) * frame_size > frames.pixels.size()) return false;
  if (cache.taps.size() != m || cache.work.size() != n * m || cache.out.size() != m * m) {
    return false;
  }
  const std::uint32_t* frame = frames.pixels.data() + k * frame_size;

  // Horizontal pass: every source row to m columns.
  for (std::size_t r = 0; r < n; ++r) {
    const std::uint32_t* row = frame + r * n;
    Bgra* work_row = cache.work.data() + r * m;
    for (std::size_t x = 0; x < m; ++x) {
      const ResampleTap& tap = cache.taps[x];
      const std::uint32_t* src = row + tap.start;
      Bgra s;
      for (std::size_t j = 0; j < tap.weights.size(); ++j) {
        const float w = tap.weights[j];
        const std::uint32_t p = src[j];
        s.b += w * static_cast<float>(channel(p, 0));
        s.g += w * static_cast<float>(channel(p, 8));
        s.r += w * static_cast<float>(channel(p, 16));
        s.a += w * static_cast<float>(channel(p, 24));
      }
      work_row[x] = s;
    }
  }

  // Vertical pass, then source-over with a premultiplied source: the result is opaque.
  for (std::size_t y = 0; y < m; ++y) {
    const ResampleTap& tap = cache.taps[y];
    const Bgra* column_top = cache.work.data() + tap.start * m;
    const std::uint32_t* backdrop = cache.surface_bits + y * m;
    std::uint32_t* out = cache.out.data() + y * m;
    for (std::size_t x = 0; x < m; ++x) {
      Bgra s;
      for (std::size_t j = 0; j < tap.weights.size(); ++j) {
        const float w = tap.weights[j];
        const Bgra& v = column_top[j * m + x];
        s.b += w * v.b;
        s.g += w * v.g;
        s.r += w * v.r;
        s.a += w * v.a;
      }
      const std::uint32_t back = backdrop[x];
      const float f = 1.0f - s.a / 255.0f;
      const std::uint32_t b = to_byte(static_cast<float>(channel(back, 0)) * f + s.b);
      const std::uint32_t g = to_byte(static_cast<float>(channel(back, 8)) * f + s.g);
      const std::uint32_t r = to_byte(static_cast<float>(channel(back, 16)) * f + s.r);
      out[x] = b | (g << 8) | (r << 16) | (0xFFu << 24);
    }
  }
  return true;
}

}  // namespace qv

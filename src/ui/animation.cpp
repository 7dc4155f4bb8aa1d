#include "ui/animation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qv {
namespace {

constexpr std::uint32_t channel(std::uint32_t pixel, int shift) {
  return (pixel >> shift) & 0xFFu;
}

// round() with halves away from zero, then clamped to a byte. Exact and branch-free (so the
// blend vectorises): doubling a float loses nothing, and truncating 2v gives 2 x whole + 1
// exactly when the fraction is at least one half. Inputs stay far inside int's range.
inline std::int32_t to_byte(float v) {
  const std::int32_t rounded = (static_cast<std::int32_t>(v * 2.0f) + 1) >> 1;
  return rounded < 0 ? 0 : (rounded > 255 ? 255 : rounded);
}

}  // namespace

std::uint32_t frame_side_for_mask(const DecodedPicture& mask, std::uint64_t max_pixels) {
  const std::uint64_t side = mask.width;
  if (side == 0 || mask.height != side) return 0;
  // The pixel array must hold what the size promises before anyone indexes it.
  if (mask.pixels.size() != side * side) return 0;
  if (side * side * kAnimationFrameCount > max_pixels) return 0;
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
  cache.work.assign(std::size_t{4} * side * edge, 0.0f);
  cache.out.assign(std::size_t{edge} * edge, 0u);
  cache.source_row.assign(std::size_t{4} * side, 0.0f);
  cache.sums.assign(std::size_t{4} * edge, 0.0f);
}

bool compose_frame(const AnimationFrames& frames, std::uint32_t k, FrameCache& cache) {
  const std::size_t n = frames.side;
  const std::size_t m = cache.edge;
  const std::size_t frame_size = n * n;
  if (n == 0 || m == 0 || cache.surface_bits == nullptr) return false;
  if ((static_cast<std::size_t>(k) + 1) * frame_size > frames.pixels.size()) return false;
  if (cache.taps.size() != m || cache.work.size() != 4 * n * m || cache.out.size() != m * m ||
      cache.source_row.size() != 4 * n || cache.sums.size() != 4 * m) {
    return false;
  }
  const std::uint32_t* frame = frames.pixels.data() + k * frame_size;
  float* source = cache.source_row.data();
  float* sums = cache.sums.data();
  float* work = cache.work.data();

  // Horizontal pass: every source row to m columns.
  for (std::size_t r = 0; r < n; ++r) {
    const std::uint32_t* row = frame + r * n;
    for (std::size_t i = 0; i < n; ++i) {
      source[4 * i + 0] = static_cast<float>(channel(row[i], 0));
      source[4 * i + 1] = static_cast<float>(channel(row[i], 8));
      source[4 * i + 2] = static_cast<float>(channel(row[i], 16));
      source[4 * i + 3] = static_cast<float>(channel(row[i], 24));
    }
    for (std::size_t x = 0; x < m; ++x) {
      const ResampleTap& tap = cache.taps[x];
      const float* weights = tap.weights.data();
      const float* src = source + 4 * std::size_t{tap.start};
      float sum[4] = {0, 0, 0, 0};
      for (std::size_t j = 0; j < tap.weights.size(); ++j) {
        for (std::size_t c = 0; c < 4; ++c) sum[c] += weights[j] * src[4 * j + c];
      }
      for (std::size_t c = 0; c < 4; ++c) work[(c * n + r) * m + x] = sum[c];
    }
  }

  // Vertical pass, each channel plane a whole output row at a time (contiguous, so it
  // vectorises), then source-over with a premultiplied source: the result is opaque.
  for (std::size_t y = 0; y < m; ++y) {
    const ResampleTap& tap = cache.taps[y];
    std::fill(sums, sums + 4 * m, 0.0f);
    for (std::size_t c = 0; c < 4; ++c) {
      float* plane_sums = sums + c * m;
      for (std::size_t j = 0; j < tap.weights.size(); ++j) {
        const float w = tap.weights[j];
        const float* work_row = work + (c * n + tap.start + j) * m;
        for (std::size_t x = 0; x < m; ++x) plane_sums[x] += w * work_row[x];
      }
    }
    const std::uint32_t* backdrop = cache.surface_bits + y * m;
    std::uint32_t* out = cache.out.data() + y * m;
    const float* sum_b = sums;
    const float* sum_g = sums + m;
    const float* sum_r = sums + 2 * m;
    const float* sum_a = sums + 3 * m;
    for (std::size_t x = 0; x < m; ++x) {
      const auto back = static_cast<std::int32_t>(backdrop[x] & 0xFFFFFFu);
      const float f = 1.0f - sum_a[x] / 255.0f;
      const std::int32_t b = to_byte(static_cast<float>(back & 0xFF) * f + sum_b[x]);
      const std::int32_t g = to_byte(static_cast<float>((back >> 8) & 0xFF) * f + sum_g[x]);
      const std::int32_t r = to_byte(static_cast<float>((back >> 16) & 0xFF) * f + sum_r[x]);
      out[x] = static_cast<std::uint32_t>(b | (g << 8) | (r << 16)) | 0xFF000000u;
    }
  }
  return true;
}

}  // namespace qv

// One animation tick's pixel work (compose_frame: both resampling passes and the blend) at the
// logo sizes of 96, 144 and 192 DPI. Reported, not asserted. Build it optimised and without
// sanitizers:
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DQV_SANITIZE=OFF
//   cmake --build build/bench --target animation_bench && build/bench/animation_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "ui/animation.h"

int main() {
  using namespace qv;
  // Premultiplied frames with varied coverage: the work does not depend on the picture.
  AnimationFrames frames;
  frames.side = 144;
  frames.pixels.resize(std::size_t{kAnimationFrameCount} * 144 * 144);
  std::mt19937 random(7);
  for (auto& p : frames.pixels) {
    const std::uint32_t a = random() % 256;
    const std::uint32_t r = random() % (a + 1), g = random() % (a + 1), b = random() % (a + 1);
    p = (a << 24) | (r << 16) | (g << 8) | b;
  }

  for (std::uint32_t edge : {84u, 126u, 168u}) {
    std::vector<std::uint32_t> backdrop(std::size_t{edge} * edge, 0x00203040u);
    std::vector<std::uint32_t> screen(backdrop.size());
    FrameCache cache;
    prepare_frame_cache(cache, frames.side, edge);
    cache.surface_bits = backdrop.data();

    constexpr int kRounds = 7;
    constexpr std::uint32_t kTicks = 2 * kAnimationFrameCount;
    double best = 1e9;
    double total = 0;
    std::uint32_t frame = 0;
    for (int round = 0; round < kRounds; ++round) {
      const auto start = std::chrono::steady_clock::now();
      for (std::uint32_t i = 0; i < kTicks; ++i) {
        frame = next_animation_frame(frame);
        compose_frame(frames, frame, cache);
        // Stands in for the 1:1 copy to the window, which only Windows can do.
        std::memcpy(screen.data(), cache.out.data(), screen.size() * 4);
      }
      const std::chrono::duration<double, std::milli> spent =
          std::chrono::steady_clock::now() - start;
      best = std::min(best, spent.count() / kTicks);
      total += spent.count();
    }
    std::printf("edge %3u px: %.4f ms per tick (best round), %.4f ms mean over %u ticks\n", edge,
                best, total / (kRounds * kTicks), kRounds * kTicks);
    if (screen[edge * edge / 2] == 0x12345678u) std::puts("");  // keep the work observable
  }
  return 0;
}

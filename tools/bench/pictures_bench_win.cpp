// Under Wine: how long the picture thread takes to decode the strip and mask, and how long one
// animation tick (draw_animation_frame: compose and the 1:1 copy) takes on a real DC. With a
// path argument it also writes a preview BMP: frames composed over the real background, as the
// window shows them at 96 DPI (top row) and 192 DPI (bottom row). Reported, not asserted.
//   cmake --build build/win --target pictures_bench
//   wine build/win/pictures_bench.exe [Z:\tmp\orb_preview.bmp]
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "app/handles_win.h"
#include "app/resource.h"
#include "ui/pictures_win.h"

namespace {

double now_ms() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Canvas {
  qv::OwnedBitmap bitmap;
  qv::OwnedMemoryDc dc;
  std::unique_ptr<qv::SelectGuard> select;
  Canvas(int width, int height) {
    qv::WindowDc screen(nullptr);
    bitmap.reset(CreateCompatibleBitmap(screen.get(), width, height));
    dc.reset(CreateCompatibleDC(screen.get()));
    select = std::make_unique<qv::SelectGuard>(dc.get(), bitmap.get());
  }
};

// The background stretched over a window of width x height, as a paint draws it.
void paint_background(HDC dc, int width, int height) {
  const auto background = qv::background_picture();
  if (!background) return;
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchDIBits(dc, 0, 0, width, height, 0, 0, background->width, background->height,
                background->bits, background->info, DIB_RGB_COLORS, SRCCOPY);
}

bool write_bmp(const char* path, HDC dc, HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint32_t> pixels(std::size_t(width) * height);
  GdiFlush();
  if (!GetDIBits(dc, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS)) return false;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size() * 4);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(reinterpret_cast<const char*>(pixels.data()), std::streamsize(pixels.size() * 4));
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qv;

  // Decoding, step by step, then as the thread body does it.
  double t0 = now_ms();
  std::unique_ptr<GdiplusSession> gdiplus = std::make_unique<GdiplusSession>();
  double t1 = now_ms();
  auto mask = decode_embedded_picture(*gdiplus, embedded_resource(IDR_ORB_MASK));
  double t2 = now_ms();
  const std::uint32_t side = mask ? frame_side_for_mask(*mask, std::uint64_t{1} << 26) : 0;
  if (side == 0) {
    std::puts("decoding failed");
    return 1;
  }
  const std::size_t part_size = std::size_t{side} * side * kStripPartFrames;
  std::vector<std::uint32_t> strip(part_size * kStripParts);
  for (std::uint32_t i = 0; i < kStripParts; ++i) {
    if (!decode_embedded_picture_into(*gdiplus, embedded_resource(IDR_ORB_STRIP_1 + int(i)), side,
                                      side * kStripPartFrames,
                                      std::span(strip).subspan(i * part_size, part_size))) {
      std::puts("decoding failed");
      return 1;
    }
  }
  double t3 = now_ms();
  auto masked = apply_mask(std::move(strip), mask->pixels, side);
  double t4 = now_ms();
  gdiplus.reset();
  std::printf("GDI+ start-up %.1f ms, mask %.2f ms, strip's parts %.1f ms, apply_mask %.1f ms\n",
              t1 - t0, t2 - t1, t3 - t2, t4 - t3);
  std::atomic<const AnimationFrames*> cell{nullptr};
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    const double start = now_ms();
    std::atomic<const AnimationFrames*> round{nullptr};
    decode_pictures_into(round, nullptr);
    best = std::min(best, now_ms() - start);
    if (i == 0) {
      cell.store(round.load());
    } else {
      delete round.load();
    }
  }
  std::printf(
      "whole decoding (start-up, strip, mask, mask cut-out, shut-down): best of 5 %.1f ms\n", best);
  const AnimationFrames& frames = *cell.load();

  // One tick straight onto a DC, at the logo sizes of 96, 144 and 192 DPI.
  LogoAnimation animation;
  for (int size : {84, 126, 168}) {
    Canvas canvas(size * 4, size * 4);
    paint_background(canvas.dc.get(), size * 520 / 84, size * 380 / 84);
    animation.capture_backdrop(size, frames, canvas.dc.get(), size / 2, size / 2);
    constexpr int kTicks = 2 * 288;
    double round_best = 1e9;
    for (int round = 0; round < 5; ++round) {
      const double start = now_ms();
      for (int k = 0; k < kTicks; ++k) {
        animation.draw_frame(size, frames, k % 288, canvas.dc.get(), size / 2, size / 2);
      }
      GdiFlush();
      round_best = std::min(round_best, (now_ms() - start) / kTicks);
    }
    std::printf("tick at %3d px (compose + StretchDIBits): %.4f ms\n", size, round_best);
  }
  animation.release();

  if (argc > 1) {
    // Four frames a quarter loop apart, over the top-left of the window at 96 and 192 DPI.
    const int frames_shown[] = {0, 72, 144, 216};
    const int small = 180, large = 340;
    Canvas preview(4 * large, small + large);
    PatBlt(preview.dc.get(), 0, 0, 4 * large, small + large, BLACKNESS);
    for (int dpi : {96, 192}) {
      const int crop = dpi == 96 ? small : large;
      Canvas window(520 * dpi / 96, 380 * dpi / 96);
      paint_background(window.dc.get(), 520 * dpi / 96, 380 * dpi / 96);
      const int size = 84 * dpi / 96, x = 40 * dpi / 96, y = 46 * dpi / 96;
      animation.capture_backdrop(size, frames, window.dc.get(), x, y);
      for (int i = 0; i < 4; ++i) {
        animation.draw_frame(size, frames, frames_shown[i], window.dc.get(), x, y);
        BitBlt(preview.dc.get(), i * large, dpi == 96 ? 0 : small, crop, crop, window.dc.get(), 0,
               0, SRCCOPY);
      }
    }
    animation.release();
    preview.select.reset();  // GetDIBits wants the bitmap out of any DC
    const bool written =
        write_bmp(argv[1], preview.dc.get(), preview.bitmap.get(), 4 * large, small + large);
    std::printf("preview %s: %s\n", argv[1], written ? "written" : "FAILED");
  }
  delete cell.load();
  return 0;
}

// The embedded pictures and the animated logo, with the real resources, real GDI+ and real DCs.
#include "ui/pictures_win.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "app/app_state_win.h"
#include "app/common_controls_win.h"
#include "app/resource.h"
#include "app/text_win.h"
#include "test_support.h"
#include "version.h"

namespace qv {
namespace {

constexpr std::uint32_t kSide = 144;

std::uint32_t alpha(std::uint32_t p) {
  return p >> 24;
}

// The decoded frames, made once for the suite: decoding the strip is the slow part.
const AnimationFrames& real_frames() {
  static const std::unique_ptr<const AnimationFrames> frames = [] {
    std::atomic<const AnimationFrames*> cell{nullptr};
    decode_pictures_into(cell, nullptr);
    return std::unique_ptr<const AnimationFrames>(cell.load());
  }();
  return *frames;
}

TEST(EmbeddedPictures, StripPartsAndMaskDecodeAtTheirSizes) {
  GdiplusSession gdiplus;
  ASSERT_TRUE(gdiplus);
  constexpr std::uint32_t kPartHeight = kSide * 36;
  for (int id = IDR_ORB_STRIP_1; id <= IDR_ORB_STRIP_8; ++id) {
    const auto part = decode_embedded_picture(gdiplus, embedded_resource(id));
    ASSERT_TRUE(part) << id;
    EXPECT_EQ(part->width, kSide);
    EXPECT_EQ(part->height, kPartHeight);
    std::size_t lit = 0;
    for (std::uint32_t p : part->pixels) {
      ASSERT_EQ(alpha(p), 255u);  // a JPEG is opaque
      lit += (p & 0xFFFFFF) != 0;
    }
    EXPECT_GT(lit, part->pixels.size() / 4);  // a picture, not a black field
    // Into a place of its own size it decodes to the same pixels; into any other, not at all.
    std::vector<std::uint32_t> place(part->pixels.size());
    ASSERT_TRUE(
        decode_embedded_picture_into(gdiplus, embedded_resource(id), kSide, kPartHeight, place));
    EXPECT_EQ(place, part->pixels);
    EXPECT_FALSE(decode_embedded_picture_into(gdiplus, embedded_resource(id), kSide,
                                              kPartHeight - 1,
                                              std::span(place).first(place.size() - kSide)));
    EXPECT_FALSE(decode_embedded_picture_into(gdiplus, embedded_resource(id), kSide, kPartHeight,
                                              std::span(place).first(place.size() - 1)));
  }

  const auto mask = decode_embedded_picture(gdiplus, embedded_resource(IDR_ORB_MASK));
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->width, kSide);
  EXPECT_EQ(mask->height, kSide);
  for (std::uint32_t p : mask->pixels) {
    ASSERT_EQ(alpha(p), 255u);
    ASSERT_EQ(p & 0xFF, (p >> 8) & 0xFF);  // grey: blue = green = red
    ASSERT_EQ(p & 0xFF, (p >> 16) & 0xFF);
  }
  EXPECT_EQ(mask->pixels[0] & 0xFF, 0u);                  // outside the disc
  EXPECT_EQ(mask->pixels[72 * kSide + 72] & 0xFF, 255u);  // its centre
  EXPECT_EQ(mask->pixels[72 * kSide + 3] & 0xFF, 0u);     // inside the margin
  EXPECT_EQ(frame_side_for_mask(*mask, std::uint64_t{1} << 26), kSide);
}

TEST(EmbeddedPictures, BrokenOrMissingPicturesDecodeToNothing) {
  GdiplusSession gdiplus;
  ASSERT_TRUE(gdiplus);
  const std::vector<std::uint8_t> garbage(4096, 0x5A);
  EXPECT_FALSE(decode_embedded_picture(gdiplus, garbage));
  EXPECT_FALSE(decode_embedded_picture(gdiplus, {}));
  // The PNG signature and the start of its header, then nothing.
  const auto mask = embedded_resource(IDR_ORB_MASK);
  ASSERT_GT(mask.size(), 20u);
  EXPECT_FALSE(decode_embedded_picture(gdiplus, mask.first(20)));
  EXPECT_TRUE(embedded_resource(999).empty());
  // The same session still decodes a sound picture after the failures.
  EXPECT_TRUE(decode_embedded_picture(gdiplus, mask));
}

TEST(EmbeddedPictures, BackgroundIsTheStoredBottomUpBmp) {
  const auto background = background_picture();
  ASSERT_TRUE(background);
  EXPECT_EQ(background->width, 960);
  EXPECT_EQ(background->height, 640);
  const auto bytes = embedded_resource(IDR_BACKGROUND);
  EXPECT_EQ(bytes.size(), 1843254u);
  EXPECT_EQ(static_cast<const void*>(background->info), bytes.data() + 14);
  EXPECT_EQ(background->bits, bytes.data() + 54);
}

TEST(DecodePictures, FramesArePremultipliedAndCutOutByTheDisc) {
  const AnimationFrames& frames = real_frames();
  ASSERT_EQ(frames.side, kSide);
  ASSERT_EQ(frames.pixels.size(), std::size_t{288} * kSide * kSide);
  for (std::uint32_t p : frames.pixels) {
    const std::uint32_t a = alpha(p);
    ASSERT_LE(p & 0xFF, a);
    ASSERT_LE((p >> 8) & 0xFF, a);
    ASSERT_LE((p >> 16) & 0xFF, a);
  }
  for (std::size_t k = 0; k < 288; ++k) {
    const std::uint32_t* frame = frames.pixels.data() + k * kSide * kSide;
    ASSERT_EQ(frame[0], 0u) << k;  // corners fully transparent
    ASSERT_EQ(frame[kSide * kSide - 1], 0u) << k;
    ASSERT_EQ(alpha(frame[72 * kSide + 72]), 255u) << k;  // the core fully covered
  }
}

TEST(DecodePictures, PublishesOnceAndPostsOnce) {
  test::MessageWindow window;
  std::atomic<const AnimationFrames*> cell{nullptr};
  EXPECT_TRUE(decode_pictures_into(cell, window.handle()));
  const AnimationFrames* first = cell.load();
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(decode_pictures_into(cell, window.handle()));  // filled: dropped, no message
  EXPECT_EQ(cell.load(), first);
  const auto messages = window.drain();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, MSG_FRAMES_READY);
  EXPECT_EQ(messages[0].wParam, 0u);
  EXPECT_EQ(messages[0].lParam, 0);
  EXPECT_EQ(first->pixels, real_frames().pixels);
  delete first;
}

TEST(DecodePictures, ThreadBodyFillsTheProcessCellAndTellsTheMainWindow) {
  test::MessageWindow window;
  const bool was_ready = app_state().frames_ready();
  std::thread(decode_pictures).join();
  EXPECT_TRUE(app_state().frames_ready());
  std::size_t ready_messages = 0;
  for (const MSG& m : window.drain()) ready_messages += m.message == MSG_FRAMES_READY;
  EXPECT_EQ(ready_messages, was_ready ? 0u : 1u);
}

// An off-screen bitmap like the one a paint draws into, filled with a pattern that tells every
// pixel apart, and read back through GetDIBits.
class Canvas {
 public:
  static constexpr int kWidth = 260;
  static constexpr int kHeight = 240;

  Canvas() {
    WindowDc screen(nullptr);
    bitmap_.reset(CreateCompatibleBitmap(screen.get(), kWidth, kHeight));
    placeholder_.reset(CreateCompatibleBitmap(screen.get(), 1, 1));
    dc_.reset(CreateCompatibleDC(screen.get()));
    select_.emplace(dc_.get(), bitmap_.get());
    std::vector<std::uint32_t> pattern(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        pattern[y * kWidth + x] =
            ((x * 7) % 256) | (((y * 5) % 256) << 8) | (((x + y) % 256) << 16);
      }
    }
    const BITMAPINFO info = header();
    SetDIBitsToDevice(dc_.get(), 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, pattern.data(), &info,
                      DIB_RGB_COLORS);
  }

  HDC dc() const { return dc_.get(); }
  bool ready() const { return bitmap_ && placeholder_ && dc_ && select_->selected(); }

  // Every pixel as 0x00RRGGBB, top row first.
  std::vector<std::uint32_t> pixels() const {
    GdiFlush();
    std::vector<std::uint32_t> out(kWidth * kHeight);
    BITMAPINFO info = header();
    WindowDc screen(nullptr);
    // GetDIBits wants the bitmap out of any DC.
    SelectObject(dc_.get(), placeholder_.get());
    GetDIBits(screen.get(), bitmap_.get(), 0, kHeight, out.data(), &info, DIB_RGB_COLORS);
    SelectObject(dc_.get(), bitmap_.get());
    for (auto& p : out) p &= 0xFFFFFF;
    return out;
  }

 private:
  static BITMAPINFO header() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
  }

  OwnedBitmap bitmap_;
  OwnedBitmap placeholder_;
  OwnedMemoryDc dc_;
  std::optional<SelectGuard> select_;
};

class DrawFrame : public testing::TestWithParam<int> {
 protected:
  LogoAnimation animation_;
};

TEST_P(DrawFrame, BlendsTheFrameOverTheCapturedBackdropInPlace) {
  const int size = GetParam();
  const int x0 = scale(kLogoLeft, size * 96 / 84);
  const int y0 = scale(kLogoTop, size * 96 / 84);
  const AnimationFrames& frames = real_frames();
  Canvas canvas;
  ASSERT_TRUE(canvas.ready());
  const auto before = canvas.pixels();

  // Nothing captured yet: nothing drawn.
  EXPECT_FALSE(animation_.draw_frame(size, frames, 0, canvas.dc(), x0, y0));
  animation_.capture_backdrop(size, frames, canvas.dc(), x0, y0);
  const std::uint32_t k = 123;
  ASSERT_TRUE(animation_.draw_frame(size, frames, k, canvas.dc(), x0, y0));
  const auto after = canvas.pixels();

  // The same blend done by the pure code over the same backdrop.
  std::vector<std::uint32_t> backdrop(std::size_t(size) * size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x)
      backdrop[y * size + x] = before[(y0 + y) * Canvas::kWidth + x0 + x];
  }
  FrameCache expected;
  prepare_frame_cache(expected, frames.side, size);
  expected.surface_bits = backdrop.data();
  ASSERT_TRUE(compose_frame(frames, k, expected));

  for (int y = 0; y < Canvas::kHeight; ++y) {
    for (int x = 0; x < Canvas::kWidth; ++x) {
      const std::uint32_t got = after[y * Canvas::kWidth + x];
      const bool inside = x >= x0 && x < x0 + size && y >= y0 && y < y0 + size;
      if (inside) {
        ASSERT_EQ(got, expected.out[(y - y0) * size + (x - x0)] & 0xFFFFFF) << x << "," << y;
      } else {
        ASSERT_EQ(got, before[y * Canvas::kWidth + x]) << "outside the square at " << x << "," << y;
      }
    }
  }
  // The square's corner is the backdrop itself; its centre is the opaque orb, not the backdrop.
  EXPECT_EQ(after[y0 * Canvas::kWidth + x0], before[y0 * Canvas::kWidth + x0]);
  const int cx = x0 + size / 2;
  const int cy = y0 + size / 2;
  EXPECT_NE(after[cy * Canvas::kWidth + cx], before[cy * Canvas::kWidth + cx]);
}

INSTANTIATE_TEST_SUITE_P(LogoSizes, DrawFrame, testing::Values(84, 126, 168));

TEST(FrameCacheSize, ACacheOfAnotherSizeDrawsNothingUntilTheNextCapture) {
  const AnimationFrames& frames = real_frames();
  Canvas canvas;
  ASSERT_TRUE(canvas.ready());
  LogoAnimation animation;
  animation.capture_backdrop(84, frames, canvas.dc(), 40, 46);
  EXPECT_TRUE(animation.draw_frame(84, frames, 0, canvas.dc(), 40, 46));
  // The DPI changed: a tick before the next paint finds the old size and draws nothing.
  const auto before = canvas.pixels();
  EXPECT_FALSE(animation.draw_frame(168, frames, 1, canvas.dc(), 80, 92));
  EXPECT_EQ(canvas.pixels(), before);
  animation.capture_backdrop(168, frames, canvas.dc(), 80, 46);
  EXPECT_TRUE(animation.draw_frame(168, frames, 1, canvas.dc(), 80, 46));
  EXPECT_FALSE(animation.draw_frame(84, frames, 2, canvas.dc(), 40, 46));
  // Frames of another side never meet a cache built for these.
  AnimationFrames small{std::vector<std::uint32_t>(std::size_t{288} * 16 * 16), 16};
  EXPECT_FALSE(animation.draw_frame(168, small, 0, canvas.dc(), 80, 46));
  animation.release();
  EXPECT_FALSE(animation.draw_frame(168, frames, 3, canvas.dc(), 80, 46));
  // Rebuilding many times over leaves nothing behind that would stop the next build.
  for (int i = 0; i < 500; ++i) {
    animation.capture_backdrop(i % 2 ? 84 : 105, frames, canvas.dc(), 0, 0);
    ASSERT_TRUE(animation.draw_frame(i % 2 ? 84 : 105, frames, i % 288, canvas.dc(), 0, 0)) << i;
  }
  // Two windows' animations are two caches: one's capture is not the other's.
  LogoAnimation other;
  EXPECT_FALSE(other.draw_frame(105, frames, 0, canvas.dc(), 0, 0));
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

std::string resource_text(LPCWSTR type, int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!info) return {};
  const char* data = static_cast<const char*>(LockResource(LoadResource(module, info)));
  return data ? std::string(data, SizeofResource(module, info)) : std::string();
}

TEST(EmbeddedResources, IconManifestAndVersionAreBuiltIn) {
  // The icon group 1 gives every size the window asks for, the still logo included.
  for (int size : {16, 32, 48, 256}) {
    HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size,
                             size, LR_SHARED);
    EXPECT_NE(icon, nullptr) << size;
  }

  const std::string manifest = resource_text(MAKEINTRESOURCEW(24), 1);  // RT_MANIFEST
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find(">PerMonitorV2<"), std::string::npos);
  EXPECT_NE(manifest.find(">true/pm<"), std::string::npos);
  EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);

  // The window's own controls come from user32, so the first frame never waits for the common
  // controls; the system UI gets their version 6 inside CommonControlsScope only.
  const auto edit_is_redirected = [] {
    ACTCTX_SECTION_KEYED_DATA found{};
    found.cbSize = sizeof found;
    return FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_WINDOW_CLASS_REDIRECTION,
                                    L"Edit", &found) != FALSE;
  };
  EXPECT_FALSE(edit_is_redirected());
  {
    const CommonControlsScope themed;
    EXPECT_TRUE(themed.active());
    EXPECT_TRUE(edit_is_redirected());
  }
  EXPECT_FALSE(edit_is_redirected());

  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  const DWORD size = GetFileVersionInfoSizeW(path, nullptr);
  ASSERT_GT(size, 0u);
  std::vector<std::uint8_t> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));
  auto value = [&](const wchar_t* name) {
    void* text = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(block.data(), key.c_str(), &text, &length) || length == 0) {
      return std::wstring();
    }
    return std::wstring(static_cast<const wchar_t*>(text));
  };
  EXPECT_EQ(value(L"ProductName"), L"Quorvane");
  EXPECT_EQ(value(L"FileDescription"), L"Quorvane Installer");
  EXPECT_EQ(value(L"ProductVersion"), widen(QV_VERSION_TEXT));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), QV_VERSION_MAJOR);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), QV_VERSION_MINOR);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), QV_VERSION_PATCH);
}

}  // namespace
}  // namespace qv

// The embedded pictures and the animated logo on Windows: raw resource data, GDI+ decoding on the
// picture thread, and the per-size frame cache (memory DC + DIB section) on the window thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "app/win.h"
#include "ui/animation.h"

namespace qv {

// The bytes of an RCDATA resource of this module; empty when it is missing. They live as long
// as the module.
std::span<const std::uint8_t> embedded_resource(int id);

// The background as GDI takes it in place: the info header at offset 14 of the stored BMP file
// and its bottom-up pixel rows at offset 54.
struct BackgroundPicture {
  const BITMAPINFO* info = nullptr;
  const void* bits = nullptr;
  int width = 0;
  int height = 0;
};

// The embedded background, checked to be the 24-bit BI_RGB bottom-up BMP whose rows all lie
// inside the resource; nothing when it is not.
std::optional<BackgroundPicture> background_picture();

struct GdiplusFunctions;  // the flat functions that decoding uses

// GDI+ loaded from the system folder and started; shut down and unloaded when destroyed.
// Decoding needs one alive on the calling thread.
class GdiplusSession {
 public:
  GdiplusSession();
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;

  explicit operator bool() const { return token_ != 0; }

 private:
  friend std::optional<DecodedPicture> decode_embedded_picture(const GdiplusSession&,
                                                               std::span<const std::uint8_t>);
  friend bool decode_embedded_picture_into(const GdiplusSession&, std::span<const std::uint8_t>,
                                           std::uint32_t, std::uint32_t, std::span<std::uint32_t>);
  const GdiplusFunctions* api_ = nullptr;
  ULONG_PTR token_ = 0;
};

// A JPEG or PNG in memory to 0xAARRGGBB pixels, top row first; nothing on any failure. A grey PNG
// comes out with blue = green = red = grey, a JPEG with alpha 255.
std::optional<DecodedPicture> decode_embedded_picture(const GdiplusSession& gdiplus,
                                                      std::span<const std::uint8_t> bytes);

// The same, straight into `target` (rows of `width`, top row first), for a picture of exactly
// width x height pixels only: false, with `target` in any state, for any other and on any failure.
bool decode_embedded_picture_into(const GdiplusSession& gdiplus,
                                  std::span<const std::uint8_t> bytes, std::uint32_t width,
                                  std::uint32_t height, std::span<std::uint32_t> target);

// Body of the picture-decoding thread: decodes the mask and the strip, publishes the frames into
// app_state().frames and posts MSG_FRAMES_READY to main_window. Nothing happens on failure.
void decode_pictures();

// decode_pictures with the cell and the window to notify given: the frames are stored only if
// the cell is still empty, and the message is posted only then. Returns whether they were.
bool decode_pictures_into(std::atomic<const AnimationFrames*>& cell, HWND notify);

// The logo's animation on the window thread: the frame cache for the logo's size (the pure arrays,
// a memory DC and a DIB section that holds the backdrop under the logo). The window owns one; it
// is built at the first paint of a size and released with the window.
class LogoAnimation {
 public:
  LogoAnimation();
  ~LogoAnimation();
  LogoAnimation(const LogoAnimation&) = delete;
  LogoAnimation& operator=(const LogoAnimation&) = delete;

  // Copies the freshly painted background under the logo square (size x size at x, y of
  // `source`) into the cache, building the cache for this size first if needed.
  void capture_backdrop(int size, const AnimationFrames& frames, HDC source, int x, int y);

  // Blends frame k over the captured backdrop and copies it 1:1 to `target` at x, y. False, with
  // nothing drawn, when there is no cache of this size or the copy failed.
  bool draw_frame(int size, const AnimationFrames& frames, std::uint32_t k, HDC target, int x,
                  int y);

  // The animation timer's tick: frame k drawn straight onto `window`'s logo square at `dpi`.
  void step(HWND window, const AnimationFrames& frames, std::uint32_t k, int dpi);

  // Releases the cache (its DC, DIB section and arrays).
  void release();

  struct Surface;

 private:
  Surface* surface_for(int size, const AnimationFrames& frames) const;
  std::unique_ptr<Surface> surface_;
};

}  // namespace qv

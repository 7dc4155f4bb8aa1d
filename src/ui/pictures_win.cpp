#include "ui/pictures_win.h"

#include <objidl.h>

#include <cstring>
#include <memory>

#include "app/app_state_win.h"
#include "app/handles_win.h"
#include "app/resource.h"
#include "app/system_library_win.h"
#include "ui/layout.h"

namespace qv {
namespace {

using OwnedStream = Owned<ComTraits<IStream>>;

struct GdiplusImageTraits {
  using Handle = Gdiplus::GpBitmap*;
  static Handle invalid() noexcept { return nullptr; }
  static void close(Handle h) noexcept { gdiplus_functions()->dispose_image(h); }
};
using OwnedGdiplusImage = Owned<GdiplusImageTraits>;

// A GDI+ bitmap's pixels read, as 32-bit ARGB, straight into the caller's array of
// width x height values (rows of 4 x width bytes, top row first); unlocked when the scope ends.
// GDI+ converts into that array itself: no lock buffer of its own beside it, and no second copy,
// which for the strip would be 24 MB each.
class LockedBits {
 public:
  LockedBits(const GdiplusFunctions& api, Gdiplus::GpBitmap* bitmap, UINT width, UINT height,
             std::uint32_t* target)
      : api_(api), bitmap_(bitmap) {
    const Gdiplus::GpRect rect(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    data_.Width = width;
    data_.Height = height;
    data_.Stride = static_cast<INT>(width * 4);
    data_.PixelFormat = PixelFormat32bppARGB;
    data_.Scan0 = target;
    locked_ = api_.bitmap_lock_bits(bitmap_, &rect,
                                    Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                                    PixelFormat32bppARGB, &data_) == Gdiplus::Ok;
  }
  LockedBits(const LockedBits&) = delete;
  LockedBits& operator=(const LockedBits&) = delete;
  ~LockedBits() {
    if (locked_) api_.bitmap_unlock_bits(bitmap_, &data_);
  }
  explicit operator bool() const { return locked_; }
  const Gdiplus::BitmapData& data() const { return data_; }

 private:
  const GdiplusFunctions& api_;
  Gdiplus::GpBitmap* bitmap_;
  Gdiplus::BitmapData data_{};
  bool locked_ = false;
};

// Enough for the strip (144 x 41,472) with room to spare; anything larger is not our picture.
constexpr std::uint64_t kMaxDecodedPixels = std::uint64_t{1} << 26;

}  // namespace

GdiplusSession::GdiplusSession() : api_(gdiplus_functions()) {
  if (!api_) return;
  const Gdiplus::GdiplusStartupInput input;  // version 1, no debug hook, background thread, codecs
  ULONG_PTR token = 0;
  if (api_->startup(&token, &input, nullptr) == Gdiplus::Ok) token_ = token;
}

GdiplusSession::~GdiplusSession() {
  if (token_ != 0) api_->shutdown(token_);
}

std::span<const std::uint8_t> embedded_resource(int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!info) return {};
  HGLOBAL loaded = LoadResource(module, info);  // module data: nothing to free
  if (!loaded) return {};
  const void* data = LockResource(loaded);
  const DWORD size = SizeofResource(module, info);
  if (!data || size == 0) return {};
  return {static_cast<const std::uint8_t*>(data), size};
}

std::optional<BackgroundPicture> background_picture() {
  const auto bytes = embedded_resource(IDR_BACKGROUND);
  constexpr std::size_t kFileHeader = 14;
  if (bytes.size() < kFileHeader + sizeof(BITMAPINFOHEADER)) return std::nullopt;
  if (bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
  std::uint32_t bits_offset = 0;
  std::memcpy(&bits_offset, bytes.data() + 10, sizeof bits_offset);
  BITMAPINFOHEADER header;  // copied out: at offset 14 it is not aligned for reading in place
  std::memcpy(&header, bytes.data() + kFileHeader, sizeof header);
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight <= 0 ||
      header.biPlanes != 1 || header.biBitCount != 24 || header.biCompression != BI_RGB) {
    return std::nullopt;
  }
  // GDI reads every row from where the header says: they must all lie inside the resource.
  const std::uint64_t stride = (static_cast<std::uint64_t>(header.biWidth) * 3 + 3) & ~3ull;
  const std::uint64_t rows_end = static_cast<std::uint64_t>(bits_offset) +
                                 stride * static_cast<std::uint64_t>(header.biHeight);
  if (bits_offset < kFileHeader + header.biSize || rows_end > bytes.size()) return std::nullopt;
  return BackgroundPicture{reinterpret_cast<const BITMAPINFO*>(bytes.data() + kFileHeader),
                           bytes.data() + bits_offset, header.biWidth, header.biHeight};
}

namespace {

// A picture opened by GDI+ from a stream over a copy of its bytes, with its size. Members go in
// reverse order: the image is disposed before the stream is released.
struct OpenedPicture {
  OwnedStream stream;
  OwnedGdiplusImage bitmap;
  UINT width = 0;
  UINT height = 0;
};

std::optional<OpenedPicture> open_picture(const GdiplusFunctions& api,
                                          std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) return std::nullopt;
  const ShlwapiFunctions* shlwapi = shlwapi_functions();
  if (!shlwapi) return std::nullopt;
  OpenedPicture opened;
  opened.stream.reset(shlwapi->create_mem_stream(bytes.data(), static_cast<UINT>(bytes.size())));
  if (!opened.stream) return std::nullopt;
  if (api.create_bitmap_from_stream(opened.stream.get(), opened.bitmap.put()) != Gdiplus::Ok ||
      !opened.bitmap) {
    return std::nullopt;
  }
  UINT& width = opened.width;
  UINT& height = opened.height;
  if (api.get_image_width(opened.bitmap.get(), &width) != Gdiplus::Ok ||
      api.get_image_height(opened.bitmap.get(), &height) != Gdiplus::Ok || width == 0 ||
      height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu ||
      std::uint64_t{width} * height > kMaxDecodedPixels) {
    return std::nullopt;
  }
  return opened;
}

// Rows land in `target` (width x height values) as the lock converts them; unlocked on return.
bool read_pixels(const GdiplusFunctions& api, const OpenedPicture& picture, std::uint32_t* target) {
  LockedBits locked(api, picture.bitmap.get(), picture.width, picture.height, target);
  if (!locked) return false;
  const Gdiplus::BitmapData& data = locked.data();
  return data.Scan0 == target && data.Width == picture.width && data.Height == picture.height &&
         data.Stride == static_cast<INT>(picture.width * 4);
}

}  // namespace

std::optional<DecodedPicture> decode_embedded_picture(const GdiplusSession& gdiplus,
                                                      std::span<const std::uint8_t> bytes) {
  if (!gdiplus) return std::nullopt;
  const std::optional<OpenedPicture> opened = open_picture(*gdiplus.api_, bytes);
  if (!opened) return std::nullopt;
  DecodedPicture picture{opened->width, opened->height,
                         std::vector<std::uint32_t>(std::size_t{opened->width} * opened->height)};
  if (!read_pixels(*gdiplus.api_, *opened, picture.pixels.data())) return std::nullopt;
  return picture;
}

bool decode_embedded_picture_into(const GdiplusSession& gdiplus,
                                  std::span<const std::uint8_t> bytes, std::uint32_t width,
                                  std::uint32_t height, std::span<std::uint32_t> target) {
  if (!gdiplus || target.size() != std::size_t{width} * height) return false;
  const std::optional<OpenedPicture> opened = open_picture(*gdiplus.api_, bytes);
  if (!opened || opened->width != width || opened->height != height) return false;
  return read_pixels(*gdiplus.api_, *opened, target.data());
}

namespace {

static_assert(IDR_ORB_STRIP_8 - IDR_ORB_STRIP_1 + 1 == kStripParts);

// Decodes the mask and the strip's parts and cuts the frames out; GDI+ is up only for this call.
std::unique_ptr<AnimationFrames> decode_frames() {
  GdiplusSession gdiplus;
  if (!gdiplus) return nullptr;
  const std::optional<DecodedPicture> mask =
      decode_embedded_picture(gdiplus, embedded_resource(IDR_ORB_MASK));
  if (!mask) return nullptr;
  const std::uint32_t side = frame_side_for_mask(*mask, kMaxDecodedPixels);
  if (side == 0) return nullptr;
  auto frames = std::make_unique<AnimationFrames>();
  frames->side = side;
  const std::size_t part_size = std::size_t{side} * side * kStripPartFrames;
  frames->pixels.resize(part_size * kStripParts);
  for (std::uint32_t i = 0; i < kStripParts; ++i) {
    const std::span<std::uint32_t> place =
        std::span(frames->pixels).subspan(i * part_size, part_size);
    if (!decode_embedded_picture_into(gdiplus,
                                      embedded_resource(IDR_ORB_STRIP_1 + static_cast<int>(i)),
                                      side, side * kStripPartFrames, place)) {
      return nullptr;
    }
  }
  frames->pixels = apply_mask(std::move(frames->pixels), mask->pixels, side);
  return frames;
}

}  // namespace

bool decode_pictures_into(std::atomic<const AnimationFrames*>& cell, HWND notify) {
  std::unique_ptr<AnimationFrames> frames = decode_frames();
  if (!frames) return false;
  const AnimationFrames* expected = nullptr;
  // Release: a reader that sees the pointer sees every pixel behind it.
  if (!cell.compare_exchange_strong(expected, frames.get(), std::memory_order_release,
                                    std::memory_order_relaxed)) {
    return false;  // filled already: these frames are dropped
  }
  frames.release();  // the cell owns them for the rest of the process
  if (notify) PostMessageW(notify, MSG_FRAMES_READY, 0, 0);
  return true;
}

void decode_pictures() {
  AppState& state = app_state();
  decode_pictures_into(state.frames, state.main_window);
}

namespace {

// The header of a 32-bit top-down DIB of edge x edge: the surface and the copy to the screen.
BITMAPINFO top_down_header(int edge) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = edge;
  info.bmiHeader.biHeight = -edge;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

}  // namespace

// The pure arrays plus the backdrop surface they read. Members go in reverse order: the old
// bitmap is selected back, then the DC and the section are deleted.
struct LogoAnimation::Surface {
  FrameCache cache;
  std::uint32_t side = 0;
  OwnedBitmap section;
  OwnedMemoryDc dc;
  std::optional<SelectGuard> selection;
};

namespace {

std::unique_ptr<LogoAnimation::Surface> make_surface(int edge, std::uint32_t side) {
  auto surface = std::make_unique<LogoAnimation::Surface>();
  const BITMAPINFO info = top_down_header(edge);
  void* bits = nullptr;
  surface->section.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!surface->section || !bits) return nullptr;
  surface->dc.reset(CreateCompatibleDC(nullptr));
  if (!surface->dc) return nullptr;
  surface->selection.emplace(surface->dc.get(), surface->section.get());
  if (!surface->selection->selected()) return nullptr;
  surface->side = side;
  prepare_frame_cache(surface->cache, side, static_cast<std::uint32_t>(edge));
  surface->cache.surface_bits = static_cast<const std::uint32_t*>(bits);
  return surface;
}

}  // namespace

LogoAnimation::LogoAnimation() = default;
LogoAnimation::~LogoAnimation() = default;

LogoAnimation::Surface* LogoAnimation::surface_for(int size, const AnimationFrames& frames) const {
  Surface* surface = surface_.get();
  if (!surface || size <= 0 || surface->cache.edge != static_cast<std::uint32_t>(size) ||
      surface->side != frames.side) {
    return nullptr;
  }
  return surface;
}

void LogoAnimation::capture_backdrop(int size, const AnimationFrames& frames, HDC source, int x,
                                     int y) {
  if (size <= 0 || frames.side == 0) return;
  if (!surface_for(size, frames)) {
    surface_.reset();  // a cache of another size goes first, whatever comes next
    surface_ = make_surface(size, frames.side);
    if (!surface_) return;
  }
  BitBlt(surface_->dc.get(), 0, 0, size, size, source, x, y, SRCCOPY);
}

bool LogoAnimation::draw_frame(int size, const AnimationFrames& frames, std::uint32_t k, HDC target,
                               int x, int y) {
  Surface* surface = surface_for(size, frames);
  if (!surface) return false;
  // The backdrop's BitBlt may still be queued; its pixels must be complete before they are read.
  GdiFlush();
  if (!compose_frame(frames, k, surface->cache)) return false;
  const BITMAPINFO info = top_down_header(size);
  return StretchDIBits(target, x, y, size, size, 0, 0, size, size, surface->cache.out.data(), &info,
                       DIB_RGB_COLORS, SRCCOPY) != 0;
}

void LogoAnimation::step(HWND window, const AnimationFrames& frames, std::uint32_t k, int dpi) {
  WindowDc dc(window);
  if (!dc) return;
  // Straight onto the window: only the logo square changes, nothing is repainted.
  const Box logo = logo_box(dpi);
  draw_frame(logo.width(), frames, k, dc.get(), logo.left, logo.top);
}

void LogoAnimation::release() {
  surface_.reset();
}

}  // namespace qv

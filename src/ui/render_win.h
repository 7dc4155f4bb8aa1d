// Painting of the whole window and of the two owner-drawn buttons, and the four fonts. Everything
// is composed off-screen and reaches the window in one copy, so nothing flickers. Every drawing
// function draws from what it is handed (one PaintInput per paint, gathered by the window) and
// reads nothing of the shared state.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "app/app_state_win.h"
#include "app/dpi.h"
#include "app/win.h"
#include "ui/palette.h"
#include "ui/pictures_win.h"

namespace qv {

// The four fonts painting draws with, made for one DPI by create_fonts.
struct Fonts {
  HFONT body = nullptr;
  HFONT small_text = nullptr;
  HFONT button = nullptr;
  HFONT title = nullptr;
};

// Everything one paint draws from.
struct PaintInput {
  StateSnapshot state;
  std::uint32_t progress_permille = 0;
  std::uint32_t marquee_pos = 0;
  int dpi = kDesignDpi;
  Palette palette = standard_palette();
  Fonts fonts;
  HICON logo_icon = nullptr;  // the still logo
  // The decoded frames where the palette draws the orb (their backdrop is kept for the timer's
  // ticks), null otherwise; `animate`: the current frame is drawn instead of the still logo.
  const AnimationFrames* frames = nullptr;
  bool animate = false;
  std::uint32_t anim_frame = 0;
  bool link_focus_cue = false;  // the link has the keyboard focus and cues are shown
};

// What paints keep between them, owned by the window and released with it: the layer that every
// paint of one size, DPI and palette shares, the first frame's drawing thread, and the logo's
// animation surface. Window thread only.
class PaintCache {
 public:
  PaintCache();
  ~PaintCache();
  PaintCache(const PaintCache&) = delete;
  PaintCache& operator=(const PaintCache&) = delete;

  // Starts the thread that prepare_first_frame then hands its work, before the process has
  // joined its desktop: Wine takes milliseconds to start a thread, and they then overlap the join
  // instead of the window's creation. Until it is handed its work the thread only waits: no GDI
  // or USER call, no DLL load (a second thread's GDI call during the join can deadlock in Wine,
  // and so does loading msimg32 there when it is made native-first). finish_first_frame ends it
  // if it is never handed any.
  void start_first_frame();

  // Has that thread draw, after running `also` there, what the first paint of a w x h client at
  // `dpi` in `palette` draws before anything else (the background and the card); the window
  // thread meanwhile makes its controls. The next paint, or finish_first_frame, waits for it; a
  // paint of another size, DPI or palette draws everything itself, as it does when no thread can
  // start (`also` then runs at once).
  void prepare_first_frame(int width, int height, int dpi, const Palette& palette,
                           std::function<void()> also);
  void finish_first_frame();

  LogoAnimation& animation() { return animation_; }

  // Everything let go of (the first frame's thread waited for), as when the window is destroyed.
  void release();

  struct FrameBase;
  struct FramePreparation;
  struct StaticLayer;

 private:
  friend void render_client(HDC dc, int width, int height, const PaintInput& input,
                            PaintCache& cache);
  // The layer for this size, drawn first if needed; nothing when GDI cannot make it.
  const StaticLayer* static_layer(HDC like, int width, int height, int dpi, const Palette& palette,
                                  HFONT title_font);

  std::unique_ptr<FramePreparation> preparation_;
  std::unique_ptr<FrameBase> prepared_base_;
  std::unique_ptr<StaticLayer> layer_;
  LogoAnimation animation_;
};

// WM_PAINT: draws every pixel of the client area from `input`, in an off-screen bitmap made and
// deleted within this call; returns 0.
LRESULT paint_window(HWND window, const PaintInput& input, PaintCache& cache);

// Draws the client area into `dc` (w x h device pixels). paint_window calls it on its off-screen
// bitmap; tests call it on their own.
void render_client(HDC dc, int width, int height, const PaintInput& input, PaintCache& cache);

// The embedded background stretched over w x h (HALFTONE); nothing when it is unavailable.
void draw_background(HDC dc, int width, int height);

// What an owner-drawn button is drawn from.
struct ButtonInput {
  Screen screen = Screen::ChooseLocation;  // chooses the action button's label
  int dpi = kDesignDpi;
  Palette palette = standard_palette();
  HFONT font = nullptr;
  bool focus_cues_shown = false;  // a focused button shows a ring only then
};

// WM_DRAWITEM: draws the action button (101) or Browse (103) and returns TRUE; any other control:
// nothing, FALSE.
BOOL draw_owner_button(const DRAWITEMSTRUCT& item, const ButtonInput& input);

// The folder outline of the Browse button in `colour`, centred in `rect`.
void draw_folder_glyph(HDC dc, const RECT& rect, Rgb colour, int dpi);

// (Re)makes the four fonts of the shared state for `dpi` and gives them to the edit field and the
// action button.
void create_fonts(int dpi);

// The shared state's fonts, for a paint to draw with.
Fonts current_fonts();

}  // namespace qv

// Painting of the whole window and of the two owner-drawn buttons, and the four fonts. Everything
// is composed off-screen and reaches the window in one copy, so nothing flickers.
#pragma once

#include <functional>

#include "app/win.h"
#include "ui/palette.h"

namespace qv {

// Everything below draws in the palette it is handed (the window's own) and reads no colour of
// its own.

// WM_PAINT: draws every pixel of the client area; returns 0. `link_focus_cue`: the link has the
// keyboard focus and the window shows focus cues.
LRESULT paint_window(HWND window, const Palette& palette, bool link_focus_cue = false);

// Draws the client area for the current state into `dc` (w x h device pixels). paint_window
// calls it on its off-screen bitmap; tests call it on their own.
void render_client(HDC dc, int width, int height, const Palette& palette,
                   bool link_focus_cue = false);

// The embedded background stretched over w x h (HALFTONE); nothing when it is unavailable.
void draw_background(HDC dc, int width, int height);

// Starts drawing, on a thread of its own, what the first paint of a w x h client at `dpi` in
// `palette` draws before anything else (the background and the card), after running `also`
// there; the window thread meanwhile makes its controls. The next paint, or finish_first_frame,
// waits for it; a paint of another size, DPI or palette draws everything itself, as it does when
// no thread can start (`also` then runs at once). Window thread only.
void prepare_first_frame(int width, int height, int dpi, const Palette& palette,
                         std::function<void()> also);
void finish_first_frame();

// Starts the thread that prepare_first_frame then hands its work, before the process has joined
// its desktop: Wine takes milliseconds to start a thread, and they then overlap the join instead
// of the window's creation. Until it is handed its work the thread only waits: no GDI or USER
// call, no DLL load (a second thread's GDI call during the join can deadlock in Wine, and so does
// loading msimg32 there when it is made native-first). finish_first_frame ends it if it is never
// handed any.
void start_first_frame();

// WM_DRAWITEM: draws the action button (101) or Browse (103) and returns TRUE; any other control:
// nothing, FALSE. A focused button shows a ring only while the window shows focus cues.
BOOL draw_owner_button(const DRAWITEMSTRUCT& item, const Palette& palette,
                       bool focus_cues_shown = false);

// The folder outline of the Browse button in `colour`, centred in `rect`.
void draw_folder_glyph(HDC dc, const RECT& rect, Rgb colour);

// (Re)makes the four fonts for the current DPI and gives them to the edit field and the action
// button.
void create_fonts();

}  // namespace qv

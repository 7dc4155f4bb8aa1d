#include "ui/render_win.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/app_state_win.h"
#include "app/system_library_win.h"
#include "app/text_win.h"
#include "app/thread_win.h"
#include "ui/layout.h"
#include "ui/pictures_win.h"
#include "ui/screen_rules.h"

namespace qv {
namespace {

RECT to_rect(Box b) {
  return RECT{b.left, b.top, b.right, b.bottom};
}

void fill_box(HDC dc, Box box, Rgb colour) {
  const OwnedBrush brush(CreateSolidBrush(colorref(colour)));
  if (!brush) return;
  const RECT r = to_rect(box);
  FillRect(dc, &r, brush.get());
}

// Text at its top-left corner (the DC's alignment is left/top); the NUL is never counted.
void text_at(HDC dc, int dpi, Point design, std::string_view text) {
  const std::wstring wide = widen(text);
  const Point p = scaled_point(design, dpi);
  TextOutW(dc, p.x, p.y, wide.c_str(), static_cast<int>(wide.size()));
}

// The picture, or in high contrast the plain window colour, over the whole client area.
void draw_backdrop(HDC dc, int width, int height, const Palette& palette) {
  if (palette.plain_background) {
    fill_box(dc, Box{0, 0, width, height}, *palette.plain_background);
  } else {
    draw_background(dc, width, height);
  }
}

void draw_title_and_rule(HDC dc, int dpi, const Palette& palette, HFONT title_font) {
  {
    const SelectGuard font(dc, title_font);
    SetTextColor(dc, colorref(palette.text));
    SetTextCharacterExtra(dc, scale(kTitleLetterSpacing, dpi));
    text_at(dc, dpi, kTitlePos, kTitleText);
    SetTextCharacterExtra(dc, 0);
    fill_box(dc, accent_rule_box(dpi), palette.accent_rule);
  }
}

void draw_card(HDC dc, int dpi, const Palette& palette) {
  const Box card = card_box(dpi);
  const int corner = scale(kCardCorner, dpi);
  // The tint is a 1 x 1 pixel stretched at constant alpha; the rounded clip shapes its corners.
  // A plain background has no tint: in high contrast nothing is drawn under the texts but the
  // window colour. Without the system's msimg32 the card has no tint either; its outline is still
  // drawn.
  const AlphaBlendFunction alpha_blend =
      palette.plain_background ? nullptr : alpha_blend_function();
  if (alpha_blend) {
    const OwnedRegion clip(
        CreateRoundRectRgn(card.left, card.top, card.right + 1, card.bottom + 1, corner, corner));
    if (clip) SelectClipRgn(dc, clip.get());
    const OwnedMemoryDc tint_dc(CreateCompatibleDC(dc));
    const OwnedBitmap pixel(CreateCompatibleBitmap(dc, 1, 1));
    if (tint_dc && pixel) {
      const SelectGuard selected(tint_dc.get(), pixel.get());
      fill_box(tint_dc.get(), Box{0, 0, 1, 1}, COLOR_CARD_TINT);
      BLENDFUNCTION blend{};
      blend.BlendOp = AC_SRC_OVER;
      blend.BlendFlags = 0;
      blend.SourceConstantAlpha = static_cast<BYTE>(kCardTintAlpha);
      blend.AlphaFormat = 0;
      alpha_blend(dc, card.left, card.top, card.width(), card.height(), tint_dc.get(), 0, 0, 1, 1,
                  blend);
    }
    SelectClipRgn(dc, nullptr);
  }

  const OwnedPen pen(CreatePen(PS_SOLID, card_pen_width(dpi), colorref(palette.card_border)));
  if (!pen) return;
  const SelectGuard pen_selected(dc, pen.get());
  const SelectGuard brush_selected(dc, GetStockObject(HOLLOW_BRUSH));
  RoundRect(dc, card.left, card.top, card.right, card.bottom, corner, corner);
}

void draw_progress_bar(HDC dc, const PaintInput& input) {
  const int dpi = input.dpi;
  const Palette& palette = input.palette;
  const Box track = progress_track_box(dpi);
  const int r = scale(kProgressCorner, dpi);
  {
    const OwnedBrush brush(CreateSolidBrush(colorref(palette.track_face)));
    const OwnedPen pen(CreatePen(PS_SOLID, 1, colorref(palette.track_edge)));
    if (brush && pen) {
      const SelectGuard brush_selected(dc, brush.get());
      const SelectGuard pen_selected(dc, pen.get());
      RoundRect(dc, track.left, track.top, track.right, track.bottom, r, r);
    }
  }
  const OwnedRegion clip(
      CreateRoundRectRgn(track.left, track.top, track.right + 1, track.bottom + 1, r, r));
  if (clip) SelectClipRgn(dc, clip.get());
  const std::uint32_t permille = input.progress_permille;
  if (progress_indeterminate(input.state.screen, permille)) {
    if (const auto segment = marquee_segment(track, input.marquee_pos)) {
      fill_box(dc, *segment, palette.marquee);
    }
  } else if (const auto fill = progress_fill(track, permille); fill && fill->width() > 0) {
    fill_box(dc, *fill, palette.fill);
  }
  SelectClipRgn(dc, nullptr);
}

// The keyboard focus cue: an outline in `colour`, drawn inside `box` (device pixels).
void draw_focus_outline(HDC dc, Box box, Rgb colour, int dpi) {
  const OwnedPen pen(CreatePen(PS_INSIDEFRAME, focus_pen_width(dpi), colorref(colour)));
  if (!pen) return;
  const SelectGuard pen_selected(dc, pen.get());
  const SelectGuard brush_selected(dc, GetStockObject(HOLLOW_BRUSH));
  const int corner = scale(kFocusCorner, dpi);
  RoundRect(dc, box.left, box.top, box.right, box.bottom, corner, corner);
}

void draw_link(HDC dc, int dpi, Rgb colour, bool focus_cue) {
  SetTextColor(dc, colorref(colour));
  text_at(dc, dpi, kLinkPos, kLinkText);
  if (!focus_cue) return;
  const std::wstring wide = widen(kLinkText);
  SIZE extent{};
  if (!GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent)) return;
  const Box box = link_focus_box(dpi, extent.cx, extent.cy);
  draw_focus_outline(dc, box, colour, dpi);
}

void draw_screen_texts(HDC dc, const PaintInput& input) {
  const int dpi = input.dpi;
  const StateSnapshot& state = input.state;
  const Palette& palette = input.palette;
  switch (state.screen) {
    case Screen::ChooseLocation: {
      {
        const SelectGuard font(dc, input.fonts.body);
        SetTextColor(dc, colorref(palette.text));
        text_at(dc, dpi, kLocationLabelPos, kLocationLabel);
      }
      const SelectGuard font(dc, input.fonts.small_text);
      SetTextColor(dc, colorref(palette.small_text));
      text_at(dc, dpi, kHintPos, kHintText);
      if (!state.version_note.empty()) text_at(dc, dpi, kVersionNotePos, state.version_note);
      return;
    }
    case Screen::Done: {
      {
        const SelectGuard font(dc, input.fonts.body);
        SetTextColor(dc, colorref(palette.text));
        text_at(dc, dpi, kStatusPos, state.status);
      }
      const SelectGuard font(dc, input.fonts.small_text);
      SetTextColor(dc, colorref(palette.small_text));
      if (!state.detail.empty()) text_at(dc, dpi, kDetailLinePos, state.detail);
      return;
    }
    case Screen::Downloading:
    case Screen::Verifying:
    case Screen::Installing:
    case Screen::Failed:
      break;
  }
  {
    const SelectGuard font(dc, input.fonts.body);
    SetTextColor(dc, colorref(state.screen == Screen::Failed ? palette.error_text : palette.text));
    text_at(dc, dpi, kStatusPos, state.status);
  }
  {
    const SelectGuard font(dc, input.fonts.small_text);
    if (!state.detail.empty()) {
      SetTextColor(dc, colorref(palette.small_text));
      const std::wstring wide = widen(state.detail);
      RECT box = to_rect(scaled_box(kDetailBox, dpi));
      DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &box, DT_WORDBREAK | DT_NOPREFIX);
    }
    if (shows_link(state.screen, state.show_full_installer_link)) {
      draw_link(dc, dpi, palette.link, input.link_focus_cue);
    }
  }
  if (state.screen != Screen::Failed) draw_progress_bar(dc, input);
}

}  // namespace

// What the first frame draws first, drawn ahead on another thread (prepare_first_frame): the
// background and the card, in a bitmap of the screen's format like the layer below.
struct PaintCache::FrameBase {
  int width = 0;
  int height = 0;
  int dpi = 0;
  Palette palette = standard_palette();
  OwnedBitmap bitmap;
};

// The preparation under way, and what it made once it has been waited for. Window thread only;
// the drawing thread writes `made` and nothing else, and is waited for before it is read. What
// it is to draw is written before `go` is set and read after it: the event orders the two.
struct PaintCache::FramePreparation {
  std::function<void()> also;
  int width = 0;
  int height = 0;
  int dpi = 0;
  Palette palette = standard_palette();
  bool draw = false;  // set with `go`; false: the thread ends without drawing
  bool released = false;
  OwnedHandle go;
  FrameBase made;
  OwnedHandle thread;
};

// What every paint of one size, DPI and palette draws first, and identically: the background,
// the title with its rule, and the card. Stretching in HALFTONE alone costs Wine about 12 ms and
// the moving bar repaints 25 times a second, which on a busy machine starves the install worker
// of the processor; so this is drawn once per size into a layer that each paint copies. Nothing
// in it changes between paints, and none of it lies under the logo square, whose backdrop each
// paint captures from the copy. A palette of other colours (high contrast switched, or the theme's
// colours changed) draws it again.
struct PaintCache::StaticLayer {
  int width = 0;
  int height = 0;
  int dpi = 0;
  Palette palette = standard_palette();
  HFONT title_font = nullptr;
  // In this order, so the old bitmap is selected back before the DC and the bitmap go.
  OwnedBitmap bitmap;
  OwnedMemoryDc dc;
  std::optional<SelectGuard> selection;
};

namespace {

PaintCache::FrameBase draw_frame_base(int width, int height, int dpi, const Palette& palette) {
  PaintCache::FrameBase base;
  const WindowDc screen(nullptr);
  if (!screen) return base;
  base.bitmap.reset(CreateCompatibleBitmap(screen.get(), width, height));
  const OwnedMemoryDc dc(CreateCompatibleDC(screen.get()));
  if (!base.bitmap || !dc) return PaintCache::FrameBase{};
  {
    const SelectGuard selected(dc.get(), base.bitmap.get());
    if (!selected.selected()) return PaintCache::FrameBase{};
    draw_backdrop(dc.get(), width, height, palette);
    draw_card(dc.get(), dpi, palette);
  }
  base.width = width;
  base.height = height;
  base.dpi = dpi;
  base.palette = palette;
  return base;
}

}  // namespace

PaintCache::PaintCache() = default;

PaintCache::~PaintCache() {
  release();
}

const PaintCache::StaticLayer* PaintCache::static_layer(HDC like, int width, int height, int dpi,
                                                        const Palette& palette, HFONT title_font) {
  if (const StaticLayer* layer = layer_.get();
      layer && layer->width == width && layer->height == height && layer->dpi == dpi &&
      layer->palette == palette && layer->title_font == title_font) {
    return layer;
  }
  layer_.reset();  // a layer of another size goes first, whatever comes next
  // The first frame's background and card may be drawn already; they do not overlap the title.
  std::unique_ptr<FrameBase> base = std::move(prepared_base_);
  const bool prepared = base && base->bitmap && base->width == width && base->height == height &&
                        base->dpi == dpi && base->palette == palette;
  auto layer = std::make_unique<StaticLayer>();
  layer->bitmap =
      prepared ? std::move(base->bitmap) : OwnedBitmap(CreateCompatibleBitmap(like, width, height));
  layer->dc.reset(CreateCompatibleDC(like));
  if (!layer->bitmap || !layer->dc) return nullptr;
  layer->selection.emplace(layer->dc.get(), layer->bitmap.get());
  if (!layer->selection->selected()) return nullptr;
  const HDC dc = layer->dc.get();
  if (!prepared) draw_backdrop(dc, width, height, palette);
  SetBkMode(dc, TRANSPARENT);
  draw_title_and_rule(dc, dpi, palette, title_font);
  if (!prepared) draw_card(dc, dpi, palette);
  layer->width = width;
  layer->height = height;
  layer->dpi = dpi;
  layer->palette = palette;
  layer->title_font = title_font;
  layer_ = std::move(layer);
  return layer_.get();
}

void PaintCache::start_first_frame() {
  finish_first_frame();
  auto preparation = std::make_unique<FramePreparation>();
  preparation->go.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!preparation->go) return;
  FramePreparation* const p = preparation.get();
  preparation->thread = start_thread([p] {
    WaitForSingleObject(p->go.get(), INFINITE);
    if (!p->draw) return;
    p->also();
    p->made = draw_frame_base(p->width, p->height, p->dpi, p->palette);
  });
  if (preparation->thread) preparation_ = std::move(preparation);
}

void PaintCache::prepare_first_frame(int width, int height, int dpi, const Palette& palette,
                                     std::function<void()> also) {
  if (!preparation_ || preparation_->released) start_first_frame();
  FramePreparation* const p = preparation_.get();
  if (!p) {
    also();
    return;
  }
  p->also = std::move(also);
  p->width = width;
  p->height = height;
  p->dpi = dpi;
  p->palette = palette;
  p->draw = true;
  p->released = true;
  SetEvent(p->go.get());
}

void PaintCache::finish_first_frame() {
  if (!preparation_) return;
  if (!preparation_->released) SetEvent(preparation_->go.get());  // draw stays false
  WaitForSingleObject(preparation_->thread.get(), INFINITE);
  prepared_base_ = std::make_unique<FrameBase>(std::move(preparation_->made));
  preparation_.reset();
}

void PaintCache::release() {
  finish_first_frame();
  prepared_base_.reset();
  layer_.reset();
  animation_.release();
}

void draw_background(HDC dc, int width, int height) {
  const auto picture = background_picture();
  if (!picture) return;
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);  // HALFTONE needs the brush origin reset
  StretchDIBits(dc, 0, 0, width, height, 0, 0, picture->width, picture->height, picture->bits,
                picture->info, DIB_RGB_COLORS, SRCCOPY);
}

void render_client(HDC dc, int width, int height, const PaintInput& input, PaintCache& cache) {
  cache.finish_first_frame();  // the still logo and the first frame's background may be under way
  const int dpi = input.dpi;
  const Palette& palette = input.palette;
  const Box logo = logo_box(dpi);

  const PaintCache::StaticLayer* layer =
      cache.static_layer(dc, width, height, dpi, palette, input.fonts.title);
  if (layer) {
    BitBlt(dc, 0, 0, width, height, layer->dc.get(), 0, 0, SRCCOPY);
  } else {
    draw_backdrop(dc, width, height, palette);
  }
  LogoAnimation& animation = cache.animation();
  if (input.frames)
    animation.capture_backdrop(logo.width(), *input.frames, dc, logo.left, logo.top);
  SetBkMode(dc, TRANSPARENT);

  // The animation where it may run, else the still logo in its place.
  const bool drawn =
      input.frames && input.animate &&
      animation.draw_frame(logo.width(), *input.frames, input.anim_frame % kAnimationFrameCount, dc,
                           logo.left, logo.top);
  if (!drawn && input.logo_icon) {
    DrawIconEx(dc, logo.left, logo.top, input.logo_icon, logo.width(), logo.height(), 0, nullptr,
               DI_NORMAL);
  }

  if (!layer) {
    draw_title_and_rule(dc, dpi, palette, input.fonts.title);
    draw_card(dc, dpi, palette);
  }
  if (shows_close_glyph(input.state.screen)) {
    const SelectGuard font(dc, input.fonts.body);
    SetTextColor(dc, colorref(palette.close_glyph));
    const Point p = close_glyph_pos(dpi);
    const std::wstring glyph = widen(kCloseGlyph);
    TextOutW(dc, p.x, p.y, glyph.c_str(), static_cast<int>(glyph.size()));
  }
  draw_screen_texts(dc, input);
}

LRESULT paint_window(HWND window, const PaintInput& input, PaintCache& cache) {
  PAINTSTRUCT ps{};
  const HDC paint_dc = BeginPaint(window, &ps);
  if (!paint_dc) return 0;
  RECT client{};
  GetClientRect(window, &client);
  const int w = client.right - client.left;
  const int h = client.bottom - client.top;
  {
    // The off-screen bitmap lives for this one paint.
    const OwnedMemoryDc memory(CreateCompatibleDC(paint_dc));
    const OwnedBitmap bitmap(CreateCompatibleBitmap(paint_dc, w, h));
    if (memory && bitmap) {
      const SelectGuard selected(memory.get(), bitmap.get());
      render_client(memory.get(), w, h, input, cache);
      BitBlt(paint_dc, 0, 0, w, h, memory.get(), 0, 0, SRCCOPY);
    }
  }
  EndPaint(window, &ps);
  return 0;
}

void draw_folder_glyph(HDC dc, const RECT& rect, Rgb colour, int dpi) {
  const FolderGlyph g = folder_glyph(Box{rect.left, rect.top, rect.right, rect.bottom}, dpi);
  const OwnedPen pen(CreatePen(PS_SOLID, g.pen_width, colorref(colour)));
  if (!pen) return;
  const SelectGuard pen_selected(dc, pen.get());
  const SelectGuard brush_selected(dc, GetStockObject(HOLLOW_BRUSH));
  RoundRect(dc, g.tab.left, g.tab.top, g.tab.right, g.tab.bottom, g.corner, g.corner);
  RoundRect(dc, g.body.left, g.body.top, g.body.right, g.body.bottom, g.corner, g.corner);
}

BOOL draw_owner_button(const DRAWITEMSTRUCT& item, const ButtonInput& input) {
  const HDC dc = item.hDC;
  const int dpi = input.dpi;
  const Palette& palette = input.palette;
  const Box box{item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom};
  const bool focus_ring = input.focus_cues_shown && (item.itemState & ODS_FOCUS) != 0;
  if (item.CtlID == static_cast<UINT>(kActionButtonId)) {
    fill_box(dc, box, palette.action_face);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colorref(palette.action_text));
    const SelectGuard font(dc, input.font);
    const std::wstring label = widen(action_label(input.screen));
    RECT r = item.rcItem;
    DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &r,
              DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    if (focus_ring) {
      draw_focus_outline(dc, button_focus_box(box, dpi), palette.action_text, dpi);
    }
    return TRUE;
  }
  if (item.CtlID == static_cast<UINT>(kBrowseButtonId)) {
    fill_box(dc, box, palette.browse_face);
    draw_folder_glyph(dc, item.rcItem, palette.browse_glyph, dpi);
    if (focus_ring) {
      draw_focus_outline(dc, button_focus_box(box, dpi), palette.browse_glyph, dpi);
    }
    return TRUE;
  }
  return FALSE;
}

void create_fonts(int dpi) {
  AppState& s = app_state();
  const std::wstring face = widen(kFontFace);
  const auto make = [&](FontSpec font) {
    return OwnedFont(CreateFontW(font_height(font, dpi), 0, 0, 0, font.weight, FALSE, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
  };
  // The new fonts are handed to the controls before the old ones are deleted, so a control
  // never holds a deleted font.
  OwnedFont body = make(kFontBody);
  OwnedFont small_font = make(kFontSmall);
  OwnedFont button = make(kFontButton);
  OwnedFont title = make(kFontTitle);
  if (s.location_edit) {
    SendMessageW(s.location_edit, WM_SETFONT, reinterpret_cast<WPARAM>(body.get()), TRUE);
  }
  if (s.action_button) {
    SendMessageW(s.action_button, WM_SETFONT, reinterpret_cast<WPARAM>(button.get()), TRUE);
  }
  s.font_body = std::move(body);
  s.font_small = std::move(small_font);
  s.font_button = std::move(button);
  s.font_title = std::move(title);
}

Fonts current_fonts() {
  const AppState& s = app_state();
  return Fonts{s.font_body.get(), s.font_small.get(), s.font_button.get(), s.font_title.get()};
}

}  // namespace qv

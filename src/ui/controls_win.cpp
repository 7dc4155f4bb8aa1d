#include "ui/controls_win.h"

#include <string>

#include "app/handles_win.h"
#include "app/text_win.h"
#include "ui/layout.h"

namespace qv {
namespace {

constexpr wchar_t kLinkClassName[] = L"QuorvaneInstallerLink";

// Ctrl+A arrives in the field as character 1 (the plain user32 edit ignores it).
constexpr WPARAM kSelectAllCharacter = 1;

template <class Body>
LRESULT guarded(Body body) noexcept {
  // As in the window procedure: only running out of memory can throw here.
  try {
    return body();
  } catch (...) {
    ExitProcess(4);
  }
}

HWND create_child(const wchar_t* class_name, std::string_view text, int id, DWORD style,
                  HWND parent, HINSTANCE instance) {
  return CreateWindowExW(0, class_name, widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0,
                         10, 10, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         instance, nullptr);
}

void place(HWND control, DesignRect rect, int dpi) {
  const Placement p = scaled_placement(rect, dpi);
  MoveWindow(control, p.x, p.y, p.width, p.height, TRUE);
}

void round_corners(HWND button, DesignRect rect, int dpi) {
  const Box box = button_region_box(rect, dpi);
  const int corner = scale(kButtonCorner, dpi);
  OwnedRegion region(CreateRoundRectRgn(box.left, box.top, box.right, box.bottom, corner, corner));
  if (!region) return;
  // On success the window owns the region.
  if (SetWindowRgn(button, region.get(), TRUE)) region.release();
}

}  // namespace

void apply_layout(ControlLayout layout) {
  const AppState& s = app_state();
  const LayoutSpec plan = layout_spec(layout);
  SetWindowTextW(s.action_button, widen(plan.action_text).c_str());
  if (plan.moves_location_controls) {
    place(s.location_edit, kEditRect, s.dpi);
    place(s.browse_button, kBrowseRect, s.dpi);
  }
  place(s.action_button, plan.action, s.dpi);
  round_corners(s.action_button, plan.action, s.dpi);
  if (plan.moves_location_controls) round_corners(s.browse_button, kBrowseRect, s.dpi);
  if (layout == ControlLayout::Retry) ShowWindow(s.action_button, SW_SHOW);
}

void layout_location_controls() {
  apply_layout(ControlLayout::Location);
}

void layout_launch_button() {
  apply_layout(ControlLayout::Launch);
}

void layout_retry_button() {
  apply_layout(ControlLayout::Retry);
}

void show_location_controls(bool shown) {
  const AppState& s = app_state();
  const int how = shown ? SW_SHOW : SW_HIDE;
  ShowWindow(s.location_edit, how);
  ShowWindow(s.browse_button, how);
  ShowWindow(s.action_button, how);
}

void Controls::create(HWND main, HINSTANCE instance, std::string_view folder) {
  AppState& s = app_state();
  main_ = main;
  s.location_edit = create_child(L"EDIT", folder, kLocationEditId,
                                 WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, main, instance);
  s.browse_button = create_child(L"BUTTON", kBrowseText, kBrowseButtonId, WS_TABSTOP | BS_OWNERDRAW,
                                 main, instance);
  s.action_button = create_child(L"BUTTON", kLabelInstall, kActionButtonId,
                                 WS_TABSTOP | BS_OWNERDRAW, main, instance);
}

void Controls::adopt() {
  const AppState& s = app_state();
  hook(s.location_edit, hooks_[0], AccessPart::Field);
  hook(s.browse_button, hooks_[1], AccessPart::Browse);
  hook(s.action_button, hooks_[2], AccessPart::Action);
  focus_cues_shown_ = keyboard_cues_always_shown();
}

void Controls::hook(HWND control, Hook& h, AccessPart part) {
  if (!control) return;
  h.owner = this;
  h.part = part;
  h.control = control;
  h.original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_WNDPROC));
  SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&h));
  SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&control_procedure));
}

void Controls::release() {
  // The controls may outlive this object while the window goes: they get their own procedures
  // back, and nothing of theirs points here any more.
  for (Hook& h : hooks_) {
    h.owner = nullptr;
    if (h.control) unhook(h.control);
  }
  if (link_ && IsWindow(link_)) SetWindowLongPtrW(link_, GWLP_USERDATA, 0);
}

void Controls::unhook(HWND control) {
  auto* h = reinterpret_cast<Hook*>(GetWindowLongPtrW(control, GWLP_USERDATA));
  if (!h || !IsWindow(control)) return;
  if (GetWindowLongPtrW(control, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&control_procedure)) {
    SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(h->original));
  }
  SetWindowLongPtrW(control, GWLP_USERDATA, 0);
  h->control = nullptr;
}

LRESULT CALLBACK Controls::control_procedure(HWND control, UINT message, WPARAM wparam,
                                             LPARAM lparam) noexcept {
  const auto* h = reinterpret_cast<const Hook*>(GetWindowLongPtrW(control, GWLP_USERDATA));
  if (!h) return DefWindowProcW(control, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    // The control's last message: its own procedure back first, so that nothing reaches the hook
    // after it, whichever of the control and this object goes first.
    const WNDPROC original = h->original;
    unhook(control);
    return CallWindowProcW(original, control, message, wparam, lparam);
  }
  return guarded([&]() -> LRESULT {
    switch (message) {
      case WM_CHAR:
        if (h->part == AccessPart::Field && wparam == kSelectAllCharacter) {
          SendMessageW(control, EM_SETSEL, 0, -1);
          return 0;
        }
        break;
      case WM_GETOBJECT:
        if (!h->owner) break;
        if (const auto answer =
                answer_control_object(h->owner->access_, control, h->part, wparam, lparam)) {
          return *answer;
        }
        break;
      default:
        break;
    }
    return CallWindowProcW(h->original, control, message, wparam, lparam);
  });
}

LRESULT CALLBACK Controls::link_procedure(HWND link, UINT message, WPARAM wparam,
                                          LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(link, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Controls*>(GetWindowLongPtrW(link, GWLP_USERDATA));
  return guarded([&]() -> LRESULT {
    switch (message) {
      case WM_NCHITTEST:
        return HTTRANSPARENT;  // the mouse goes to the main window, which handles the link
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT: {
        // The main window paints the link and its focus cue; this window only takes the focus.
        PAINTSTRUCT ps{};
        BeginPaint(link, &ps);
        EndPaint(link, &ps);
        return 0;
      }
      case WM_GETDLGCODE:
        return DLGC_BUTTON;
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
        if (self) self->invalidate_link();
        return 0;
      case WM_KEYUP:
        // Space presses it on release, as it presses a button.
        if (wparam == VK_SPACE && self) {
          PostMessageW(self->main_, WM_COMMAND, MAKEWPARAM(kLinkId, BN_CLICKED),
                       reinterpret_cast<LPARAM>(link));
          return 0;
        }
        break;
      case WM_GETOBJECT:
        if (self) {
          if (const auto answer =
                  answer_control_object(self->access_, link, AccessPart::Link, wparam, lparam)) {
            return *answer;
          }
        }
        break;
      default:
        break;
    }
    return DefWindowProcW(link, message, wparam, lparam);
  });
}

void Controls::sync_link_stop(const StateSnapshot& state) {
  const bool shown = shows_link(state.screen, state.show_full_installer_link);
  if (!link_) {
    if (!shown) return;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Controls::link_procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kLinkClassName;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
    // Last of the children, so that Tab reaches it after the action button.
    link_ = CreateWindowExW(0, kLinkClassName, widen(kLinkText).c_str(), WS_CHILD | WS_TABSTOP, 0,
                            0, 0, 0, main_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLinkId)),
                            instance, this);
    if (!link_) return;
  }
  const Box b = scaled_box(kLinkHitBox, app_state().dpi);
  MoveWindow(link_, b.left, b.top, b.width(), b.height(), FALSE);
  ShowWindow(link_, shown ? SW_SHOWNA : SW_HIDE);
}

void Controls::before_dialog_message(const MSG& msg) {
  if (msg.message != WM_KEYDOWN) return;
  switch (msg.wParam) {
    case VK_TAB:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
      show_focus_cues(true);
      break;
    default:
      break;
  }
}

void Controls::on_update_ui_state(WPARAM wparam) {
  // The platform's dialog manager says so where it keeps the state itself.
  if ((HIWORD(wparam) & UISF_HIDEFOCUS) == 0) return;
  if (LOWORD(wparam) == UIS_CLEAR) show_focus_cues(true);
  if (LOWORD(wparam) == UIS_SET) show_focus_cues(keyboard_cues_always_shown());
}

void Controls::on_keyboard_cues_setting() {
  if (keyboard_cues_always_shown()) show_focus_cues(true);
}

bool Controls::keyboard_cues_always_shown() {
  BOOL shown = FALSE;
  SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &shown, 0);
  return shown != FALSE;
}

void Controls::show_focus_cues(bool shown) {
  if (focus_cues_shown_ == shown) return;
  focus_cues_shown_ = shown;
  const AppState& s = app_state();
  InvalidateRect(s.browse_button, nullptr, FALSE);
  InvalidateRect(s.action_button, nullptr, FALSE);
  if (link_) invalidate_link();
}

bool Controls::link_shows_focus_cue() const {
  return link_ && GetFocus() == link_ && IsWindowVisible(link_) && focus_cues_shown_;
}

void Controls::invalidate_link() {
  // The band the link's focus outline may cover, which reaches past the link's hit area.
  const Box b =
      scaled_box(DesignEdges{kCard.left, kLinkPos.y - kFocusInset * 2, kCard.right, kCard.bottom},
                 app_state().dpi);
  const RECT r{b.left, b.top, b.right, b.bottom};
  InvalidateRect(main_, &r, FALSE);
}

void Controls::remember_focus() {
  const HWND focus = GetFocus();
  last_focus_ = focus && IsChild(main_, focus) ? focus : nullptr;
}

void Controls::restore_focus() {
  if (last_focus_ && IsWindow(last_focus_) && IsWindowVisible(last_focus_)) {
    SetFocus(last_focus_);
  } else {
    keep_focus_on_action();
  }
}

void Controls::keep_focus_on_action() {
  const HWND action = app_state().action_button;
  const HWND focus = GetFocus();
  // Only when the focus sits on the window itself: a control that has it keeps it, and a window
  // that is not active is not activated.
  if (focus == main_ && IsWindowVisible(action)) SetFocus(action);
}

}  // namespace qv

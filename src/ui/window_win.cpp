#include "ui/window_win.h"

#include <string>

#include "app/app_state_win.h"
#include "app/text_win.h"
#include "app/thread_win.h"
#include "install/location.h"
#include "ui/folder_picker_win.h"
#include "ui/layout.h"
#include "ui/screen_rules.h"
#include "ui/shell_win.h"
#include "ui/system_settings_win.h"

namespace qv {
namespace {

Point point_from(LPARAM lparam) {
  // Signed 16-bit halves: coordinates left of or above a monitor's origin are negative.
  return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
}

// The owner-drawn buttons and the edit field are windows of their own: a new look repaints them
// too.
void invalidate_with_children(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

}  // namespace

// ---- The window ----

MainWindow::MainWindow(InstallWorker worker)
    : worker_(std::move(worker)), palette_(read_palette()) {
  access_->window = this;
}

MainWindow::~MainWindow() {
  // Normally done at WM_NCDESTROY; a window never created, or torn down by its owner's end,
  // leaves nothing behind either: no message that still reaches the window or its controls
  // finds this object.
  access_->window = nullptr;
  controls_.release();
  if (window_ && IsWindow(window_)) SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
}

bool MainWindow::register_class(HINSTANCE instance, HICON icon, HICON small_icon) {
  const std::wstring name = widen(kWindowClassName);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = &MainWindow::procedure;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;  // every pixel is painted
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = name.c_str();
  // Given, so that Windows does not shrink a copy of the big one (about 3 ms under Wine).
  wc.hIconSm = small_icon;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND MainWindow::create(HINSTANCE instance) {
  const std::wstring name = widen(kWindowClassName);
  const std::wstring title = widen(kWindowTitle);
  return CreateWindowExW(0, name.c_str(), title.c_str(), WS_POPUP, 0, 0, kWindowWidth,
                         kWindowHeight, nullptr, nullptr, instance, this);
}

LRESULT CALLBACK MainWindow::procedure(HWND window, UINT message, WPARAM wparam,
                                       LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* self = static_cast<MainWindow*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return DefWindowProcW(window, message, wparam, lparam);
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    // The last message: nothing of this object is reached through the window after it.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->on_nc_destroy();
    return DefWindowProcW(window, message, wparam, lparam);
  }
  // Nothing may be thrown across the system's call; the only throw left is out of memory,
  // which ends the process as any resource failure does.
  try {
    return self->handle_message(message, wparam, lparam);
  } catch (...) {
    ExitProcess(4);
  }
}

LRESULT MainWindow::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      return on_destroy();
    case WM_SIZE:
      update_animation_timer();
      return DefWindowProcW(window_, message, wparam, lparam);
    case WM_PAINT:
      paint_.finish_first_frame();  // its thread writes the still logo that the input reads
      return paint_window(window_, paint_input(), paint_);
    case WM_CLOSE:
      return on_close();
    case WM_ERASEBKGND:
      return 1;  // nothing is erased: every paint covers the whole client area
    case WM_SETTINGCHANGE:
      return on_setting_change(wparam, lparam);
    case WM_SYSCOLORCHANGE:
      return on_system_colours_changed();
    case WM_DRAWITEM:
      return on_draw_item(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
    case WM_NCHITTEST:
      return on_nc_hit_test(wparam, lparam);
    case WM_COMMAND:
      return on_command(wparam);
    case WM_TIMER:
      return on_timer(wparam);
    case WM_LBUTTONUP:
      return on_left_button_up(lparam);
    case WM_DPICHANGED:
      return on_dpi_changed(wparam, lparam);
    case MSG_STATE_CHANGED:
      return on_state_changed();
    case MSG_RUN_FINISHED:
      return on_run_finished(wparam);
    case MSG_FRAMES_READY:
      update_animation_timer();
      return 0;
    case WM_GETOBJECT:
      return on_get_object(wparam, lparam);
    case WM_UPDATEUISTATE:
      controls_.on_update_ui_state(wparam);
      return DefWindowProcW(window_, message, wparam, lparam);
    case WM_ACTIVATE:
      return on_activate(wparam, lparam);
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

void MainWindow::adopt_controls() {
  controls_.adopt();
  announcer_.reset(access_view());
}

PaintInput MainWindow::paint_input() const {
  const AppState& s = app_state();
  PaintInput input;
  input.state = snapshot_state();
  input.progress_permille = s.progress_permille.load();
  input.marquee_pos = s.marquee_pos;
  input.dpi = s.dpi;
  input.palette = palette_;
  input.fonts = current_fonts();
  input.logo_icon = s.logo_icon;
  // A palette without the orb never draws it, whatever the frames.
  input.frames = palette_.animated_logo ? s.frames.load(std::memory_order_acquire) : nullptr;
  input.animate = input.frames && s.animations_enabled && !IsIconic(window_);
  input.anim_frame = s.anim_frame;
  input.link_focus_cue = controls_.link_shows_focus_cue();
  return input;
}

LRESULT MainWindow::on_draw_item(const DRAWITEMSTRUCT& item) {
  const AppState& s = app_state();
  return draw_owner_button(item, ButtonInput{current_screen(), s.dpi, palette_, s.font_button.get(),
                                             controls_.focus_cues_shown()});
}

LRESULT MainWindow::on_destroy() {
  access_->window = nullptr;  // objects that readers still hold answer nothing from now on
  KillTimer(window_, TIMER_MARQUEE);
  KillTimer(window_, TIMER_AUTOLAUNCH);
  KillTimer(window_, TIMER_ANIMATION);
  KillTimer(window_, TIMER_LAUNCH_RETRY);
  app_state().anim_timer_running = false;
  PostQuitMessage(0);
  return 0;
}

void MainWindow::on_nc_destroy() {
  access_->window = nullptr;
  controls_.release();
  paint_.release();
  launch_.reset();
  window_ = nullptr;
}

void MainWindow::invalidate_all(bool erase) {
  InvalidateRect(window_, nullptr, erase ? TRUE : FALSE);
}

LRESULT MainWindow::on_close() {
  switch (close_action(current_screen())) {
    case CloseAction::Ignore:
      break;
    case CloseAction::Cancel:
      // The run notices at its next check and ends with MSG_RUN_FINISHED (canceled).
      app_state().cancel_requested.store(true);
      break;
    case CloseAction::Destroy:
      DestroyWindow(window_);
      break;
  }
  return 0;
}

LRESULT MainWindow::on_nc_hit_test(WPARAM wparam, LPARAM lparam) {
  const LRESULT answer = DefWindowProcW(window_, WM_NCHITTEST, wparam, lparam);
  if (answer != HTCLIENT) return answer;
  const Point screen = point_from(lparam);
  POINT p{screen.x, screen.y};
  ScreenToClient(window_, &p);
  return classify_client_point({p.x, p.y}, app_state().dpi) == NcHit::Caption ? HTCAPTION
                                                                              : HTCLIENT;
}

LRESULT MainWindow::on_left_button_up(LPARAM lparam) {
  const bool link_shown = snapshot_state().show_full_installer_link;
  const Point p = point_from(lparam);
  const int dpi = app_state().dpi;
  if (in_close_box(p, dpi)) {
    PostMessageW(window_, WM_CLOSE, 0, 0);
  } else if (link_shown && in_link(p, dpi)) {
    open_release_page();
  }
  return 0;
}

LRESULT MainWindow::on_command(WPARAM wparam) {
  // A disabled window (the folder picker is open over it) takes no command from anywhere, as it
  // takes no click: a screen reader's default action, or anything else posted, arrives anyway
  // and the picker's own message loop would run it.
  if (!IsWindowEnabled(window_)) return 0;
  switch (LOWORD(wparam)) {
    case kActionButtonId:
      switch (action_command(current_screen())) {
        case ActionCommand::LaunchAndClose:
          // Once the user has clicked, only another click starts the product.
          KillTimer(window_, TIMER_AUTOLAUNCH);
          launch_and_close();
          break;
        case ActionCommand::Retry:
          retry();
          break;
        case ActionCommand::StartInstall:
          start_install();
          break;
      }
      break;
    case kBrowseButtonId:
      browse_for_folder();
      break;
    case kLinkId: {
      const StateSnapshot state = snapshot_state();
      if (shows_link(state.screen, state.show_full_installer_link)) open_release_page();
      break;
    }
    case IDOK:
      return on_enter();  // Enter, wherever the focus is
    case IDCANCEL:
      return on_close();  // Escape does what the close box does on this screen
    default:
      break;  // the edit field's notifications: typing is not watched
  }
  return 0;
}

LRESULT MainWindow::on_enter() {
  const AppState& s = app_state();
  const HWND focus = GetFocus();
  // A focused button takes Enter as a press, as in any dialog; from the field, or with the focus
  // nowhere, Enter is the action button's.
  if (focus == s.browse_button && IsWindowVisible(focus)) return on_command(kBrowseButtonId);
  if (focus && focus == controls_.link() && IsWindowVisible(focus)) return on_command(kLinkId);
  if (IsWindowVisible(s.action_button)) return on_command(kActionButtonId);
  return 0;
}

LRESULT MainWindow::on_timer(WPARAM id) {
  AppState& s = app_state();
  switch (id) {
    case TIMER_MARQUEE: {
      const Screen screen = current_screen();
      if (!run_under_way(screen)) {
        KillTimer(window_, TIMER_MARQUEE);
        break;
      }
      s.marquee_pos = next_marquee_pos(s.marquee_pos);
      if (marquee_tick_repaints(screen, s.progress_permille.load())) invalidate_all(false);
      break;
    }
    case TIMER_AUTOLAUNCH:
      KillTimer(window_, TIMER_AUTOLAUNCH);
      launch_and_close();
      break;
    case TIMER_LAUNCH_RETRY:
      KillTimer(window_, TIMER_LAUNCH_RETRY);
      if (launch_.retry(window_, launch_path_copy()) == ProductLaunch::Outcome::Started) {
        s.launch_started = true;
        if (window_) DestroyWindow(window_);
      }
      break;
    case TIMER_ANIMATION:
      s.anim_frame = next_animation_frame(s.anim_frame);
      // A tick already queued when high contrast came on must not draw the orb over the logo.
      if (const AnimationFrames* frames = s.frames.load(std::memory_order_acquire);
          frames && palette_.animated_logo) {
        paint_.animation().step(window_, *frames, s.anim_frame, s.dpi);
      }
      break;
    default:
      break;
  }
  return 0;
}

LRESULT MainWindow::on_dpi_changed(WPARAM wparam, LPARAM lparam) {
  AppState& s = app_state();
  s.dpi = LOWORD(wparam);
  const auto* suggested = reinterpret_cast<const RECT*>(lparam);
  SetWindowPos(window_, nullptr, suggested->left, suggested->top,
               suggested->right - suggested->left, suggested->bottom - suggested->top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  create_fonts(s.dpi);
  // Hidden controls move too, invisibly, so they are in place when shown again.
  apply_layout(layout_for_screen(current_screen()));
  controls_.sync_link_stop(snapshot_state());
  invalidate_all(true);
  return 0;
}

LRESULT MainWindow::on_state_changed() {
  invalidate_all(false);
  if (current_screen() == Screen::Failed) {
    layout_retry_button();
    controls_.keep_focus_on_action();
  }
  controls_.sync_link_stop(snapshot_state());
  announce();
  return 0;
}

LRESULT MainWindow::on_run_finished(WPARAM outcome) {
  KillTimer(window_, TIMER_MARQUEE);
  if (outcome == kRunCanceled) {
    set_state(Screen::ChooseLocation, "", "", false);  // its message brings the repaint
    layout_location_controls();
    show_location_controls(true);
    controls_.keep_focus_on_action();
    return 0;
  }
  if (!launch_path_copy().empty()) {
    const HWND button = app_state().action_button;
    layout_launch_button();
    ShowWindow(button, SW_SHOW);
    SetFocus(button);
    SetTimer(window_, TIMER_AUTOLAUNCH, kAutoLaunchDelayMs, nullptr);
  }
  invalidate_all(false);
  announce();  // the Launch button has come
  return 0;
}

LRESULT MainWindow::on_setting_change(WPARAM wparam, LPARAM lparam) {
  if (wparam == SPI_SETKEYBOARDCUES) controls_.on_keyboard_cues_setting();
  app_state().animations_enabled = read_animations_enabled();
  if (wparam == SPI_SETHIGHCONTRAST && refresh_palette()) invalidate_with_children(window_);
  update_animation_timer();
  return DefWindowProcW(window_, WM_SETTINGCHANGE, wparam, lparam);
}

// Sent when the theme's colours change, high contrast switched on or off among them. Repainted
// even when the palette stays: the edit field takes the system's colours at each paint.
LRESULT MainWindow::on_system_colours_changed() {
  refresh_palette();
  update_animation_timer();
  invalidate_with_children(window_);
  return 0;
}

bool MainWindow::refresh_palette() {
  const Palette now = read_palette();
  if (now == palette_) return false;
  palette_ = now;
  return true;
}

LRESULT MainWindow::on_get_object(WPARAM wparam, LPARAM lparam) {
  if (const auto answer = answer_client_object(access_, wparam, lparam)) return *answer;
  return DefWindowProcW(window_, WM_GETOBJECT, wparam, lparam);
}

LRESULT MainWindow::on_activate(WPARAM wparam, LPARAM lparam) {
  if (LOWORD(wparam) == WA_INACTIVE) {
    controls_.remember_focus();
    return DefWindowProcW(window_, WM_ACTIVATE, wparam, lparam);
  }
  const LRESULT result = DefWindowProcW(window_, WM_ACTIVATE, wparam, lparam);
  if (!HIWORD(wparam)) controls_.restore_focus();  // minimised: no focus to give
  return result;
}

// ---- The run's operations ----

void MainWindow::start_install() {
  if (current_screen() != Screen::ChooseLocation) return;  // a second click does nothing
  AppState& s = app_state();
  std::optional<std::string> folder = folder_text_from_field(read_field_text(s.location_edit));
  if (!folder) return;

  s.cancel_requested.store(false);
  s.progress_permille.store(0);
  s.marquee_pos = 0;
  show_location_controls(false);
  set_state(Screen::Downloading, kStartingStatus, "", false);
  SetTimer(window_, TIMER_MARQUEE, kMarqueePeriodMs, nullptr);
  start_detached_thread(
      [worker = worker_, folder = std::move(*folder)]() mutable { worker(std::move(folder)); });
}

void MainWindow::retry() {
  set_state(Screen::ChooseLocation, "", "", false);
  layout_location_controls();
  show_location_controls(true);
  invalidate_all(false);
  controls_.sync_link_stop(snapshot_state());  // hidden with the screen it belonged to
}

void MainWindow::launch_and_close() {
  AppState& s = app_state();
  if (s.launch_started) return;  // the product opens once
  const std::string path = launch_path_copy();
  if (path.empty() || launch_.begin(window_, path) == ProductLaunch::Outcome::Started) {
    s.launch_started = true;
    if (window_) DestroyWindow(window_);  // unless a close while the shell worked ended it
  }
}

void MainWindow::update_animation_timer() {
  AppState& s = app_state();
  // The window's creation sends WM_SIZE before the window is recorded: a null window would make
  // SetTimer set a thread timer and InvalidateRect invalidate every window on the desktop.
  if (!window_ || s.main_window != window_) return;
  const bool may_run =
      palette_.animated_logo && s.frames_ready() && s.animations_enabled && !IsIconic(window_);
  if (may_run && !s.anim_timer_running) {
    s.anim_timer_running = SetTimer(window_, TIMER_ANIMATION, kAnimationPeriodMs, nullptr) != 0;
  } else if (!may_run && s.anim_timer_running) {
    KillTimer(window_, TIMER_ANIMATION);
    s.anim_timer_running = false;
  }
  // Either the current frame or the still logo is drawn there next.
  const Box logo = logo_box(s.dpi);
  const RECT r{logo.left, logo.top, logo.right, logo.bottom};
  InvalidateRect(window_, &r, FALSE);
}

// ---- What screen readers are told ----

AccessView MainWindow::access_view() const {
  const AppState& s = app_state();
  StateSnapshot state = snapshot_state();
  AccessView view;
  view.screen = state.screen;
  view.status = std::move(state.status);
  view.detail = std::move(state.detail);
  view.version_note = std::move(state.version_note);
  view.show_link = state.show_full_installer_link;
  view.progress_permille = s.progress_permille.load();
  view.action_shown = s.action_button && IsWindowVisible(s.action_button);
  return view;
}

HWND MainWindow::part_window(AccessPart part) const {
  const AppState& s = app_state();
  switch (part) {
    case AccessPart::Field:
      return s.location_edit;
    case AccessPart::Browse:
      return s.browse_button;
    case AccessPart::Action:
      return s.action_button;
    case AccessPart::Link:
      return controls_.link();
    default:
      return nullptr;
  }
}

int MainWindow::dpi() const {
  return app_state().dpi;
}

void MainWindow::announce() {
  announcer_.announce(window_, access_view());
}

}  // namespace qv

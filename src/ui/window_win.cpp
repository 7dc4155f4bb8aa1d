#include "ui/window_win.h"

#include <string>

#include "app/app_state_win.h"
#include "app/system_library_win.h"
#include "app/text_win.h"
#include "app/thread_win.h"
#include "build_settings.h"
#include "install/location.h"
#include "ui/folder_picker_win.h"
#include "ui/layout.h"
#include "ui/pictures_win.h"
#include "ui/render_win.h"
#include "ui/screen_rules.h"

namespace qv {
namespace {

// The shell's "open" verb on a page or program; nothing when the shell can't be had.
void open_with_shell(std::string_view target) {
  const ShellFunctions* shell = window_thread_shell();
  if (shell)
    shell->shell_execute(nullptr, L"open", widen(target).c_str(), nullptr, nullptr, SW_SHOW);
}

Point point_from(LPARAM lparam) {
  // Signed 16-bit halves: coordinates left of or above a monitor's origin are negative.
  return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
}

void invalidate_all(bool erase) {
  InvalidateRect(app_state().main_window, nullptr, erase ? TRUE : FALSE);
}

// The owner-drawn buttons and the edit field are windows of their own: a new look repaints them
// too.
void invalidate_with_children(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void place(HWND control, DesignRect rect) {
  const Placement p = scaled_placement(rect, app_state().dpi);
  MoveWindow(control, p.x, p.y, p.width, p.height, TRUE);
}

void round_corners(HWND button, DesignRect rect) {
  const int dpi = app_state().dpi;
  const Box box = button_region_box(rect, dpi);
  const int corner = scale(kButtonCorner, dpi);
  OwnedRegion region(CreateRoundRectRgn(box.left, box.top, box.right, box.bottom, corner, corner));
  if (!region) return;
  // On success the window owns the region.
  if (SetWindowRgn(button, region.get(), TRUE)) region.release();
}

void apply_layout(ControlLayout layout) {
  const AppState& s = app_state();
  const LayoutSpec plan = layout_spec(layout);
  SetWindowTextW(s.action_button, widen(plan.action_text).c_str());
  if (plan.moves_location_controls) {
    place(s.location_edit, kEditRect);
    place(s.browse_button, kBrowseRect);
  }
  place(s.action_button, plan.action);
  round_corners(s.action_button, plan.action);
  if (plan.moves_location_controls) round_corners(s.browse_button, kBrowseRect);
  if (layout == ControlLayout::Retry) ShowWindow(s.action_button, SW_SHOW);
}

void show_location_controls(int how) {
  const AppState& s = app_state();
  ShowWindow(s.location_edit, how);
  ShowWindow(s.browse_button, how);
  ShowWindow(s.action_button, how);
}

void open_release_page() {
  open_with_shell(kReleasePageUrl);
}

}  // namespace

// ---- Operations ----

void layout_location_controls() {
  apply_layout(ControlLayout::Location);
}

void layout_launch_button() {
  apply_layout(ControlLayout::Launch);
}

void layout_retry_button() {
  apply_layout(ControlLayout::Retry);
}

void start_install(const InstallWorker& worker) {
  if (current_screen() != Screen::ChooseLocation) return;  // a second click does nothing
  AppState& s = app_state();
  std::optional<std::string> folder = folder_text_from_field(read_field_text(s.location_edit));
  if (!folder) return;

  s.cancel_requested.store(false);
  s.progress_permille.store(0);
  s.marquee_pos = 0;
  show_location_controls(SW_HIDE);
  set_state(Screen::Downloading, kStartingStatus, "", false);
  SetTimer(s.main_window, TIMER_MARQUEE, kMarqueePeriodMs, nullptr);
  start_detached_thread(
      [worker, folder = std::move(*folder)]() mutable { worker(std::move(folder)); });
}

void retry() {
  set_state(Screen::ChooseLocation, "", "", false);
  layout_location_controls();
  show_location_controls(SW_SHOW);
  invalidate_all(false);
}

void launch_and_close() {
  AppState& s = app_state();
  if (s.launch_started) return;  // click and timer race: the product opens once
  s.launch_started = true;
  const std::string path = launch_path_copy();
  if (!path.empty()) open_with_shell(path);
  DestroyWindow(s.main_window);
}

void update_animation_timer(const Palette& palette) {
  AppState& s = app_state();
  // The window's creation sends WM_SIZE before `main_window` is stored: a null window would
  // make SetTimer set a thread timer and InvalidateRect invalidate every window on the desktop.
  if (!s.main_window) return;
  const bool may_run =
      palette.animated_logo && s.frames_ready() && s.animations_enabled && !IsIconic(s.main_window);
  if (may_run && !s.anim_timer_running) {
    s.anim_timer_running =
        SetTimer(s.main_window, TIMER_ANIMATION, kAnimationPeriodMs, nullptr) != 0;
  } else if (!may_run && s.anim_timer_running) {
    KillTimer(s.main_window, TIMER_ANIMATION);
    s.anim_timer_running = false;
  }
  // Either the current frame or the still logo is drawn there next.
  const Box logo = logo_box(s.dpi);
  const RECT r{logo.left, logo.top, logo.right, logo.bottom};
  InvalidateRect(s.main_window, &r, FALSE);
}

bool read_animations_enabled() {
  BOOL enabled = TRUE;
  SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &enabled, 0);
  return enabled != FALSE;
}

bool read_high_contrast() {
#ifdef QV_TEST_HOOKS
  if (test_high_contrast) return *test_high_contrast;
#endif
  HIGHCONTRASTW setting{};
  setting.cbSize = sizeof setting;
  if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof setting, &setting, 0)) return false;
  return (setting.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

Palette read_palette() {
  if (!read_high_contrast()) return standard_palette();
  const auto system = [](int index) { return rgb_from_colorref(GetSysColor(index)); };
  return high_contrast_palette(SystemColours{
      .window = system(COLOR_WINDOW),
      .window_text = system(COLOR_WINDOWTEXT),
      .highlight = system(COLOR_HIGHLIGHT),
      .highlight_text = system(COLOR_HIGHLIGHTTEXT),
      .hot_light = system(COLOR_HOTLIGHT),
      .gray_text = system(COLOR_GRAYTEXT),
  });
}

// ---- The window ----

bool MainWindow::register_class(HINSTANCE instance, HICON icon, HICON small_icon) {
  static const std::wstring name = widen(kWindowClassName);
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
      update_animation_timer(palette_);
      return DefWindowProcW(window_, message, wparam, lparam);
    case WM_PAINT:
      return paint_window(window_, palette_);
    case WM_CLOSE:
      return on_close();
    case WM_ERASEBKGND:
      return 1;  // nothing is erased: every paint covers the whole client area
    case WM_SETTINGCHANGE:
      return on_setting_change(wparam, lparam);
    case WM_SYSCOLORCHANGE:
      return on_system_colours_changed();
    case WM_DRAWITEM:
      return draw_owner_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam), palette_);
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
      update_animation_timer(palette_);
      return 0;
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

LRESULT MainWindow::on_destroy() {
  KillTimer(window_, TIMER_MARQUEE);
  KillTimer(window_, TIMER_AUTOLAUNCH);
  KillTimer(window_, TIMER_ANIMATION);
  app_state().anim_timer_running = false;
  PostQuitMessage(0);
  return 0;
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
  switch (LOWORD(wparam)) {
    case kActionButtonId:
      switch (action_command(current_screen())) {
        case ActionCommand::LaunchAndClose:
          launch_and_close();
          break;
        case ActionCommand::Retry:
          retry();
          break;
        case ActionCommand::StartInstall:
          start_install(worker_);
          break;
      }
      break;
    case kBrowseButtonId:
      browse_for_folder();
      break;
    default:
      break;  // the edit field's notifications: typing is not watched
  }
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
    case TIMER_ANIMATION:
      // A tick already queued when high contrast came on must not draw the orb over the logo.
      if (palette_.animated_logo) step_animation(window_);
      break;
    default:
      break;
  }
  return 0;
}

LRESULT MainWindow::on_dpi_changed(WPARAM wparam, LPARAM lparam) {
  app_state().dpi = LOWORD(wparam);
  const auto* suggested = reinterpret_cast<const RECT*>(lparam);
  SetWindowPos(window_, nullptr, suggested->left, suggested->top,
               suggested->right - suggested->left, suggested->bottom - suggested->top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  create_fonts();
  // Hidden controls move too, invisibly, so they are in place when shown again.
  apply_layout(layout_for_screen(current_screen()));
  invalidate_all(true);
  return 0;
}

LRESULT MainWindow::on_state_changed() {
  invalidate_all(false);
  if (current_screen() == Screen::Failed) layout_retry_button();
  return 0;
}

LRESULT MainWindow::on_run_finished(WPARAM outcome) {
  KillTimer(window_, TIMER_MARQUEE);
  if (outcome == kRunCanceled) {
    set_state(Screen::ChooseLocation, "", "", false);  // its message brings the repaint
    layout_location_controls();
    show_location_controls(SW_SHOW);
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
  return 0;
}

LRESULT MainWindow::on_setting_change(WPARAM wparam, LPARAM lparam) {
  app_state().animations_enabled = read_animations_enabled();
  if (wparam == SPI_SETHIGHCONTRAST && refresh_palette()) invalidate_with_children(window_);
  update_animation_timer(palette_);
  return DefWindowProcW(window_, WM_SETTINGCHANGE, wparam, lparam);
}

// Sent when the theme's colours change, high contrast switched on or off among them. Repainted
// even when the palette stays: the edit field takes the system's colours at each paint.
LRESULT MainWindow::on_system_colours_changed() {
  refresh_palette();
  update_animation_timer(palette_);
  invalidate_with_children(window_);
  return 0;
}

// True when the palette changed. Painting compares it with the one its cached layer was drawn
// in, so the next paint draws everything again.
bool MainWindow::refresh_palette() {
  const Palette now = read_palette();
  if (now == palette_) return false;
  palette_ = now;
  return true;
}

}  // namespace qv

#include "ui/window_win.h"

#include <string>

#include "app/app_state_win.h"
#include "app/system_library_win.h"
#include "app/text_win.h"
#include "app/thread_win.h"
#include "build_settings.h"
#include "install/busy_wait_win.h"
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

// Opens the installed product through the shell, with no error box of its own: 0, or the error
// that kept it from starting.
std::uint32_t open_product(std::string_view path) {
  const ShellFunctions* shell = window_thread_shell();
  if (!shell) return ERROR_MOD_NOT_FOUND;
  const std::wstring file = widen(path);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // Done before the call returns: the process ends right after a launch.
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.nShow = SW_SHOW;
  if (shell->shell_execute_ex(&info)) return 0;
  const DWORD error = GetLastError();
  // The shell's own code for a file in use, in case the last error says less.
  if (reinterpret_cast<INT_PTR>(info.hInstApp) == SE_ERR_SHARE) return ERROR_SHARING_VIOLATION;
  return error != 0 ? error : ERROR_GEN_FAILURE;
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
      return paint_window(window_, palette_, link_shows_focus_cue());
    case WM_CLOSE:
      return on_close();
    case WM_ERASEBKGND:
      return 1;  // nothing is erased: every paint covers the whole client area
    case WM_SETTINGCHANGE:
      return on_setting_change(wparam, lparam);
    case WM_SYSCOLORCHANGE:
      return on_system_colours_changed();
    case WM_DRAWITEM:
      return draw_owner_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam), palette_,
                               focus_cues_shown_);
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
    case WM_GETOBJECT:
      return on_get_object(wparam, lparam);
    case WM_UPDATEUISTATE:
      return on_update_ui_state(wparam, lparam);
    case WM_ACTIVATE:
      return on_activate(wparam, lparam);
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

LRESULT MainWindow::on_destroy() {
  access_->closed = true;  // objects that readers still hold answer nothing from now on
  KillTimer(window_, TIMER_MARQUEE);
  KillTimer(window_, TIMER_AUTOLAUNCH);
  KillTimer(window_, TIMER_ANIMATION);
  KillTimer(window_, TIMER_LAUNCH_RETRY);
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
  // A disabled window (the folder picker is open over it) takes no command from anywhere, as it
  // takes no click: a screen reader's default action, or anything else posted, arrives anyway
  // and the picker's own message loop would run it.
  if (!IsWindowEnabled(window_)) return 0;
  switch (LOWORD(wparam)) {
    case kActionButtonId:
      switch (action_command(current_screen())) {
        case ActionCommand::LaunchAndClose:
          launch_and_close();
          break;
        case ActionCommand::Retry:
          retry();
          sync_link_stop();  // hidden with the screen it belonged to
          break;
        case ActionCommand::StartInstall:
          start_install(worker_);
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
  if (focus && focus == access_->link && IsWindowVisible(focus)) return on_command(kLinkId);
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
      try_launch();
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
  sync_link_stop();
  invalidate_all(true);
  return 0;
}

LRESULT MainWindow::on_state_changed() {
  invalidate_all(false);
  if (current_screen() == Screen::Failed) {
    layout_retry_button();
    keep_focus_on_action();
  }
  sync_link_stop();
  announce();
  return 0;
}

LRESULT MainWindow::on_run_finished(WPARAM outcome) {
  KillTimer(window_, TIMER_MARQUEE);
  if (outcome == kRunCanceled) {
    set_state(Screen::ChooseLocation, "", "", false);  // its message brings the repaint
    layout_location_controls();
    show_location_controls(SW_SHOW);
    keep_focus_on_action();
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

void MainWindow::launch_and_close() {
  AppState& s = app_state();
  // Click and timer race: one launch at a time, and the product opens once.
  if (s.launch_started || launch_backoff_) return;
  const std::string path = launch_path_copy();
  if (path.empty()) {
    s.launch_started = true;
    DestroyWindow(window_);
    return;
  }
  launch_backoff_.emplace(busy_bound(kBusyBoundMs));
  try_launch();
}

void MainWindow::try_launch() {
  const std::uint32_t error = open_product(launch_path_copy());
  const std::string status = snapshot_state().status;
  if (error == 0) {
    launch_backoff_.reset();
    app_state().launch_started = true;
    DestroyWindow(window_);
    return;
  }
  // Another program (a virus scanner) has the product's file: tried again on the install's
  // schedule, by a timer, so that the window stays responsive meanwhile.
  if (is_busy_error(FileStep::Launch, error)) {
    if (const std::optional<unsigned> pause = launch_backoff_->next_pause()) {
      if (snapshot_state().detail != kWaitingForProduct) {
        set_state(Screen::Done, status, kWaitingForProduct, false);
      }
      SetTimer(window_, TIMER_LAUNCH_RETRY, *pause, nullptr);
      return;
    }
  }
  // Not started: Done stays, says so, and the Launch button tries again.
  launch_backoff_.reset();
  set_state(Screen::Done, status, kLaunchFailedDetail, false);
}

LRESULT MainWindow::on_setting_change(WPARAM wparam, LPARAM lparam) {
  if (wparam == SPI_SETKEYBOARDCUES && keyboard_cues_always_shown()) show_focus_cues(true);
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

// ---- Keyboard and screen readers ----

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

}  // namespace

void MainWindow::adopt_controls() {
  const AppState& s = app_state();
  access_->main = window_;
  hook(s.location_edit, hooks_[0], AccessPart::Field);
  hook(s.browse_button, hooks_[1], AccessPart::Browse);
  hook(s.action_button, hooks_[2], AccessPart::Action);
  focus_cues_shown_ = keyboard_cues_always_shown();
  announcer_.reset(current_access_view());
}

void MainWindow::hook(HWND control, ControlHook& h, AccessPart part) {
  if (!control) return;
  h.owner = this;
  h.part = part;
  h.original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_WNDPROC));
  SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&h));
  SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&control_procedure));
}

LRESULT CALLBACK MainWindow::control_procedure(HWND control, UINT message, WPARAM wparam,
                                               LPARAM lparam) noexcept {
  const auto* h = reinterpret_cast<const ControlHook*>(GetWindowLongPtrW(control, GWLP_USERDATA));
  return guarded([&]() -> LRESULT {
    switch (message) {
      case WM_CHAR:
        if (h->part == AccessPart::Field && wparam == kSelectAllCharacter) {
          SendMessageW(control, EM_SETSEL, 0, -1);
          return 0;
        }
        break;
      case WM_GETOBJECT:
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

LRESULT CALLBACK MainWindow::link_procedure(HWND link, UINT message, WPARAM wparam,
                                            LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(link, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(link, GWLP_USERDATA));
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
          PostMessageW(self->window_, WM_COMMAND, MAKEWPARAM(kLinkId, BN_CLICKED),
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

LRESULT MainWindow::on_get_object(WPARAM wparam, LPARAM lparam) {
  if (const auto answer = answer_client_object(access_, wparam, lparam)) return *answer;
  return DefWindowProcW(window_, WM_GETOBJECT, wparam, lparam);
}

LRESULT MainWindow::on_update_ui_state(WPARAM wparam, LPARAM lparam) {
  // The platform's dialog manager says so where it keeps the state itself.
  if ((HIWORD(wparam) & UISF_HIDEFOCUS) != 0) {
    if (LOWORD(wparam) == UIS_CLEAR) show_focus_cues(true);
    if (LOWORD(wparam) == UIS_SET) show_focus_cues(keyboard_cues_always_shown());
  }
  return DefWindowProcW(window_, WM_UPDATEUISTATE, wparam, lparam);
}

void MainWindow::before_dialog_message(const MSG& msg) {
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

bool MainWindow::keyboard_cues_always_shown() {
  BOOL shown = FALSE;
  SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &shown, 0);
  return shown != FALSE;
}

void MainWindow::show_focus_cues(bool shown) {
  if (focus_cues_shown_ == shown) return;
  focus_cues_shown_ = shown;
  const AppState& s = app_state();
  InvalidateRect(s.browse_button, nullptr, FALSE);
  InvalidateRect(s.action_button, nullptr, FALSE);
  if (access_->link) invalidate_link();
}

LRESULT MainWindow::on_activate(WPARAM wparam, LPARAM lparam) {
  // As a dialog does: the control that had the focus gets it back when the window is activated
  // again, instead of the window itself, where Tab and Space would find nothing.
  if (LOWORD(wparam) == WA_INACTIVE) {
    const HWND focus = GetFocus();
    last_focus_ = focus && IsChild(window_, focus) ? focus : nullptr;
    return DefWindowProcW(window_, WM_ACTIVATE, wparam, lparam);
  }
  const LRESULT result = DefWindowProcW(window_, WM_ACTIVATE, wparam, lparam);
  if (HIWORD(wparam)) return result;  // minimised: no focus to give
  if (last_focus_ && IsWindow(last_focus_) && IsWindowVisible(last_focus_)) {
    SetFocus(last_focus_);
  } else {
    keep_focus_on_action();
  }
  return result;
}

bool MainWindow::link_shows_focus_cue() const {
  const HWND link = access_->link;
  return link && GetFocus() == link && IsWindowVisible(link) && focus_cues_shown_;
}

void MainWindow::invalidate_link() {
  // The band the link's focus outline may cover, which reaches past the link's hit area.
  const Box b =
      scaled_box(DesignEdges{kCard.left, kLinkPos.y - kFocusInset * 2, kCard.right, kCard.bottom},
                 app_state().dpi);
  const RECT r{b.left, b.top, b.right, b.bottom};
  InvalidateRect(window_, &r, FALSE);
}

void MainWindow::sync_link_stop() {
  const StateSnapshot state = snapshot_state();
  const bool shown = shows_link(state.screen, state.show_full_installer_link);
  HWND& link = access_->link;
  if (!link) {
    if (!shown) return;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindow::link_procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kLinkClassName;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
    // Last of the children, so that Tab reaches it after the action button.
    link = CreateWindowExW(0, kLinkClassName, widen(kLinkText).c_str(), WS_CHILD | WS_TABSTOP, 0, 0,
                           0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLinkId)),
                           instance, this);
    if (!link) return;
  }
  const Box b = scaled_box(kLinkHitBox, app_state().dpi);
  MoveWindow(link, b.left, b.top, b.width(), b.height(), FALSE);
  ShowWindow(link, shown ? SW_SHOWNA : SW_HIDE);
}

void MainWindow::keep_focus_on_action() {
  const HWND action = app_state().action_button;
  const HWND focus = GetFocus();
  // Only when the focus sits on the window itself: a control that has it keeps it, and a window
  // that is not active is not activated.
  if (focus == window_ && IsWindowVisible(action)) SetFocus(action);
}

void MainWindow::announce() {
  announcer_.announce(window_, current_access_view());
}

}  // namespace qv

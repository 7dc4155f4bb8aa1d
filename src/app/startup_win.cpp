#include "app/startup_win.h"

#include <string>

#include "app/app_state_win.h"
#include "app/common_controls_win.h"
#include "app/resource.h"
#include "app/system_library_win.h"
#include "app/text_win.h"
#include "app/thread_win.h"
#include "install/location_win.h"
#include "net/feed_win.h"
#include "ui/controls_win.h"
#include "ui/layout.h"
#include "ui/pictures_win.h"
#include "ui/render_win.h"
#include "ui/screen_rules.h"
#include "ui/window_win.h"

namespace qv {
namespace {

HICON load_icon(HINSTANCE instance, int size, UINT flags) {
  // Shared icons belong to the system: never destroyed.
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, flags | LR_SHARED));
}

}  // namespace

HWND open_main_window(HINSTANCE instance, MainWindow& window) {
  AppState& s = app_state();
  PaintCache& paint = window.paint_cache();
  paint.start_first_frame();
  const HICON big_icon = load_icon(instance, 0, LR_DEFAULTSIZE);
  const HICON small_icon = load_icon(instance, 16, 0);
  MainWindow::register_class(instance, big_icon, small_icon);
  // While the window and its controls are made, another thread loads the still logo and draws the
  // first frame's background and card, so the window shows that much sooner. The window opens on
  // the primary screen, whose DPI is the system's; if it turns out otherwise, the first paint
  // draws everything itself. Not handed its work before the first icon has loaded: until then the
  // process may still be joining its desktop, and a second thread's GDI call there can deadlock in
  // Wine. Its thread was started before the icons all the same (start_first_frame).
  const UINT system_dpi = GetDpiForSystem();
  const int expected_dpi = system_dpi != 0 ? static_cast<int>(system_dpi) : kDesignDpi;
  const Placement expected_size = window_size(expected_dpi);
  paint.prepare_first_frame(expected_size.width, expected_size.height, expected_dpi,
                            window.palette(),
                            [instance, &s] { s.logo_icon = load_icon(instance, 256, 0); });

  const HWND main = window.create(instance);
  if (!main) {
    paint.finish_first_frame();
    return nullptr;
  }
  s.main_window = main;

  const UINT dpi = GetDpiForWindow(main);
  s.dpi = dpi != 0 ? static_cast<int>(dpi) : kDesignDpi;
  const Placement size = window_size(s.dpi);
  const Point origin = centred_origin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                      size.width, size.height);
  MoveWindow(main, origin.x, origin.y, size.width, size.height, FALSE);

  window.controls().create(main, instance, default_install_folder());
  create_fonts(s.dpi);
  layout_location_controls();
  window.adopt_controls();
  ShowWindow(main, SW_SHOW);
  UpdateWindow(main);
  // The taskbar's and Alt+Tab's icons are not part of the first frame, and Wine takes about 5 ms to
  // hand them over, so they follow it.
  if (big_icon) SendMessageW(main, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon));
  if (small_icon) SendMessageW(main, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon));
  paint.finish_first_frame();  // the logo is loaded even if nothing was painted
  SetFocus(s.action_button);
  s.animations_enabled = read_animations_enabled();
  return main;
}

int run_installer(HINSTANCE instance, InstallWorker worker, const TrustSettings& trust) {
  // First of all: any DLL loaded from now on, by us or by the system on our behalf, comes from the
  // system folder, never from the folder the installer was started from.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

  // Marks this copy as running for as long as the process lives. The error is read before
  // anything else can change it.
  const std::wstring mutex_name = widen(kMutexName);
  const OwnedHandle running(CreateMutexW(nullptr, TRUE, mutex_name.c_str()));
  const DWORD mutex_error = GetLastError();
  if (running && mutex_error == ERROR_ALREADY_EXISTS) {
    const CommonControlsScope themed;
    MessageBoxW(nullptr, widen(kAlreadyRunningText).c_str(), widen(kWindowTitle).c_str(),
                MB_ICONINFORMATION);
    return 0;
  }
  if (!SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
    SetProcessDPIAware();
  }
  MainWindow window(std::move(worker));
  const HWND main = open_main_window(instance, window);
  // Without a window the loop would wait for ever on an invisible process.
  if (!main) return 5;

  start_detached_thread(decode_pictures);
  start_detached_thread([&trust] { run_feed_precheck(trust); });

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    window.before_dialog_message(msg);
    if (IsDialogMessageW(main, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  end_window_thread_com();
  return 0;
}

}  // namespace qv

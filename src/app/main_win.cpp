// Process entry: one running copy, DPI awareness, COM for the folder picker, the window, the two
// start-up threads and the message loop.
#include "app/app_state_win.h"
#include "app/startup_win.h"
#include "app/text_win.h"
#include "app/thread_win.h"
#include "app/win.h"
// After windows.h:
#include <objbase.h>

#include "net/feed_win.h"
#include "ui/layout.h"
#include "ui/pictures_win.h"
#include "ui/window_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace qv;
  // Marks this copy as running for as long as the process lives.
  const OwnedHandle running(CreateMutexW(nullptr, TRUE, widen(kMutexName).c_str()));
  if (running && GetLastError() == ERROR_ALREADY_EXISTS) {
    MessageBoxW(nullptr, widen(kAlreadyRunningText).c_str(), widen(kWindowTitle).c_str(),
                MB_ICONINFORMATION);
    return 0;
  }
  if (!SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
    SetProcessDPIAware();
  }
  (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  static MainWindow window;
  const HWND main = open_main_window(instance, window);
  // Without a window the loop would wait for ever on an invisible process.
  if (!main) return 5;

  start_detached_thread(decode_pictures);
  start_detached_thread(run_feed_precheck);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(main, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  CoUninitialize();
  return 0;
}

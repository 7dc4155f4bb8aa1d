// Linked into a test build of the installer beside its unchanged entry (src/app/main_win.cpp):
// before the entry runs, it starts watching the main window from outside its procedure
// (tools/bench/window_watch_win.h) and reports on standard output, one line each:
//   note=TEXT       the version note, whenever the pre-check publishes one
//   clicked         Install was clicked: 2 s after the first paint, or once the note is shown
//   screen=N        each screen the run enters (the numbers of qv::Screen)
//   failed=TEXT     the reason on the Failed screen; the window is then closed
//   finished=W launch=PATH   MSG_RUN_FINISHED and the launch path; after Done the installer
//                   launches the product by itself and ends
#include <string>

#include "app/app_state_win.h"
#include "app/text_win.h"
#include "ui/layout.h"
#include "ui/screen_rules.h"
#include "window_watch_win.h"

namespace {

constexpr UINT kClickAfterMs = 2000;
HWND g_window = nullptr;
bool g_clicked = false;

void click_install() {
  if (g_clicked || !g_window) return;
  g_clicked = true;
  bench::say("clicked\n");
  PostMessageW(g_window, WM_COMMAND, MAKEWPARAM(qv::kActionButtonId, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(g_window, qv::kActionButtonId)));
}

void CALLBACK on_click_timer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  click_install();
}

void after_message(HWND window, UINT message, WPARAM wparam) {
  static std::string note;
  static qv::Screen screen = qv::Screen::ChooseLocation;
  if (message == WM_PAINT && !g_window) {
    g_window = window;
    SetTimer(nullptr, 0, kClickAfterMs, &on_click_timer);
  } else if (message == qv::MSG_STATE_CHANGED) {
    const qv::StateSnapshot state = qv::snapshot_state();
    if (state.version_note != note) {
      note = state.version_note;
      bench::say("note=%s\n", note.c_str());
      click_install();
    }
    if (g_clicked && state.screen != screen) {
      screen = state.screen;
      bench::say("screen=%u\n", static_cast<unsigned>(screen));
      if (screen == qv::Screen::Failed) {
        bench::say("failed=%s\n", state.detail.c_str());
        PostMessageW(window, WM_CLOSE, 0, 0);
      }
    }
  } else if (message == qv::MSG_RUN_FINISHED) {
    bench::say("finished=%u launch=%s\n", static_cast<unsigned>(wparam),
               qv::launch_path_copy().c_str());
  }
}

// Runs before the entry, on the thread that will make the window.
[[maybe_unused]] const bool g_watching = [] {
  static const std::wstring window_class = qv::widen(qv::kWindowClassName);
  return bench::watch_window_class(window_class.c_str(), &after_message);
}();

}  // namespace

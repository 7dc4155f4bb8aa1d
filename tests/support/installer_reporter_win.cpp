// Linked into a test build of the installer beside its unchanged entry (src/app/main_win.cpp):
// before the entry runs, it starts watching the main window from outside its procedure
// (tools/bench/window_watch_win.h) and reports on standard output, one line each:
//   note=TEXT       the version note, whenever the pre-check publishes one
//   clicked         Install was clicked: 2 s after the first paint, or once the note is shown
//                   (with QV_REPORTER_FOLDER=TEXT, TEXT is typed into the field first)
//   screen=N        each screen the run enters (the numbers of qv::Screen)
//   detail=TEXT     each new detail line on the screens of a run
//   failed=TEXT     the reason on the Failed screen; the window is then closed
//   finished=W launch=PATH   MSG_RUN_FINISHED and the launch path; after Done the installer
//                   launches the product by itself and ends
// With QV_REPORTER_AGAIN_AFTER_MS=N, the first failure is not the end: N ms after the Failed
// screen it presses Try Again and then Install, and N ms after Done says that the product could
// not be started it presses Launch (each once; "again" is reported). Done's failure line is
// followed by "launch_button=1" when the Launch button is still shown.
#include <cwchar>
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
bool g_again_done = false;

UINT again_after_ms() {
  wchar_t value[16];
  const DWORD length = GetEnvironmentVariableW(L"QV_REPORTER_AGAIN_AFTER_MS", value, 16);
  return length > 0 && length < 16 ? static_cast<UINT>(std::wcstoul(value, nullptr, 10)) : 0;
}

void press_action() {
  PostMessageW(g_window, WM_COMMAND, MAKEWPARAM(qv::kActionButtonId, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(g_window, qv::kActionButtonId)));
}

void click_install() {
  if (g_clicked || !g_window) return;
  g_clicked = true;
  wchar_t folder[512];
  const DWORD length = GetEnvironmentVariableW(L"QV_REPORTER_FOLDER", folder, 512);
  if (length > 0 && length < 512) SetDlgItemTextW(g_window, qv::kLocationEditId, folder);
  bench::say("clicked\n");
  press_action();
}

void CALLBACK on_click_timer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  click_install();
}

// Try Again (which brings back the first screen, where the same button is Install) or Launch.
void CALLBACK on_again_timer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  bench::say("again\n");
  const bool retrying = qv::current_screen() == qv::Screen::Failed;
  press_action();
  if (retrying) press_action();
}

// Whether the failure just seen is pressed past rather than ending the run.
bool press_again_later() {
  const UINT after = again_after_ms();
  if (after == 0 || g_again_done) return false;
  g_again_done = true;
  SetTimer(nullptr, 0, after, &on_again_timer);
  return true;
}

void after_message(HWND window, UINT message, WPARAM wparam) {
  static std::string note;
  static std::string detail;
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
        if (!press_again_later()) PostMessageW(window, WM_CLOSE, 0, 0);
      }
    }
    if (g_clicked && state.detail != detail) {
      detail = state.detail;
      bench::say("detail=%s\n", detail.c_str());
      if (screen == qv::Screen::Done && detail == qv::kLaunchFailedDetail) {
        bench::say("launch_button=%d\n",
                   IsWindowVisible(GetDlgItem(window, qv::kActionButtonId)) ? 1 : 0);
        press_again_later();
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

// Benchmark program, not a test: the installer itself (its entry, window, pictures, pre-check and
// install worker, unchanged) with its main window watched from outside its procedure exactly as
// bench_window_peer.exe is (window_watch_win.h), for tools/bench/bench_road.py:
//   bench_installer.exe paint    prints "painted ms=T" after the first paint, then closes
//   bench_installer.exe idle     also prints its working set 4 s later (pictures decoded, feed
//                                checked), then closes
//   bench_installer.exe install  as idle, then clicks Install and prints the time from the click to
//                                Done and the working sets of the whole run, then closes
#include <cwchar>
#include <string>
#include <utility>

#include "app/app_state_win.h"
#include "app/startup_win.h"
#include "app/text_win.h"
#include "install/install_worker_win.h"
#include "ui/layout.h"
#include "ui/screen_rules.h"
#include "window_watch_win.h"

namespace {

enum class Mode { Paint, Idle, Install };
constexpr UINT kSettleMs = 4000;
Mode g_mode = Mode::Paint;
HWND g_window = nullptr;
double g_entry_age_ms = 0;  // how long the loader took before the entry ran
double g_clicked_ms = 0;

void CALLBACK on_settled(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  bench::say_memory("settled");
  if (g_mode != Mode::Install) {
    PostMessageW(g_window, WM_CLOSE, 0, 0);
    return;
  }
  g_clicked_ms = bench::now_ms();
  const HWND button = GetDlgItem(g_window, qv::kActionButtonId);
  PostMessageW(g_window, WM_COMMAND, MAKEWPARAM(qv::kActionButtonId, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

void after_message(HWND window, UINT message, WPARAM wparam) {
  static bool painted = false;
  if (message == WM_PAINT && !painted) {
    painted = true;
    bench::say("painted ms=%.3f age_ms=%.1f entry_age_ms=%.1f\n", bench::now_ms(),
               bench::process_age_ms(), g_entry_age_ms);
    g_window = window;
    if (g_mode == Mode::Paint) {
      PostMessageW(window, WM_CLOSE, 0, 0);
    } else {
      SetTimer(nullptr, 0, kSettleMs, &on_settled);
    }
  } else if (message == qv::MSG_RUN_FINISHED && g_clicked_ms > 0) {
    bench::say("done seconds=%.4f outcome=%u\n", (bench::now_ms() - g_clicked_ms) / 1000.0,
               static_cast<unsigned>(wparam));
    bench::say_memory("finished");
    const bench::WindowWork& work = bench::window_work;
    bench::say("window paints=%u paint_ms=%.0f ticks=%u tick_ms=%.0f\n", work.paints, work.paint_ms,
               work.ticks, work.tick_ms);
    PostMessageW(window, WM_CLOSE, 0, 0);
  } else if (message == qv::MSG_STATE_CHANGED && g_clicked_ms > 0) {
    // Where the run's time goes: each screen it enters, timed from the click.
    static qv::Screen last = qv::Screen::ChooseLocation;
    const qv::StateSnapshot state = qv::snapshot_state();
    if (state.screen != last) {
      last = state.screen;
      bench::say("screen%u seconds=%.4f\n", static_cast<unsigned>(state.screen),
                 (bench::now_ms() - g_clicked_ms) / 1000.0);
    }
    if (state.screen == qv::Screen::Failed) {
      bench::say("error=%s\n", state.detail.c_str());
      PostMessageW(window, WM_CLOSE, 0, 0);
    }
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
  g_entry_age_ms = bench::process_age_ms();
  if (std::wcscmp(command_line, L"idle") == 0) g_mode = Mode::Idle;
  if (std::wcscmp(command_line, L"install") == 0) g_mode = Mode::Install;
  static const std::wstring window_class = qv::widen(qv::kWindowClassName);
  if (!bench::watch_window_class(window_class.c_str(), &after_message)) return 2;
  const qv::TrustSettings& trust = qv::built_in_trust();
  return qv::run_installer(
      instance, [&trust](std::string folder) { qv::run_install_worker(std::move(folder), trust); },
      trust);
}

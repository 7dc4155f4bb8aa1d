// Benchmark program, not a test: the platform's floor for a window, a minimal Win32 program that
// only opens one window of the installer's size and paints it with one colour. Watched exactly
// as bench_installer.exe is (window_watch_win.h), for tools/bench/bench_road.py:
//   bench_window_peer.exe paint   prints "painted ms=T" after the first paint, then closes
//   bench_window_peer.exe idle    also prints its working set 4 s later, then closes
#include <cwchar>

#include "window_watch_win.h"

namespace {

constexpr wchar_t kClass[] = L"BenchWindowPeer";
constexpr UINT kSettleMs = 4000;
bool g_idle = false;
HWND g_window = nullptr;
double g_entry_age_ms = 0;  // how long the loader took before the entry ran

void CALLBACK on_settled(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  bench::say_memory("settled");
  PostMessageW(g_window, WM_CLOSE, 0, 0);
}

void after_message(HWND window, UINT message, WPARAM) {
  static bool painted = false;
  if (message != WM_PAINT || painted) return;
  painted = true;
  bench::say("painted ms=%.3f age_ms=%.1f entry_age_ms=%.1f\n", bench::now_ms(),
             bench::process_age_ms(), g_entry_age_ms);
  g_window = window;
  if (g_idle) {
    SetTimer(nullptr, 0, kSettleMs, &on_settled);
  } else {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(window, &paint);
      const HBRUSH brush = CreateSolidBrush(RGB(24, 28, 48));
      FillRect(dc, &paint.rcPaint, brush);
      DeleteObject(brush);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
  g_entry_age_ms = bench::process_age_ms();
  g_idle = std::wcscmp(command_line, L"idle") == 0;
  if (!bench::watch_window_class(kClass, &after_message)) return 2;
  WNDCLASSW wc{};
  wc.lpfnWndProc = &procedure;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClass;
  if (!RegisterClassW(&wc)) return 3;
  const HWND window = CreateWindowExW(0, kClass, L"Bench Window", WS_POPUP, 100, 100, 520, 380,
                                      nullptr, nullptr, instance, nullptr);
  if (!window) return 4;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

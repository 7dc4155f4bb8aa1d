// Benchmark helper, not a test: watches the top-level window of one class on the calling thread
// from outside its window procedure (subclassed as it is created), so that the installer and the
// minimal window program it is measured against are observed in exactly the same way. Lines go
// to standard output and are flushed at once: the reader's clock times them.
#pragma once

#include "app/win.h"
// After <windows.h>.
#include <psapi.h>

#include <cstdarg>
#include <cstdio>

namespace bench {

// Called after the watched window's own procedure has handled a message.
using AfterMessage = void (*)(HWND window, UINT message, WPARAM wparam);

inline double now_ms() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Milliseconds since this process was created, by the system's clock.
inline double process_age_ms() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  GetSystemTimePreciseAsFileTime(&now);
  const auto ticks = [](FILETIME t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}

// One line to standard output, written through at once (the program may be a GUI one).
inline void say(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length <= 0) return;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line,
            static_cast<DWORD>(length < static_cast<int>(sizeof line) ? length : sizeof line - 1),
            &written, nullptr);
}

// "working_set=B peak_working_set=B" of this process, for a line of say().
inline void say_memory(const char* what) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  say("%s working_set=%llu peak_working_set=%llu\n", what,
      static_cast<unsigned long long>(counters.WorkingSetSize),
      static_cast<unsigned long long>(counters.PeakWorkingSetSize));
}

// Time the watched window's procedure spent on paints and timer ticks: where the window thread's
// share of the machine goes.
struct WindowWork {
  unsigned paints = 0;
  double paint_ms = 0;
  unsigned ticks = 0;
  double tick_ms = 0;
};
inline WindowWork window_work;

namespace detail {
inline const wchar_t* watched_class = nullptr;
inline AfterMessage after_message = nullptr;
inline WNDPROC original = nullptr;
inline HHOOK hook = nullptr;

inline LRESULT CALLBACK watched(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const double started = now_ms();
  const LRESULT result = CallWindowProcW(original, window, message, wparam, lparam);
  if (message == WM_PAINT) {
    ++window_work.paints;
    window_work.paint_ms += now_ms() - started;
  } else if (message == WM_TIMER) {
    ++window_work.ticks;
    window_work.tick_ms += now_ms() - started;
  }
  after_message(window, message, wparam);
  return result;
}

inline LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_CREATEWND && !original) {
    const HWND window = reinterpret_cast<HWND>(wparam);
    wchar_t name[128];
    if (GetClassNameW(window, name, 128) > 0 && lstrcmpW(name, watched_class) == 0) {
      original = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&watched)));
    }
  }
  return CallNextHookEx(hook, code, wparam, lparam);
}
}  // namespace detail

// Watches the first window of this class that the calling thread creates from now on.
inline bool watch_window_class(const wchar_t* class_name, AfterMessage after) {
  detail::watched_class = class_name;
  detail::after_message = after;
  detail::hook = SetWindowsHookExW(WH_CBT, &detail::on_cbt, nullptr, GetCurrentThreadId());
  return detail::hook != nullptr;
}

}  // namespace bench

// The one process-wide state record shared by the window thread and the workers, and the
// messages by which workers report to the window. Workers never touch a window: they change the
// state here and post to `main_window`.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "app/dpi.h"
#include "app/handles_win.h"
#include "app/screen.h"
#include "app/win.h"

namespace qv {

inline constexpr UINT MSG_STATE_CHANGED = WM_APP + 1;
inline constexpr UINT MSG_RUN_FINISHED = WM_APP + 2;  // wParam 0 succeeded, 1 canceled
inline constexpr UINT MSG_FRAMES_READY = WM_APP + 3;

inline constexpr WPARAM kRunSucceeded = 0;
inline constexpr WPARAM kRunCanceled = 1;

struct AnimationFrames;  // the decoded animation; its contents belong to the window's pictures

// What painting draws from: one copy taken under a single hold of the lock.
struct StateSnapshot {
  Screen screen = Screen::ChooseLocation;
  std::string status;
  std::string detail;
  std::string version_note;
  bool show_full_installer_link = false;
};

struct AppState {
  // Guarded by state_lock: held only to copy values in or out, never across a platform call.
  std::mutex state_lock;
  Screen screen = Screen::ChooseLocation;
  std::string status;
  std::string detail;
  bool show_full_installer_link = false;
  std::string version_note;

  // Guarded by launch_lock, never held together with state_lock.
  std::mutex launch_lock;
  std::string launch_path;

  std::atomic<bool> cancel_requested{false};
  std::atomic<std::uint32_t> progress_permille{0};

  // Set before the first worker starts, then only read.
  HWND main_window = nullptr;

  // Published once by the picture-decoding thread (release), read with acquire.
  std::atomic<const AnimationFrames*> frames{nullptr};
  bool frames_ready() const { return frames.load(std::memory_order_acquire) != nullptr; }

  // Window thread only.
  int dpi = kDesignDpi;
  bool animations_enabled = true;
  bool anim_timer_running = false;
  std::uint32_t anim_frame = 0;
  std::uint32_t marquee_pos = 0;
  bool launch_started = false;
  OwnedFont font_body;
  OwnedFont font_small;
  OwnedFont font_button;
  OwnedFont font_title;
  HICON logo_icon = nullptr;  // shared icon, never destroyed
  HWND location_edit = nullptr;
  HWND browse_button = nullptr;
  HWND action_button = nullptr;
};

AppState& app_state();

// The only way the screen, status, detail and link flag change. Any thread.
void set_state(Screen screen, std::string_view status, std::string_view detail, bool show_link);
void set_version_note(std::string_view note);
void set_launch_path(std::string_view path);

Screen current_screen();
StateSnapshot snapshot_state();
std::string launch_path_copy();

// Design pixels to device pixels at the window's current DPI.
inline int scale(int design) {
  return scale(design, app_state().dpi);
}

}  // namespace qv

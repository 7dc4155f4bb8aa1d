#include "app/app_state_win.h"

namespace qv {
namespace {

void notify_state_changed() {
  if (HWND window = app_state().main_window) PostMessageW(window, MSG_STATE_CHANGED, 0, 0);
}

}  // namespace

AppState& app_state() {
  // Never destroyed: detached workers may still write to it while the process ends.
  static AppState& state = *new AppState;
  return state;
}

void set_state(Screen screen, std::string_view status, std::string_view detail, bool show_link) {
  // Copies are made before the lock so that it guards only the swap.
  std::string new_status(status);
  std::string new_detail(detail);
  AppState& s = app_state();
  {
    std::lock_guard lock(s.state_lock);
    s.screen = screen;
    s.status.swap(new_status);
    s.detail.swap(new_detail);
    s.show_full_installer_link = show_link;
  }
  notify_state_changed();
}

void set_version_note(std::string_view note) {
  std::string new_note(note);
  AppState& s = app_state();
  {
    std::lock_guard lock(s.state_lock);
    s.version_note.swap(new_note);
  }
  notify_state_changed();
}

void set_launch_path(std::string_view path) {
  std::string new_path(path);
  AppState& s = app_state();
  std::lock_guard lock(s.launch_lock);
  s.launch_path.swap(new_path);
}

Screen current_screen() {
  AppState& s = app_state();
  std::lock_guard lock(s.state_lock);
  return s.screen;
}

StateSnapshot snapshot_state() {
  AppState& s = app_state();
  std::lock_guard lock(s.state_lock);
  return StateSnapshot{s.screen, s.status, s.detail, s.version_note, s.show_full_installer_link};
}

std::string launch_path_copy() {
  AppState& s = app_state();
  std::lock_guard lock(s.launch_lock);
  return s.launch_path;
}

}  // namespace qv

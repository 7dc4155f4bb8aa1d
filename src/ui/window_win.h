// The main window: one state object and one window procedure that hands each message to a named
// handler. It draws nothing itself (painting is render_win's) and decides nothing inline that
// screen_rules can say.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/win.h"
#include "install/busy_wait.h"
#include "ui/accessibility_win.h"
#include "ui/palette.h"

namespace qv {

// The body of an install run's thread, given the trimmed folder text.
using InstallWorker = std::function<void(std::string)>;

// The palette for the system's current settings: the theme's colours while high contrast is on.
Palette read_palette();

class MainWindow {
 public:
  // Reads the contrast setting once here; afterwards only when the system says it changed.
  explicit MainWindow(InstallWorker worker)
      : worker_(std::move(worker)), palette_(read_palette()) {}
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Registers "QuorvaneInstallerWindow" with this procedure; false when it cannot be.
  static bool register_class(HINSTANCE instance, HICON icon, HICON small_icon);

  // Creates the borderless popup (design size, at 0, 0, not yet shown) bound to this object.
  HWND create(HINSTANCE instance);

  HWND handle() const { return window_; }

  // Gives the child controls what the plain user32 ones lack (Ctrl+A in the field, names and roles
  // for screen readers) and sets the keyboard cues by the platform's rule; called once the
  // controls exist and before the window is shown.
  void adopt_controls();

  // Called by the message loop with each message before the dialog manager sees it: the first
  // keyboard navigation shows the focus cues.
  void before_dialog_message(const MSG& msg);

  // What the window is drawn in now; painting is handed this.
  const Palette& palette() const { return palette_; }

  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam,
                                    LPARAM lparam) noexcept;

 private:
  LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);

  LRESULT on_destroy();
  LRESULT on_close();
  LRESULT on_nc_hit_test(WPARAM wparam, LPARAM lparam);
  LRESULT on_left_button_up(LPARAM lparam);
  LRESULT on_command(WPARAM wparam);
  LRESULT on_timer(WPARAM id);
  LRESULT on_dpi_changed(WPARAM wparam, LPARAM lparam);
  LRESULT on_state_changed();
  LRESULT on_run_finished(WPARAM outcome);
  LRESULT on_setting_change(WPARAM wparam, LPARAM lparam);
  LRESULT on_get_object(WPARAM wparam, LPARAM lparam);
  LRESULT on_enter();
  LRESULT on_update_ui_state(WPARAM wparam, LPARAM lparam);
  LRESULT on_activate(WPARAM wparam, LPARAM lparam);

  // The child controls, subclassed for what they answer themselves.
  struct ControlHook {
    MainWindow* owner = nullptr;
    AccessPart part = AccessPart::Field;
    WNDPROC original = nullptr;
  };
  static LRESULT CALLBACK control_procedure(HWND control, UINT message, WPARAM wparam,
                                            LPARAM lparam) noexcept;
  static LRESULT CALLBACK link_procedure(HWND link, UINT message, WPARAM wparam,
                                         LPARAM lparam) noexcept;
  void hook(HWND control, ControlHook& hook, AccessPart part);

  // The focus cues follow the platform's rule for its own controls: hidden until the first
  // keyboard navigation (Tab or an arrow key), unless the user has them always shown. Kept here
  // rather than read back from the platform, which not every Windows implementation tracks.
  static bool keyboard_cues_always_shown();
  void show_focus_cues(bool shown);
  bool link_shows_focus_cue() const;
  void invalidate_link();
  // The link's keyboard stop follows the painted link: made at its first showing, shown and
  // placed with it.
  void sync_link_stop();
  // Keeps the keyboard focus on a control when the one that had it was hidden.
  void keep_focus_on_action();
  void announce();

  LRESULT on_system_colours_changed();
  bool refresh_palette();

  // The Launch button and the automatic launch: opens the product (or, with none, just ends) and
  // destroys the window once it has started. While another program has the product's file in
  // use, tries again by TIMER_LAUNCH_RETRY; if it never starts, Done says so and stays.
  void launch_and_close();
  void try_launch();

  HWND window_ = nullptr;
  InstallWorker worker_;
  Palette palette_;
  std::array<ControlHook, 3> hooks_{};
  HWND last_focus_ = nullptr;  // the control to give the focus back to on activation
  bool focus_cues_shown_ = false;
  SharedAccessTargets access_ = std::make_shared<AccessTargets>();
  AccessAnnouncer announcer_;
  std::optional<BusyBackoff> launch_backoff_;  // a launch is being tried
};

// Operations of the window, all on the window thread.
void start_install(const InstallWorker& worker);
void retry();
// The animation runs only where `palette` draws the orb.
void update_animation_timer(const Palette& palette);
void layout_location_controls();
void layout_launch_button();
void layout_retry_button();

// The system's client-area animation setting; a failed query counts as enabled.
bool read_animations_enabled();

// Whether the user has turned high contrast on; a failed query counts as off.
bool read_high_contrast();

#ifdef QV_TEST_HOOKS
// Test builds only: the answer read_high_contrast gives instead of asking the system (which under
// Wine always says off), none to ask it. The shipped program has no such seam.
inline std::optional<bool> test_high_contrast;
#endif

}  // namespace qv

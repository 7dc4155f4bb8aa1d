// The main window's child controls: the edit field, Browse and the action button (made, placed,
// given their rounded regions and subclassed for what the plain user32 ones lack), the link's
// keyboard stop, and the keyboard's focus cues. The window owns one Controls; the controls' handles
// are the shared state's, which painting and the workers' messages reach too.
#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "app/app_state_win.h"
#include "app/win.h"
#include "ui/accessibility_win.h"
#include "ui/screen_rules.h"

namespace qv {

// The layouts of the layout table; each sets the action button's text, places the controls at
// the current DPI and rounds the buttons. layout_retry_button also shows the action button.
void layout_location_controls();
void layout_launch_button();
void layout_retry_button();
void apply_layout(ControlLayout layout);

// Shows or hides the edit field, Browse and the action button together.
void show_location_controls(bool shown);

class Controls {
 public:
  explicit Controls(SharedAccessTargets access) : access_(std::move(access)) {}
  Controls(const Controls&) = delete;
  Controls& operator=(const Controls&) = delete;

  // Makes the three controls in `main`, in tab order, at (0, 0) and 10 x 10 until laid out, the
  // field holding `folder`; records them in the shared state.
  void create(HWND main, HINSTANCE instance, std::string_view folder);

  // Gives the controls what the plain user32 ones lack (Ctrl+A in the field, names and roles for
  // screen readers) and sets the focus cues by the platform's rule; once the controls exist and
  // before the window is shown.
  void adopt();

  // The link's keyboard stop follows the painted link: made at its first showing, shown and placed
  // with it (at the shared state's DPI).
  void sync_link_stop(const StateSnapshot& state);
  HWND link() const { return link_; }

  // The focus cues follow the platform's rule for its own controls: hidden until the first
  // keyboard navigation (Tab or an arrow key), unless the user has them always shown. Kept here
  // rather than read back from the platform, which not every Windows implementation tracks.
  void before_dialog_message(const MSG& msg);
  void on_update_ui_state(WPARAM wparam);
  void on_keyboard_cues_setting();
  bool focus_cues_shown() const { return focus_cues_shown_; }
  bool link_shows_focus_cue() const;

  // As a dialog does: the control that had the focus gets it back when the window is activated
  // again, instead of the window itself, where Tab and Space would find nothing.
  void remember_focus();
  void restore_focus();
  // Keeps the keyboard focus on a control when the one that had it was hidden.
  void keep_focus_on_action();

  // Everything let go of, as the window goes: the hooks point back into this object.
  void release();

 private:
  struct Hook {
    Controls* owner = nullptr;
    AccessPart part = AccessPart::Field;
    HWND control = nullptr;  // while hooked
    WNDPROC original = nullptr;
  };
  static LRESULT CALLBACK control_procedure(HWND control, UINT message, WPARAM wparam,
                                            LPARAM lparam) noexcept;
  static LRESULT CALLBACK link_procedure(HWND link, UINT message, WPARAM wparam,
                                         LPARAM lparam) noexcept;
  void hook(HWND control, Hook& hook, AccessPart part);
  // The control's own procedure back, and its pointer to the hook cleared.
  static void unhook(HWND control);
  static bool keyboard_cues_always_shown();
  void show_focus_cues(bool shown);
  void invalidate_link();

  HWND main_ = nullptr;
  SharedAccessTargets access_;
  std::array<Hook, 3> hooks_{};
  HWND link_ = nullptr;
  HWND last_focus_ = nullptr;  // the control to give the focus back to on activation
  bool focus_cues_shown_ = false;
};

}  // namespace qv

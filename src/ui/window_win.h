// The main window: one state object and one window procedure that hands each message to a named
// handler, and the run's operations (Install, Try Again, the launch). It draws nothing itself
// (painting is render_win's, from the input it gathers here), its child controls are
// controls_win's, and it decides nothing inline that screen_rules can say. What it keeps beyond
// the shared state (the palette, the controls' hooks and focus cues, the paint cache, the
// accessibility bridge, the launch's retries) is its own, made with it and let go of when the
// window is destroyed.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/win.h"
#include "ui/accessibility_win.h"
#include "ui/controls_win.h"
#include "ui/launch_win.h"
#include "ui/palette.h"
#include "ui/render_win.h"
#include "ui/system_settings_win.h"

namespace qv {

// The body of an install run's thread, given the trimmed folder text.
using InstallWorker = std::function<void(std::string)>;

class MainWindow final : private AccessSource {
 public:
  // Reads the contrast setting once here; afterwards only when the system says it changed.
  explicit MainWindow(InstallWorker worker);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow();

  // Registers "QuorvaneInstallerWindow" with this procedure; false when it cannot be.
  static bool register_class(HINSTANCE instance, HICON icon, HICON small_icon);

  // Creates the borderless popup (design size, at 0, 0, not yet shown) bound to this object.
  HWND create(HINSTANCE instance);

  HWND handle() const { return window_; }
  Controls& controls() { return controls_; }

  // Once the controls exist and before the window is shown: the controls adopted (Ctrl+A, names
  // for readers, focus cues by the platform's rule) and what readers were last told set.
  void adopt_controls();
  PaintCache& paint_cache() { return paint_; }

  // Called by the message loop with each message before the dialog manager sees it.
  void before_dialog_message(const MSG& msg) { controls_.before_dialog_message(msg); }

  // What the window is drawn in now; painting is handed this.
  const Palette& palette() const { return palette_; }

  // Everything a paint draws from, gathered now.
  PaintInput paint_input() const;
  // Draws the client area as the next paint would, into `dc` (w x h device pixels).
  void render(HDC dc, int width, int height) {
    paint_.finish_first_frame();  // its thread writes the still logo that the input reads
    render_client(dc, width, height, paint_input(), paint_);
  }

  // Try Again: the location screen with the field as the failed run left it.
  void retry();

  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam,
                                    LPARAM lparam) noexcept;

 private:
  LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);

  LRESULT on_destroy();
  void on_nc_destroy();
  LRESULT on_close();
  LRESULT on_nc_hit_test(WPARAM wparam, LPARAM lparam);
  LRESULT on_left_button_up(LPARAM lparam);
  LRESULT on_command(WPARAM wparam);
  LRESULT on_enter();
  LRESULT on_timer(WPARAM id);
  LRESULT on_dpi_changed(WPARAM wparam, LPARAM lparam);
  LRESULT on_state_changed();
  LRESULT on_run_finished(WPARAM outcome);
  LRESULT on_setting_change(WPARAM wparam, LPARAM lparam);
  LRESULT on_system_colours_changed();
  LRESULT on_draw_item(const DRAWITEMSTRUCT& item);
  LRESULT on_get_object(WPARAM wparam, LPARAM lparam);
  LRESULT on_activate(WPARAM wparam, LPARAM lparam);

  // The run's operations.
  void start_install();
  // The Launch button and the automatic launch: opens the product (or, with none, just ends) and
  // destroys the window once it has started (ProductLaunch says when).
  void launch_and_close();
  // The animation runs only where the palette draws the orb, the frames are decoded, the system
  // allows it and the window is not minimised; the logo square is repainted either way.
  void update_animation_timer();

  // True when the palette changed. Painting compares it with the one its cached layer was drawn
  // in, so the next paint draws everything again.
  bool refresh_palette();
  void announce();
  void invalidate_all(bool erase);

  // What screen readers are told (AccessSource).
  HWND main_window() const override { return window_; }
  AccessView access_view() const override;
  HWND part_window(AccessPart part) const override;
  int dpi() const override;

  HWND window_ = nullptr;
  InstallWorker worker_;
  Palette palette_;
  SharedAccessTargets access_ = std::make_shared<AccessTargets>();
  Controls controls_{access_};
  PaintCache paint_;
  AccessAnnouncer announcer_;
  ProductLaunch launch_;
};

}  // namespace qv

// What the window does on each screen: labels, closing, timers, layouts, progress mode.
// Pure logic, unit-tested natively; the window procedure asks these instead of deciding inline.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/screen.h"
#include "ui/layout.h"

namespace qv {

// Control ids of the child windows.
inline constexpr int kActionButtonId = 101;
inline constexpr int kLocationEditId = 102;
inline constexpr int kBrowseButtonId = 103;
// The link's keyboard stop on the failure screen: a window that draws nothing over the painted
// link, so that Tab can reach it.
inline constexpr int kLinkId = 104;

// Timers on the main window: ids and periods in milliseconds.
inline constexpr unsigned TIMER_MARQUEE = 1;
inline constexpr unsigned TIMER_AUTOLAUNCH = 2;
inline constexpr unsigned TIMER_ANIMATION = 3;
// The next try of a launch that found the product's file in use.
inline constexpr unsigned TIMER_LAUNCH_RETRY = 4;
inline constexpr unsigned kMarqueePeriodMs = 40;
inline constexpr unsigned kAutoLaunchDelayMs = 2800;
inline constexpr unsigned kAnimationPeriodMs = 83;

// The action button's label is chosen from the screen at every draw, not from its window text.
std::string_view action_label(Screen screen);

enum class ActionCommand { StartInstall, LaunchAndClose, Retry };
ActionCommand action_command(Screen screen);

// Asking to close: destroy on quiet screens, cancel while downloading, ignore while the
// verification or the setup program runs (neither can be interrupted safely).
enum class CloseAction { Destroy, Cancel, Ignore };
CloseAction close_action(Screen screen);

// The close glyph is drawn exactly where a click on it can close or cancel.
bool shows_close_glyph(Screen screen);

// A run is under way: the marquee timer keeps ticking.
bool run_under_way(Screen screen);

// A marquee tick repaints unless a real (determinate) bar is shown, which moves only when data
// arrives.
bool marquee_tick_repaints(Screen screen, std::uint32_t permille);

// The progress bar shows the moving segment rather than a proportional fill.
bool progress_indeterminate(Screen screen, std::uint32_t permille);

// Which screens draw a progress bar at all.
bool shows_progress_bar(Screen screen);

// The "Get the full installer instead" link is drawn (and can be reached) only on the screens
// that show a run's texts, and only while the run asks for it.
bool shows_link(Screen screen, bool link_flag);

// The child-control layouts.
enum class ControlLayout { Location, Launch, Retry };
ControlLayout layout_for_screen(Screen screen);

struct LayoutSpec {
  std::string_view action_text;
  bool moves_location_controls;  // the edit field and Browse move only in the location layout
  DesignRect action;
};
LayoutSpec layout_spec(ControlLayout layout);

}  // namespace qv

#include "ui/screen_rules.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

constexpr Screen kAll[] = {Screen::ChooseLocation, Screen::Downloading, Screen::Verifying,
                           Screen::Installing,     Screen::Done,        Screen::Failed};

TEST(ScreenRules, ActionButtonLabelAndCommandFollowTheScreen) {
  for (const Screen s : kAll) {
    SCOPED_TRACE(static_cast<int>(s));
    if (s == Screen::Done) {
      EXPECT_EQ(action_label(s), "Launch Quorvane");
      EXPECT_EQ(action_command(s), ActionCommand::LaunchAndClose);
      EXPECT_EQ(layout_for_screen(s), ControlLayout::Launch);
    } else if (s == Screen::Failed) {
      EXPECT_EQ(action_label(s), "Try Again");
      EXPECT_EQ(action_command(s), ActionCommand::Retry);
      EXPECT_EQ(layout_for_screen(s), ControlLayout::Retry);
    } else {
      EXPECT_EQ(action_label(s), "Install");
      EXPECT_EQ(action_command(s), ActionCommand::StartInstall);
      EXPECT_EQ(layout_for_screen(s), ControlLayout::Location);
    }
  }
}

TEST(ScreenRules, ClosingAndTheCloseGlyph) {
  EXPECT_EQ(close_action(Screen::ChooseLocation), CloseAction::Destroy);
  EXPECT_EQ(close_action(Screen::Downloading), CloseAction::Cancel);
  EXPECT_EQ(close_action(Screen::Verifying), CloseAction::Ignore);
  EXPECT_EQ(close_action(Screen::Installing), CloseAction::Ignore);
  EXPECT_EQ(close_action(Screen::Done), CloseAction::Destroy);
  EXPECT_EQ(close_action(Screen::Failed), CloseAction::Destroy);
  for (const Screen s : kAll) {
    // The glyph is drawn exactly where closing does something.
    EXPECT_EQ(shows_close_glyph(s), close_action(s) != CloseAction::Ignore);
  }
}

TEST(ScreenRules, ProgressModesAndMarqueeRepaints) {
  EXPECT_TRUE(progress_indeterminate(Screen::Downloading, 0));
  EXPECT_FALSE(progress_indeterminate(Screen::Downloading, 1));
  EXPECT_FALSE(progress_indeterminate(Screen::Downloading, 999));
  EXPECT_TRUE(progress_indeterminate(Screen::Verifying, 500));
  EXPECT_TRUE(progress_indeterminate(Screen::Installing, 1000));

  EXPECT_TRUE(marquee_tick_repaints(Screen::Downloading, 0));
  EXPECT_FALSE(marquee_tick_repaints(Screen::Downloading, 10));
  EXPECT_TRUE(marquee_tick_repaints(Screen::Verifying, 10));
  EXPECT_TRUE(marquee_tick_repaints(Screen::Installing, 1000));

  for (const Screen s : kAll) {
    const bool running =
        s == Screen::Downloading || s == Screen::Verifying || s == Screen::Installing;
    EXPECT_EQ(run_under_way(s), running);
    EXPECT_EQ(shows_progress_bar(s), running);
  }
}

TEST(ScreenRules, LayoutSpecs) {
  const LayoutSpec location = layout_spec(ControlLayout::Location);
  EXPECT_EQ(location.action_text, "Install");
  EXPECT_TRUE(location.moves_location_controls);
  EXPECT_EQ(location.action.x, 358);
  const LayoutSpec launch = layout_spec(ControlLayout::Launch);
  EXPECT_EQ(launch.action_text, "Launch Quorvane");
  EXPECT_FALSE(launch.moves_location_controls);
  EXPECT_EQ(launch.action.width, 184);
  const LayoutSpec retry = layout_spec(ControlLayout::Retry);
  EXPECT_EQ(retry.action_text, "Try Again");
  EXPECT_EQ(retry.action.y, 284);
}

}  // namespace
}  // namespace qv

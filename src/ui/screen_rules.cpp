#include "ui/screen_rules.h"

namespace qv {

std::string_view action_label(Screen screen) {
  switch (screen) {
    case Screen::Done:
      return kLabelLaunch;
    case Screen::Failed:
      return kLabelTryAgain;
    default:
      return kLabelInstall;
  }
}

ActionCommand action_command(Screen screen) {
  switch (screen) {
    case Screen::Done:
      return ActionCommand::LaunchAndClose;
    case Screen::Failed:
      return ActionCommand::Retry;
    default:
      return ActionCommand::StartInstall;
  }
}

CloseAction close_action(Screen screen) {
  switch (screen) {
    case Screen::Verifying:
    case Screen::Installing:
      return CloseAction::Ignore;
    case Screen::Downloading:
      return CloseAction::Cancel;
    default:
      return CloseAction::Destroy;
  }
}

bool shows_close_glyph(Screen screen) {
  return screen != Screen::Verifying && screen != Screen::Installing;
}

bool run_under_way(Screen screen) {
  return screen == Screen::Downloading || screen == Screen::Verifying ||
         screen == Screen::Installing;
}

bool marquee_tick_repaints(Screen screen, std::uint32_t permille) {
  return !(screen == Screen::Downloading && permille > 0);
}

bool progress_indeterminate(Screen screen, std::uint32_t permille) {
  return screen == Screen::Verifying || screen == Screen::Installing ||
         (screen == Screen::Downloading && permille == 0);
}

bool shows_progress_bar(Screen screen) {
  return run_under_way(screen);
}

bool shows_link(Screen screen, bool link_flag) {
  return link_flag && screen != Screen::ChooseLocation && screen != Screen::Done;
}

ControlLayout layout_for_screen(Screen screen) {
  switch (screen) {
    case Screen::Done:
      return ControlLayout::Launch;
    case Screen::Failed:
      return ControlLayout::Retry;
    default:
      return ControlLayout::Location;
  }
}

LayoutSpec layout_spec(ControlLayout layout) {
  switch (layout) {
    case ControlLayout::Launch:
      return {kLabelLaunch, false, kLaunchButtonRect};
    case ControlLayout::Retry:
      return {kLabelTryAgain, false, kRetryButtonRect};
    case ControlLayout::Location:
      break;
  }
  return {kLabelInstall, true, kInstallButtonRect};
}

}  // namespace qv

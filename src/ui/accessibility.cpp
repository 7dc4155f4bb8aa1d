#include "ui/accessibility.h"

#include <algorithm>

#include "ui/screen_rules.h"

namespace qv {
namespace {

AccessElement element(AccessPart part, std::string_view name) {
  return {part, access_role(part), std::string(name), std::nullopt};
}

const AccessElement* find_part(const std::vector<AccessElement>& elements, AccessPart part) {
  const auto found = std::find_if(elements.begin(), elements.end(),
                                  [part](const AccessElement& e) { return e.part == part; });
  return found == elements.end() ? nullptr : &*found;
}

int child_of(const std::vector<AccessElement>& elements, AccessPart part) {
  const AccessElement* found = find_part(elements, part);
  return found ? static_cast<int>(found - elements.data()) + 1 : 0;
}

}  // namespace

std::vector<AccessElement> access_elements(const AccessView& view) {
  const Screen screen = view.screen;
  const bool location = screen == Screen::ChooseLocation;
  std::vector<AccessElement> elements;
  elements.push_back(element(AccessPart::Title, kTitleName));
  // The status and detail are drawn on every screen but the first; an empty text draws nothing.
  if (!location && !view.status.empty()) {
    elements.push_back(element(AccessPart::Status, view.status));
  }
  if (!location && !view.detail.empty()) {
    elements.push_back(element(AccessPart::Detail, view.detail));
  }
  if (location) {
    elements.push_back(element(AccessPart::Hint, kHintText));
    if (!view.version_note.empty()) {
      elements.push_back(element(AccessPart::VersionNote, view.version_note));
    }
  }
  if (shows_progress_bar(screen)) {
    AccessElement bar = element(AccessPart::Progress, kProgressName);
    bar.value = progress_value(screen, view.progress_permille);
    elements.push_back(std::move(bar));
  }
  const auto control = [&](AccessPart part) {
    elements.push_back(element(part, control_name(part, screen)));
  };
  if (location) {
    control(AccessPart::Field);
    control(AccessPart::Browse);
  }
  if (location || ((screen == Screen::Done || screen == Screen::Failed) && view.action_shown)) {
    control(AccessPart::Action);
  }
  if (shows_link(screen, view.show_link)) control(AccessPart::Link);
  return elements;
}

AccessRole access_role(AccessPart part) {
  switch (part) {
    case AccessPart::Progress:
      return AccessRole::ProgressBar;
    case AccessPart::Field:
      return AccessRole::EditableText;
    case AccessPart::Browse:
    case AccessPart::Action:
      return AccessRole::PushButton;
    case AccessPart::Link:
      return AccessRole::Link;
    default:
      return AccessRole::StaticText;
  }
}

std::string_view control_name(AccessPart part, Screen screen) {
  switch (part) {
    case AccessPart::Field:
      return kFieldName;
    case AccessPart::Browse:
      return kBrowseText;
    case AccessPart::Action:
      return action_label(screen);
    case AccessPart::Link:
      return kLinkText;
    default:
      return {};
  }
}

std::optional<std::string> progress_value(Screen screen, std::uint32_t permille) {
  if (progress_indeterminate(screen, permille)) return std::nullopt;
  // The same share that the fill covers, rounded down: a bar that looks 45 % full says 45 %.
  return std::to_string(std::min<std::uint32_t>(permille, 1000) / 10) + "%";
}

bool is_window_part(AccessPart part) {
  return part == AccessPart::Field || part == AccessPart::Browse || part == AccessPart::Action ||
         part == AccessPart::Link;
}

std::optional<DesignEdges> element_area(AccessPart part, Screen screen) {
  switch (part) {
    case AccessPart::Title:
      return DesignEdges{kTitlePos.x, kTitlePos.y, kAccentRule.x + kAccentRule.width,
                         kAccentRule.y};
    case AccessPart::Status:
      return DesignEdges{kStatusPos.x, kStatusPos.y, kDetailBox.right, kDetailLinePos.y};
    case AccessPart::Detail:
      if (screen == Screen::Done) {
        return DesignEdges{kDetailLinePos.x, kDetailLinePos.y, kDetailBox.right,
                           kDetailLinePos.y + 18};
      }
      return kDetailBox;
    case AccessPart::Hint:
      return DesignEdges{kHintPos.x, kHintPos.y, kDetailBox.right, kHintPos.y + 18};
    case AccessPart::VersionNote:
      return DesignEdges{kVersionNotePos.x, kVersionNotePos.y, kDetailBox.right,
                         kVersionNotePos.y + 18};
    case AccessPart::Progress:
      return DesignEdges{kProgressTrack.x, kProgressTrack.y,
                         kProgressTrack.x + kProgressTrack.width,
                         kProgressTrack.y + kProgressTrack.height};
    case AccessPart::Field:
    case AccessPart::Browse:
    case AccessPart::Action:
    case AccessPart::Link:
      break;
  }
  return std::nullopt;
}

std::vector<Announcement> announcements(const AccessView& before, const AccessView& after) {
  const std::vector<AccessElement> old_elements = access_elements(before);
  const std::vector<AccessElement> new_elements = access_elements(after);
  std::vector<Announcement> out;
  const bool same_parts =
      std::equal(old_elements.begin(), old_elements.end(), new_elements.begin(), new_elements.end(),
                 [](const AccessElement& a, const AccessElement& b) { return a.part == b.part; });
  if (!same_parts) out.push_back({Announcement::Kind::Reorder, 0});
  for (std::size_t i = 0; i < new_elements.size(); ++i) {
    const AccessElement& now = new_elements[i];
    const AccessElement* was = find_part(old_elements, now.part);
    if (!was) continue;
    const int child = static_cast<int>(i) + 1;
    if (was->name != now.name) out.push_back({Announcement::Kind::NameChange, child});
    if (was->value != now.value) out.push_back({Announcement::Kind::ValueChange, child});
  }
  if (before.screen != after.screen) {
    if (after.screen == Screen::Failed) {
      // The reason says what went wrong; the headline alone says only that something did.
      const int reason = child_of(new_elements, AccessPart::Detail);
      out.push_back({Announcement::Kind::Alert,
                     reason ? reason : child_of(new_elements, AccessPart::Status)});
    } else if (after.screen == Screen::Done) {
      out.push_back({Announcement::Kind::Alert, child_of(new_elements, AccessPart::Status)});
    }
  } else if (after.screen == Screen::Done && after.detail == kLaunchFailedDetail &&
             before.detail != after.detail) {
    // The product did not start: said without being asked, like a failed run.
    out.push_back({Announcement::Kind::Alert, child_of(new_elements, AccessPart::Detail)});
  }
  return out;
}

}  // namespace qv

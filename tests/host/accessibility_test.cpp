#include "ui/accessibility.h"

#include <gtest/gtest.h>

#include "install/busy_wait.h"

namespace qv {
namespace {

using Kind = Announcement::Kind;

std::string parts_of(const AccessView& view) {
  static constexpr const char* kNames[] = {"title",    "status", "detail", "hint",   "note",
                                           "progress", "field",  "browse", "action", "link"};
  std::string out;
  for (const AccessElement& e : access_elements(view)) {
    if (!out.empty()) out += ' ';
    out += kNames[static_cast<int>(e.part)];
  }
  return out;
}

AccessView view(Screen screen, std::string status = "", std::string detail = "") {
  AccessView v;
  v.screen = screen;
  v.status = std::move(status);
  v.detail = std::move(detail);
  return v;
}

TEST(AccessElements, EachScreenExposesWhatItDrawsInReadingOrder) {
  AccessView location = view(Screen::ChooseLocation, "stale", "stale");
  const AccessView noted = [&] {
    AccessView v = location;
    v.version_note = "Version 4.5.6";
    return v;
  }();
  AccessView failed =
      view(Screen::Failed, "Something went wrong.", "couldn't create a temp folder");
  failed.show_link = true;
  failed.action_shown = true;
  AccessView done_with_button =
      view(Screen::Done, "You're all set.", "Quorvane is installed and ready.");
  done_with_button.action_shown = true;
  AccessView link_off = failed;
  link_off.show_link = false;
  const struct {
    AccessView view;
    const char* parts;
  } cases[] = {
      // Status and detail are not drawn on the first screen, whatever they hold.
      {location, "title hint field browse action"},
      {noted, "title hint note field browse action"},
      {view(Screen::Downloading, "Starting..."), "title status progress"},
      {view(Screen::Downloading, "Downloading", "1 MB of 8 MB"), "title status detail progress"},
      {view(Screen::Verifying, "Verifying the download..."), "title status progress"},
      {view(Screen::Done, "Quorvane is installed.", "You can close this window."),
       "title status detail"},
      {done_with_button, "title status detail action"},
      {failed, "title status detail action link"},
      {link_off, "title status detail action"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.parts);
    EXPECT_EQ(parts_of(c.view), c.parts);
  }

  const auto elements = access_elements(failed);
  ASSERT_EQ(elements.size(), 5u);
  EXPECT_EQ(elements[0],
            (AccessElement{AccessPart::Title, AccessRole::StaticText, "Quorvane", {}}));
  EXPECT_EQ(elements[2].name, "couldn't create a temp folder");
  EXPECT_EQ(elements[3],
            (AccessElement{AccessPart::Action, AccessRole::PushButton, "Try Again", {}}));
  EXPECT_EQ(
      elements[4],
      (AccessElement{AccessPart::Link, AccessRole::Link, "Get the full installer instead", {}}));
  const auto first = access_elements(noted);
  EXPECT_EQ(first[1].name, "Installs just for you \u2014 no admin needed.");
  EXPECT_EQ(first[2].name, "Version 4.5.6");
  EXPECT_EQ(first[3],
            (AccessElement{AccessPart::Field, AccessRole::EditableText, "Install location", {}}));
  EXPECT_EQ(first[5].name, "Install");
  EXPECT_EQ(access_elements(done_with_button)[3].name, "Launch Quorvane");
}

TEST(AccessElements, ProgressValueIsTheFilledShareOrNothingWhileMoving) {
  EXPECT_EQ(progress_value(Screen::Downloading, 0), std::nullopt);  // the moving segment
  EXPECT_EQ(progress_value(Screen::Downloading, 1), "0%");
  EXPECT_EQ(progress_value(Screen::Downloading, 459), "45%");
  EXPECT_EQ(progress_value(Screen::Downloading, 999), "99%");
  EXPECT_EQ(progress_value(Screen::Downloading, 5000), "100%");
  EXPECT_EQ(progress_value(Screen::Verifying, 999), std::nullopt);
  EXPECT_EQ(progress_value(Screen::Installing, 1000), std::nullopt);
  AccessView v = view(Screen::Downloading, "Downloading");
  v.progress_permille = 450;
  EXPECT_EQ(access_elements(v).back(),
            (AccessElement{AccessPart::Progress, AccessRole::ProgressBar, "Progress", "45%"}));
}

TEST(Announcements, ChangesNamesValuesAndOneAlertAtTheEnd) {
  AccessView at_451 = view(Screen::Downloading, "Downloading Quorvane 4.5.6", "3 MB of 8 MB");
  at_451.progress_permille = 451;
  AccessView at_459 = at_451;
  at_459.progress_permille = 459;
  at_459.detail = "3 MB of 8 MB - 2 MB/s";
  AccessView at_460 = at_459;
  at_460.progress_permille = 460;
  AccessView failed =
      view(Screen::Failed, "Something went wrong.", "the installer reported an error (code 1)");
  failed.show_link = true;
  failed.action_shown = true;
  const AccessView done = view(Screen::Done, "You're all set.", "Quorvane is installed and ready.");
  const AccessView installing =
      view(Screen::Installing, "Installing Quorvane 4.5.6...", "Setting things up");
  const struct {
    const char* what;
    AccessView before;
    AccessView after;
    std::vector<Announcement> expected;
  } cases[] = {
      {"same whole percent: no value event", at_451, at_459, {{Kind::NameChange, 3}}},
      {"next whole percent", at_459, at_460, {{Kind::ValueChange, 4}}},
      {"nothing changed", at_460, at_460, {}},
      {"the run fails: reorder, names, and the reason alerted",
       at_460,
       failed,
       {{Kind::Reorder, 0}, {Kind::NameChange, 2}, {Kind::NameChange, 3}, {Kind::Alert, 3}}},
      {"the run finishes: the headline alerted",
       installing,
       done,
       {{Kind::Reorder, 0}, {Kind::NameChange, 2}, {Kind::NameChange, 3}, {Kind::Alert, 2}}},
      {"a failure without a reason alerts its headline",
       view(Screen::Verifying, "Verifying the download..."),
       view(Screen::Failed, "Something went wrong."),
       {{Kind::Reorder, 0}, {Kind::NameChange, 2}, {Kind::Alert, 2}}},
      {"waiting for the product to be released: only its name changes",
       done,
       view(Screen::Done, "You're all set.", std::string(kWaitingForProduct)),
       {{Kind::NameChange, 3}}},
      {"the product did not start: that line alerted, on the same screen",
       view(Screen::Done, "You're all set.", std::string(kWaitingForProduct)),
       view(Screen::Done, "You're all set.", std::string(kLaunchFailedDetail)),
       {{Kind::NameChange, 3}, {Kind::Alert, 3}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(announcements(c.before, c.after), c.expected);
  }
}

}  // namespace
}  // namespace qv

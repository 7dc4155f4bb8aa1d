// The state record and the worker messages, with a real window and real threads.
#include "app/app_state_win.h"

#include <gtest/gtest.h>

#include <thread>

#include "test_support.h"

namespace qv {
namespace {

TEST(AppState, SetStateFromAWorkerPostsOneMessageAndKeepsTheNote) {
  test::MessageWindow window;
  set_version_note("Version 9");
  std::thread([] {
    set_state(Screen::Failed, "Something went wrong.", "couldn't create a temp folder", true);
  }).join();
  const auto messages = window.drain();
  ASSERT_EQ(messages.size(), 2u);  // the note's message, then the state's
  EXPECT_EQ(messages[0].message, MSG_STATE_CHANGED);
  EXPECT_EQ(messages[1].message, MSG_STATE_CHANGED);
  EXPECT_EQ(messages[1].wParam, 0u);
  EXPECT_EQ(messages[1].lParam, 0);

  const StateSnapshot s = snapshot_state();
  EXPECT_EQ(s.screen, Screen::Failed);
  EXPECT_EQ(s.status, "Something went wrong.");
  EXPECT_EQ(s.detail, "couldn't create a temp folder");
  EXPECT_TRUE(s.show_full_installer_link);
  EXPECT_EQ(s.version_note, "Version 9");  // set_state leaves the note alone

  set_state(Screen::ChooseLocation, "", "", false);
  EXPECT_EQ(current_screen(), Screen::ChooseLocation);
  EXPECT_EQ(window.drain().size(), 1u);  // also from the window thread itself
}

TEST(AppState, NoWindowNoMessageAndLaunchPathPostsNothing) {
  ASSERT_EQ(app_state().main_window, nullptr);
  set_state(Screen::Downloading, "Starting...", "", false);  // must not crash or post anywhere
  EXPECT_EQ(current_screen(), Screen::Downloading);

  test::MessageWindow window;
  set_launch_path("C:\\Apps\\Quorvane\\Quorvane.exe");
  EXPECT_EQ(launch_path_copy(), "C:\\Apps\\Quorvane\\Quorvane.exe");
  EXPECT_TRUE(window.drain().empty());
  set_state(Screen::ChooseLocation, "", "", false);
}

TEST(AppState, ConcurrentWritersNeverTearASnapshot) {
  // Each writer stores a status and detail that belong together; a reader must never see a mix.
  std::atomic<bool> stop{false};
  std::thread writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = std::thread([w, &stop] {
      const std::string tag(200, static_cast<char>('a' + w));
      while (!stop.load()) set_state(Screen::Downloading, tag, tag, w == 1);
    });
  }
  for (int i = 0; i < 20000; ++i) {
    const StateSnapshot s = snapshot_state();
    ASSERT_EQ(s.status, s.detail);
    if (!s.status.empty()) {
      ASSERT_EQ(s.show_full_installer_link, s.status[0] == 'b');
    }
  }
  stop = true;
  for (auto& t : writers) t.join();
  set_state(Screen::ChooseLocation, "", "", false);
}

TEST(Scale, TruncatesAndScalesEachTermOnItsOwn) {
  EXPECT_EQ(scale(520, 144), 780);
  EXPECT_EQ(scale(380, 120), 475);
  EXPECT_EQ(scale(-7, 144), -10);  // toward zero, not down
  EXPECT_EQ(scale(150, 120) + scale(196, 120), 187 + 245);
  EXPECT_EQ(scale(1, 144) + scale(1, 144), 2);  // one by one: 1 + 1
  EXPECT_EQ(scale(2, 144), 3);                  // not 3 for the sum
  app_state().dpi = 192;
  EXPECT_EQ(scale(84), 168);
  app_state().dpi = 96;
}

TEST(OwnedHandles, CloseExactlyOnceAndMoveOwnership) {
  HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(raw, nullptr);
  DWORD flags = 0;
  {
    OwnedHandle first(raw);
    OwnedHandle second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), raw);
    EXPECT_TRUE(GetHandleInformation(raw, &flags));
  }
  EXPECT_FALSE(GetHandleInformation(raw, &flags));  // closed when its last owner went away

  OwnedFile none(CreateFileW(L"Z:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             0, nullptr));
  EXPECT_FALSE(none);  // INVALID_HANDLE_VALUE is the empty state of a file handle
}

}  // namespace
}  // namespace qv

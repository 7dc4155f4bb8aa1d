// Where the feed lives and the pre-check thread, against the local release server and a real
// window.
#include "net/feed_win.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/app_state_win.h"
#include "app/text_win.h"
#include "build_settings.h"
#include "test_support.h"

namespace qv {
namespace {

class FeedVariable : public ::testing::Test {
 protected:
  void TearDown() override { SetEnvironmentVariableW(L"ZEL_BOOTSTRAP_FEED_URL", nullptr); }
  void set(const wchar_t* value) { SetEnvironmentVariableW(L"ZEL_BOOTSTRAP_FEED_URL", value); }
};

TEST_F(FeedVariable, ChoosesTheBaseUrl) {
  set(nullptr);
  EXPECT_EQ(feed_base_url(), std::string(kDefaultFeedBaseUrl));
  // The built-in base lies under a reserved example domain unless a product team sets its own.
  EXPECT_TRUE(feed_base_url().starts_with("https://"));
  set(L"http://127.0.0.1:9/feed");
  EXPECT_EQ(feed_base_url(), "http://127.0.0.1:9/feed/");
  set(L"http://127.0.0.1:9/feed/");
  EXPECT_EQ(feed_base_url(), "http://127.0.0.1:9/feed/");
  set(L"");
  EXPECT_EQ(feed_base_url(), "/");
  const wchar_t lone_surrogate[] = {L'h', 0xD800, L'x', 0};
  set(lone_surrogate);
  EXPECT_EQ(feed_base_url(), std::string(kDefaultFeedBaseUrl));
}

TEST(ReadEnvironment, LongValuesAndNonAscii) {
  const std::wstring long_value(5000, L'\u00E9');
  SetEnvironmentVariableW(L"QV_TEST_LONG", long_value.c_str());
  EXPECT_EQ(read_environment(L"QV_TEST_LONG"), narrow(long_value));
  SetEnvironmentVariableW(L"QV_TEST_LONG", nullptr);
  EXPECT_EQ(read_environment(L"QV_TEST_LONG"), std::nullopt);
}

class Precheck : public FeedVariable {
 protected:
  void SetUp() override {
    std::lock_guard lock(app_state().state_lock);
    app_state().version_note.clear();
  }
  static void run_on_its_own_thread(const TrustSettings& trust = {}) {
    std::thread([&trust] { run_feed_precheck(trust); }).join();
  }
};

TEST_F(Precheck, PublishesTheVersionNoteAndTellsTheWindow) {
  test::serve_text("/precheck/a/latest.yml",
                   "version: 3.1.0\npath: q.exe\nsha512: x\nfiles:\n  - size: 91234567\n");
  set(widen(test::server_url() + "precheck/a").c_str());  // no trailing slash on purpose
  test::MessageWindow window;
  run_on_its_own_thread();
  EXPECT_TRUE(window.wait_for(MSG_STATE_CHANGED, 5000));
  EXPECT_EQ(snapshot_state().version_note, "Version 3.1.0 - about 87 MB download");
  EXPECT_EQ(test::request_log("/precheck/a/latest.yml").size(), 1u);
}

TEST_F(Precheck, AFeedWithoutSizeOrVersionStillGivesANote) {
  test::serve_text("/precheck/b/latest.yml", "path: q.exe\nsize: 1e9\n");
  set(widen(test::server_url() + "precheck/b/").c_str());
  test::MessageWindow window;
  run_on_its_own_thread();
  EXPECT_TRUE(window.wait_for(MSG_STATE_CHANGED, 5000));
  EXPECT_EQ(snapshot_state().version_note, "Version ");
}

TEST_F(Precheck, FailuresAreSilent) {
  test::MessageWindow window;
  for (const std::string& base :
       {test::server_url() + "precheck/missing/", std::string(""), std::string("ftp://x/")}) {
    set(widen(base).c_str());
    run_on_its_own_thread();
  }
  test::serve_file("/precheck/binary/latest.yml", 2000, 5);
  set(widen(test::server_url() + "precheck/binary/").c_str());
  run_on_its_own_thread();

  EXPECT_TRUE(window.drain().empty());
  EXPECT_EQ(snapshot_state().version_note, "");
}

}  // namespace
}  // namespace qv

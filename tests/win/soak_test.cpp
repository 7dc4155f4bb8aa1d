// Long use in one process: many install runs back to back through the real window and install
// worker against a release server that misbehaves at random from a fixed seed, then many repaints,
// animation ticks and DPI changes. Every handle the owners took must be given back, GDI must have
// as much room left as before, and the download folder must hold only what the rules leave there.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/app_state_win.h"
#include "app/handles_win.h"
#include "app/startup_win.h"
#include "app/text_win.h"
#include "install/install_worker_win.h"
#include "install/location.h"
#include "install/location_win.h"
#include "install_support.h"
#include "net/http_win.h"
#include "test_support.h"
#include "ui/pictures_win.h"
#include "ui/screen_rules.h"
#include "ui/window_win.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 50;
constexpr int kRepaints = 1000;  // one animation tick after each
constexpr char kSetupName[] = "QuorvaneSetup-soak.exe";
constexpr std::uint64_t kSetupSize = 2621440;  // the stand-in, padded past a 2 MiB boundary
const std::string kNoResume = "the download server does not support resuming";

// How the chaos can end a run: a download that failed four times.
const std::set<std::string> kDownloadReasons = {
    "server answered HTTP 500",
    "server answered HTTP 416",
    "download interrupted",
    "the connection closed before the download finished",
    kNoResume,
    "couldn't reach the download server - check your internet connection",
};

std::map<std::string, long> live_handles() {
  std::map<std::string, long> counts;
  for (const LiveHandleCount* c = live_handle_kinds.load(); c; c = c->next) {
    counts[c->kind] = c->live.load();
  }
  return counts;
}

// Kinds first met after `before` started from 0.
bool same_counts(std::map<std::string, long> before, const std::map<std::string, long>& after) {
  for (const auto& [kind, live] : after) before.try_emplace(kind, 0);
  return before == after;
}

std::string describe(const std::map<std::string, long>& counts) {
  std::string text;
  for (const auto& [kind, live] : counts) text += " " + kind + "=" + std::to_string(live);
  return text;
}

// How many more GDI objects this process may create: brushes until the system refuses, all
// deleted again.
std::size_t gdi_headroom() {
  std::vector<OwnedBrush> brushes;
  brushes.reserve(70000);
  while (brushes.size() < 200000) {
    OwnedBrush brush(CreateSolidBrush(RGB(1, 2, 3)));
    if (!brush) break;
    brushes.push_back(std::move(brush));
  }
  return brushes.size();
}

void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Runs the window's messages until `done`; false when `limit_ms` pass first (a hung run).
template <class Done>
bool pump_until(Done done, DWORD limit_ms) {
  const ULONGLONG deadline = GetTickCount64() + limit_ms;
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  pump();
  return true;
}

// What the download folder holds, without the record the stand-in setup program writes beside
// itself.
std::map<std::string, std::uintmax_t> download_folder_files(const std::string& folder) {
  std::map<std::string, std::uintmax_t> files;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(fs::path(widen(folder)), ignored)) {
    const std::string name = narrow(entry.path().filename().wstring());
    if (name != std::string(kSetupName) + ".record") files[name] = entry.file_size(ignored);
  }
  return files;
}

void change_dpi(HWND window, int dpi) {
  RECT suggested{100, 100, 100 + scale(520, dpi), 100 + scale(380, dpi)};
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

// The window's own reaction to the state's news first (it invalidates), then one paint and one
// tick of the animation.
void repaint_and_tick(HWND window) {
  MSG msg;
  while (PeekMessageW(&msg, window, MSG_STATE_CHANGED, MSG_STATE_CHANGED, PM_REMOVE)) {
    DispatchMessageW(&msg);
  }
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  SendMessageW(window, WM_TIMER, TIMER_ANIMATION, 0);
}

// Whatever way the test ends, the window goes before the object its procedure uses.
struct ClosedAtEnd {
  HWND window;
  ~ClosedAtEnd() {
    DestroyWindow(window);
    pump();
    test::reset_shared_state();
  }
};

TEST(Soak, FiftyRunsAndAThousandRepaintsLeaveNothingBehind) {
  AppState& s = app_state();
  // Paths first: they are made under the real temporary folder, which the run then replaces.
  const std::string install_folder = test::scratch_path("soak install");
  const std::string temp = test::scratch_path("soak temp");
  const std::string padded = test::scratch_path("soak setup.exe");
  ASSERT_TRUE(create_folder_tree(temp));
  std::string setup = test::read_file(test::fake_setup_path()).value_or("");
  ASSERT_LT(setup.size(), kSetupSize);
  setup.resize(kSetupSize, '\x5a');  // an appended tail does not change what the program does
  test::write_file(padded, setup);

  const std::string base = "/soak/";
  const std::string setup_url = base + kSetupName;
  test::serve_copy(setup_url, padded);
  test::serve_text(base + "latest.yml", std::string("version: 9.9.9\npath: ") + kSetupName +
                                            "\nsha512: " + test::sha512_base64(padded) +
                                            "\nsize: " + std::to_string(kSetupSize) + "\n");
  test::control("chaos", "path=" + test::url_encode(setup_url) + "&seed=3");
  test::ScopedEnvironment feed(L"ZEL_BOOTSTRAP_FEED_URL", widen(test::server_url() + "soak/"));
  test::ScopedEnvironment tmp(L"TMP", widen(temp));
  test::ScopedEnvironment temp_variable(L"TEMP", widen(temp));
  const std::string download_folder = join_path(temp, kDownloadFolderName);
  const test::ScopedHttpTimeouts short_timeouts({2000, 2000, 2000, 2000});

  set_state(Screen::ChooseLocation, "", "", false);
  s.cancel_requested = false;
  s.progress_permille = 0;
  s.dpi = 96;
  // Static: a run that hangs past the test's end still finds it.
  static std::atomic<int> runs_ended{0};
  runs_ended = 0;
  MainWindow window([](std::string folder) {
    run_install_worker(std::move(folder), {}, [] {});  // no locks, no pause between attempts
    ++runs_ended;
  });
  const HWND main_window = open_main_window(GetModuleHandleW(nullptr), window);
  ASSERT_NE(main_window, nullptr);
  const ClosedAtEnd closed_at_end{main_window};
  if (!s.frames_ready()) decode_pictures_into(s.frames, nullptr);
  ASSERT_TRUE(s.frames_ready());
  SendMessageW(main_window, MSG_FRAMES_READY, 0, 0);

  // Once at every DPI first, so that what lives on (fonts, the frame cache, the link's keyboard
  // stop made at the first failure) exists already.
  set_state(Screen::Failed, "Something went wrong.", "warm-up", true);
  pump();
  for (const int dpi : {144, 192, 96}) {
    change_dpi(main_window, dpi);
    repaint_and_tick(main_window);
  }
  window.retry();
  pump();
  const std::map<std::string, long> handles_before = live_handles();
  const std::size_t headroom_before = gdi_headroom();

  int done = 0;
  std::map<std::string, int> failures;
  for (int run = 0; run < kRuns; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    SetWindowTextW(s.location_edit, widen(install_folder).c_str());
    SendMessageW(main_window, WM_COMMAND, MAKEWPARAM(kActionButtonId, BN_CLICKED), 0);
    ASSERT_EQ(current_screen(), Screen::Downloading);
    ASSERT_TRUE(pump_until([&] { return runs_ended == run + 1; }, 60000)) << "the run hangs";

    const StateSnapshot end = snapshot_state();
    const auto left = download_folder_files(download_folder);
    if (end.screen == Screen::Done) {
      ++done;
      EXPECT_TRUE(left.empty()) << "left after success: " << left.size() << " files";
      // Done ends the process in real use; here the window goes back to the location screen.
      window.retry();
    } else {
      ASSERT_EQ(end.screen, Screen::Failed);
      ++failures[end.detail];
      EXPECT_TRUE(kDownloadReasons.contains(end.detail)) << end.detail;
      if (end.detail == kNoResume) {
        EXPECT_TRUE(left.empty());  // an unhonoured resume deletes the file
      } else {
        // The partial file stays, to be resumed by the next run.
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(left.begin()->first, kSetupName);
        EXPECT_LT(left.begin()->second, kSetupSize);
      }
      SendMessageW(main_window, WM_COMMAND, MAKEWPARAM(kActionButtonId, BN_CLICKED),
                   0);  // Try Again
    }
    pump();
    ASSERT_EQ(current_screen(), Screen::ChooseLocation);
  }
  int resumes = 0;
  for (const auto& row : test::request_log(setup_url)) resumes += !row.range.empty();

  // Every screen painted with a tick after each paint, then the DPI going round 96, 144, 192
  // seven times (the last repaints, one at each step).
  const Screen screens[] = {Screen::ChooseLocation, Screen::Downloading, Screen::Verifying,
                            Screen::Installing,     Screen::Done,        Screen::Failed};
  constexpr int kDpiCycle[] = {144, 192, 96};
  constexpr int kDpiChanges = 21;
  int dpi_changes = 0;
  for (int i = 0; i < kRepaints; ++i) {
    if (i >= kRepaints - kDpiChanges) change_dpi(main_window, kDpiCycle[dpi_changes++ % 3]);
    s.progress_permille = static_cast<std::uint32_t>(i % 1000);
    set_state(screens[i % 6], "Downloading Quorvane 9.9.9...", "1 / 2 MB", i % 6 == 5);
    repaint_and_tick(main_window);
  }
  window.retry();
  pump();
  ASSERT_EQ(s.dpi, 96);

  const std::map<std::string, long> handles_after = live_handles();
  const std::size_t headroom_after = gdi_headroom();
  std::cout << "[   soak   ] " << done << " done, " << kRuns - done << " failed, " << resumes
            << " resumed requests, " << dpi_changes << " DPI changes\n";
  for (const auto& [reason, count] : failures) {
    std::cout << "[   soak   ]   " << count << " x " << reason << "\n";
  }
  std::cout << "[   soak   ] live handles before:" << describe(handles_before) << "\n"
            << "[   soak   ] live handles after: " << describe(handles_after) << "\n"
            << "[   soak   ] GDI headroom before " << headroom_before << ", after "
            << headroom_after << "\n";

  // The chaos did its work: runs failed, kept files were resumed, and runs still succeeded.
  EXPECT_GT(done, 0);
  EXPECT_GT(kRuns - done, 0);
  EXPECT_GT(resumes, 0);
  EXPECT_TRUE(same_counts(handles_before, handles_after))
      << "before:" << describe(handles_before) << "\nafter: " << describe(handles_after);
  EXPECT_EQ(headroom_after, headroom_before);
  EXPECT_GT(headroom_before, 60000u);  // the measure reaches the system's limit
}

}  // namespace
}  // namespace qv

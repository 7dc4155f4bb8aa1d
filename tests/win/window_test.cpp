// The real main window under Wine: start-up layout, the window procedure's screens, closing,
// DPI changes, hit testing, and the painted pixels of every screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "app/app_state_win.h"
#include "app/startup_win.h"
#include "app/system_library_win.h"
#include "app/text_win.h"
#include "install/busy_wait_win.h"
#include "install/install_worker_win.h"
#include "install/location.h"
#include "install/location_win.h"
#include "install_support.h"

#include "test_support.h"
#include "ui/layout.h"
#include "ui/pictures_win.h"
#include "ui/render_win.h"
#include "ui/screen_rules.h"
#include "ui/window_win.h"

namespace qv {

// Readable colours in failure messages.
void PrintTo(Rgb c, std::ostream* os) {
  *os << "rgb(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << ")";
}

namespace {

void reset_state() {
  test::reset_shared_state();
}

UINT_PTR quit_code = 0;
bool quit_seen = false;

// Runs the window's messages (as the entry's loop would) until `done` or the timeout.
template <class Done>
bool pump_until(Done done, DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  MSG msg;
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit_seen = true;
        quit_code = msg.wParam;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_state();
    main_ = open_main_window(GetModuleHandleW(nullptr), window_);
    ASSERT_NE(main_, nullptr);
  }
  void TearDown() override {
    if (IsWindow(main_)) DestroyWindow(main_);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }  // includes the WM_QUIT that WM_DESTROY posts
    app_state().main_window = nullptr;
    reset_state();
  }

  // A child's rectangle in the main window's client coordinates.
  static Box child_box(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, app_state().main_window, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
  }
  static std::string text_of(HWND w) {
    wchar_t buffer[256] = {};
    GetWindowTextW(w, buffer, 256);
    return narrow(buffer);
  }
  LRESULT hit(int client_x, int client_y) {
    POINT p{client_x, client_y};
    ClientToScreen(main_, &p);
    return SendMessageW(main_, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
  }

  // Counts the runs that Install starts; these tests click Install only where none may start.
  static inline std::atomic<int> runs_started{0};
  MainWindow window_{[](std::string) { ++runs_started; }};
  HWND main_ = nullptr;
};

TEST_F(WindowTest, OpensCentredWithTheControlsInPlace) {
  const AppState& s = app_state();
  ASSERT_EQ(s.dpi, 96);
  RECT r{};
  GetWindowRect(main_, &r);
  EXPECT_EQ(r.right - r.left, 520);
  EXPECT_EQ(r.bottom - r.top, 380);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 520) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 380) / 2);
  EXPECT_EQ(GetWindowLongW(main_, GWL_STYLE) & (WS_CAPTION | WS_BORDER | WS_SYSMENU), 0);
  EXPECT_EQ(text_of(main_), "Quorvane Setup");
  wchar_t class_name[64] = {};
  GetClassNameW(main_, class_name, 64);
  EXPECT_EQ(narrow(class_name), "QuorvaneInstallerWindow");

  EXPECT_EQ(child_box(s.location_edit), (Box{50, 212, 302, 242}));
  EXPECT_EQ(child_box(s.browse_button), (Box{310, 210, 348, 244}));
  EXPECT_EQ(child_box(s.action_button), (Box{358, 210, 470, 244}));
  EXPECT_EQ(GetDlgCtrlID(s.location_edit), 102);
  EXPECT_EQ(GetDlgCtrlID(s.browse_button), 103);
  EXPECT_EQ(GetDlgCtrlID(s.action_button), 101);
  EXPECT_TRUE(IsWindowVisible(s.location_edit));
  EXPECT_EQ(text_of(s.action_button), "Install");
  EXPECT_EQ(GetFocus(), s.action_button);
  const std::string folder = text_of(s.location_edit);
  EXPECT_TRUE(folder.ends_with("\\Programs\\Quorvane")) << folder;
  // The edit field got the body font; every font was made with its height and weight.
  const auto made = [](HFONT f) {
    LOGFONTW font{};
    GetObjectW(f, sizeof font, &font);
    return std::pair{font.lfHeight, font.lfWeight};
  };
  EXPECT_EQ(made(reinterpret_cast<HFONT>(SendMessageW(s.location_edit, WM_GETFONT, 0, 0))),
            std::pair(-15L, 400L));
  EXPECT_EQ(made(s.font_body.get()), std::pair(-15L, 400L));
  EXPECT_EQ(made(s.font_small.get()), std::pair(-12L, 400L));
  EXPECT_EQ(made(s.font_button.get()), std::pair(-14L, 700L));
  EXPECT_EQ(made(s.font_title.get()), std::pair(-29L, 700L));
}

TEST_F(WindowTest, HitTestingDragsByTheBandButNotTheCloseBox) {
  EXPECT_EQ(hit(10, 10), HTCAPTION);
  EXPECT_EQ(hit(300, 167), HTCAPTION);
  EXPECT_EQ(hit(300, 168), HTCLIENT);
  EXPECT_EQ(hit(490, 20), HTCLIENT);
  EXPECT_EQ(hit(490, 40), HTCAPTION);
}

TEST_F(WindowTest, ClosingFollowsTheScreen) {
  // Asking to close and Escape (the dialog manager's IDCANCEL) do the same on every screen.
  for (const WPARAM escape : {WPARAM{0}, WPARAM{IDCANCEL}}) {
    const auto ask = [&] {
      if (escape) {
        SendMessageW(main_, WM_COMMAND, escape, 0);
      } else {
        SendMessageW(main_, WM_CLOSE, 0, 0);
      }
    };
    app_state().cancel_requested = false;
    set_state(Screen::Verifying, "Verifying the download...", "", false);
    ask();
    set_state(Screen::Installing, "Installing Quorvane 1.0...", "", false);
    ask();
    EXPECT_TRUE(IsWindow(main_));
    EXPECT_FALSE(app_state().cancel_requested);

    set_state(Screen::Downloading, "Starting...", "", false);
    ask();
    EXPECT_TRUE(IsWindow(main_));
    EXPECT_TRUE(app_state().cancel_requested);
  }

  // A release over the close box posts WM_CLOSE; on the location screen that destroys.
  set_state(Screen::ChooseLocation, "", "", false);
  SendMessageW(main_, WM_LBUTTONUP, 0, MAKELPARAM(500, 20));
  quit_seen = false;
  EXPECT_TRUE(pump_until([&] { return !IsWindow(main_); }, 5000));
  pump_until([] { return quit_seen; }, 5000);
  EXPECT_TRUE(quit_seen);
  EXPECT_EQ(quit_code, 0u);
}

TEST_F(WindowTest, CanceledRunReturnsToTheLocationScreen) {
  const AppState& s = app_state();
  ShowWindow(s.location_edit, SW_HIDE);
  ShowWindow(s.browse_button, SW_HIDE);
  ShowWindow(s.action_button, SW_HIDE);
  set_state(Screen::Downloading, "Downloading Quorvane 1.0...", "12 MB of 80 MB", false);
  SendMessageW(main_, MSG_RUN_FINISHED, kRunCanceled, 0);
  const StateSnapshot state = snapshot_state();
  EXPECT_EQ(state.screen, Screen::ChooseLocation);
  EXPECT_EQ(state.status, "");
  EXPECT_EQ(state.detail, "");
  EXPECT_TRUE(IsWindowVisible(s.location_edit));
  EXPECT_TRUE(IsWindowVisible(s.browse_button));
  EXPECT_TRUE(IsWindowVisible(s.action_button));
  EXPECT_EQ(child_box(s.action_button), (Box{358, 210, 470, 244}));
}

TEST_F(WindowTest, FailureOffersTryAgainAndRetryRestoresTheField) {
  const AppState& s = app_state();
  ShowWindow(s.location_edit, SW_HIDE);
  ShowWindow(s.browse_button, SW_HIDE);
  ShowWindow(s.action_button, SW_HIDE);
  set_state(Screen::Failed, "Something went wrong.", "couldn't create a temp folder", true);
  SendMessageW(main_, MSG_STATE_CHANGED, 0, 0);
  EXPECT_EQ(child_box(s.action_button), (Box{50, 284, 200, 318}));
  EXPECT_TRUE(IsWindowVisible(s.action_button));
  EXPECT_FALSE(IsWindowVisible(s.location_edit));
  EXPECT_EQ(text_of(s.action_button), "Try Again");
  // The link's keyboard stop lies over the painted link, after Try Again.
  const HWND link = GetDlgItem(main_, kLinkId);
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(IsWindowVisible(link));
  EXPECT_EQ(child_box(link), (Box{50, 330, 470, 352}));
  EXPECT_EQ(GetNextDlgTabItem(main_, s.action_button, FALSE), link);

  // A DPI change keeps the button in its place at the new scale.
  RECT suggested{100, 100, 880, 670};
  SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(child_box(s.action_button), (Box{75, 426, 300, 477}));
  EXPECT_EQ(child_box(link), (Box{75, 495, 705, 528}));
  RECT r{};
  GetWindowRect(main_, &r);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.right - r.left, 780);
  EXPECT_EQ(r.bottom - r.top, 570);
  LOGFONTW font{};
  GetObjectW(s.font_title.get(), sizeof font, &font);
  EXPECT_EQ(font.lfHeight, -43);

  SendMessageW(main_, WM_COMMAND, MAKEWPARAM(kActionButtonId, BN_CLICKED), 0);
  EXPECT_EQ(current_screen(), Screen::ChooseLocation);
  EXPECT_TRUE(IsWindowVisible(s.location_edit));
  EXPECT_EQ(child_box(s.location_edit), (Box{75, 318, 453, 363}));
  EXPECT_EQ(child_box(s.action_button), (Box{537, 315, 705, 366}));
  EXPECT_EQ(text_of(s.action_button), "Install");
  EXPECT_FALSE(IsWindowVisible(link));
}

TEST_F(WindowTest, SuccessOffersLaunchAndClosingDoesNotLaunch) {
  const AppState& s = app_state();
  set_launch_path("C:\\nowhere\\Quorvane.exe");
  set_state(Screen::Done, "You're all set.", "Quorvane is installed and ready.", false);
  SendMessageW(main_, MSG_RUN_FINISHED, kRunSucceeded, 0);
  EXPECT_EQ(child_box(s.action_button), (Box{50, 280, 234, 318}));
  EXPECT_TRUE(IsWindowVisible(s.action_button));
  EXPECT_EQ(GetFocus(), s.action_button);
  EXPECT_EQ(text_of(s.action_button), "Launch Quorvane");
  SendMessageW(main_, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(main_));
  EXPECT_FALSE(s.launch_started);
}

TEST_F(WindowTest, WithNothingToLaunchTheTimerJustEndsTheWindow) {
  ShowWindow(app_state().action_button, SW_HIDE);  // as the Install click left it
  set_state(Screen::Done, "Quorvane is installed.", "You can close this window.", false);
  SendMessageW(main_, MSG_RUN_FINISHED, kRunSucceeded, 0);
  EXPECT_FALSE(IsWindowVisible(app_state().action_button));  // nothing to launch: no button
  SendMessageW(main_, WM_COMMAND, IDOK, 0);                  // so Enter does nothing either
  EXPECT_TRUE(IsWindow(main_));
  EXPECT_FALSE(app_state().launch_started);
  SendMessageW(main_, WM_TIMER, TIMER_AUTOLAUNCH, 0);
  EXPECT_TRUE(app_state().launch_started);
  EXPECT_FALSE(IsWindow(main_));
}

TEST_F(WindowTest, ALaunchThatFailsIsNoSuccessAndTheButtonTriesAgain) {
  const AppState& s = app_state();
  const std::string product = test::scratch_path("launch") + "\\Quorvane.exe";
  ASSERT_TRUE(create_folder_tree(*parent_folder(product)));
  ASSERT_TRUE(CopyFileW(widen(test::fake_setup_path()).c_str(), widen(product).c_str(), FALSE));
  set_launch_path(product + ".gone");
  set_state(Screen::Done, "You're all set.", "Quorvane is installed and ready.", false);
  SendMessageW(main_, MSG_RUN_FINISHED, kRunSucceeded, 0);
  const auto detail = [] { return snapshot_state().detail; };
  const auto press_launch = [&] {
    SendMessageW(main_, WM_COMMAND, MAKEWPARAM(kActionButtonId, BN_CLICKED), 0);
  };

  // A product that is not there fails at once, with no wait, and Done stays; the click has
  // disarmed the automatic launch, which would otherwise start it behind the message.
  press_launch();
  EXPECT_EQ(detail(), kLaunchFailedDetail);
  EXPECT_TRUE(IsWindow(main_));
  EXPECT_FALSE(KillTimer(main_, TIMER_AUTOLAUNCH));

  // A scanner holds the product past the (shortened) bound: the window waits by its timer,
  // saying so, then stays on Done with the Launch button and the reason.
  set_launch_path(product);
  test_busy_bound_ms = 500;
  {
    OwnedFile scanner(
        CreateFileW(widen(product).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(scanner);
    press_launch();
    EXPECT_EQ(detail(), kWaitingForProduct);
    SendMessageW(main_, WM_TIMER, TIMER_AUTOLAUNCH, 0);  // the timer meanwhile: no second try
    EXPECT_TRUE(pump_until([&] { return detail() == kLaunchFailedDetail; }, 10000));
  }
  test_busy_bound_ms.reset();
  EXPECT_TRUE(IsWindow(main_));
  EXPECT_EQ(current_screen(), Screen::Done);
  EXPECT_TRUE(IsWindowVisible(s.action_button));
  EXPECT_FALSE(s.launch_started);
  EXPECT_FALSE(test::read_setup_record(product).has_value());  // it never ran

  // Let go of: the button launches it, once, and the window ends.
  press_launch();
  EXPECT_TRUE(s.launch_started);
  EXPECT_FALSE(IsWindow(main_));
  EXPECT_TRUE(pump_until([&] { return test::read_setup_record(product).has_value(); }, 10000));
  EXPECT_TRUE(test::read_setup_record(product)->command_line.starts_with("\"" + product + "\""));
}

// What a screen reader does while the folder picker is open, from inside the picker's own loop.
struct ReaderDuringPicker {
  static inline HWND main = nullptr;
  static inline bool window_enabled = true;
  static inline LONG action_state = 0;
  static inline HRESULT pressed = S_OK;
  static inline bool picker_titled = false;  // the picker says what it is for

  static void CALLBACK act(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    window_enabled = IsWindowEnabled(main) != FALSE;
    // The reader asks the action button for its object, reads its state and presses it.
    using FromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    const auto from_window = reinterpret_cast<FromWindow>(reinterpret_cast<void*>(
        GetProcAddress(LoadLibraryW(L"oleacc.dll"), "AccessibleObjectFromWindow")));
    static const GUID kIidAccessible{
        0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    IAccessible* object = nullptr;
    if (from_window && SUCCEEDED(from_window(app_state().action_button, OBJID_CLIENT,
                                             kIidAccessible, reinterpret_cast<void**>(&object)))) {
      VARIANT self{};
      self.vt = VT_I4;
      self.lVal = CHILDID_SELF;
      VARIANT state{};
      if (SUCCEEDED(object->get_accState(self, &state)) && state.vt == VT_I4) {
        action_state = state.lVal;
      }
      pressed = object->accDoDefaultAction(self);
      object->Release();
    }
    // Anything else posted to the window meanwhile, as a click on Install would arrive.
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(kActionButtonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(app_state().action_button));
    // The picker is a dialog of this thread.
    HWND picker = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM found) -> BOOL {
          wchar_t name[16] = {};
          GetClassNameW(window, name, 16);
          if (std::wstring_view(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
          *reinterpret_cast<HWND*>(found) = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&picker));
    if (!picker) return;
    picker_titled = FindWindowExW(picker, nullptr, nullptr, L"Choose where to install Quorvane");
    PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
  }
};

TEST_F(WindowTest, WhileTheFolderPickerIsOpenAReadersPressStartsNothing) {
  ReaderDuringPicker::main = main_;
  SetTimer(nullptr, 0, 1500, &ReaderDuringPicker::act);
  // Returns once the picker is closed; the timer fires inside its loop.
  SendMessageW(main_, WM_COMMAND, MAKEWPARAM(kBrowseButtonId, BN_CLICKED), 0);
  pump_until([] { return false; }, 500);  // whatever the picker's loop left queued
  EXPECT_FALSE(ReaderDuringPicker::window_enabled);
  EXPECT_NE(ReaderDuringPicker::action_state & STATE_SYSTEM_UNAVAILABLE, 0);
  EXPECT_TRUE(FAILED(ReaderDuringPicker::pressed));
  EXPECT_TRUE(ReaderDuringPicker::picker_titled);
  EXPECT_EQ(current_screen(), Screen::ChooseLocation);
  EXPECT_EQ(runs_started, 0);
  EXPECT_TRUE(IsWindowEnabled(main_));
}

TEST_F(WindowTest, BlankFolderMakesInstallDoNothing) {
  SetWindowTextW(app_state().location_edit, L" \t\u3000 ");
  SendMessageW(main_, WM_COMMAND, MAKEWPARAM(kActionButtonId, BN_CLICKED), 0);
  SendMessageW(main_, WM_COMMAND, IDOK, 0);  // Enter
  EXPECT_EQ(current_screen(), Screen::ChooseLocation);
  EXPECT_TRUE(IsWindowVisible(app_state().action_button));
  EXPECT_EQ(runs_started, 0);
}

TEST_F(WindowTest, CtrlASelectsTheFieldAndEnterThereActsAsInstall) {
  const HWND field = app_state().location_edit;
  SetWindowTextW(field, L"D:\\Old\\Quorvane");
  SendMessageW(field, EM_SETSEL, 3, 3);
  SendMessageW(field, WM_CHAR, 1, 0);  // what Ctrl+A types
  DWORD start = 99;
  DWORD end = 99;
  SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 15u);
  EXPECT_EQ(text_of(field), "D:\\Old\\Quorvane");  // selected, not typed into

  SetFocus(field);
  const int before = runs_started;
  SendMessageW(main_, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(current_screen(), Screen::Downloading);
  EXPECT_TRUE(pump_until([&] { return runs_started == before + 1; }, 5000));
}

// The animation timer runs exactly while the frames are ready, the system's client-area
// animation setting is on and the window is not minimised; it lives on the main window.
TEST_F(WindowTest, AnimationTimerFollowsFramesSettingAndMinimising) {
  AppState& s = app_state();
  if (!s.frames_ready()) decode_pictures_into(s.frames, nullptr);
  ASSERT_TRUE(s.frames_ready());
  BOOL setting_before = TRUE;
  SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &setting_before, 0);

  SendMessageW(main_, MSG_FRAMES_READY, 0, 0);
  EXPECT_TRUE(s.anim_timer_running);

  ShowWindow(main_, SW_MINIMIZE);
  EXPECT_FALSE(s.anim_timer_running);
  ShowWindow(main_, SW_RESTORE);
  EXPECT_TRUE(s.anim_timer_running);

  SystemParametersInfoW(SPI_SETCLIENTAREAANIMATION, 0, reinterpret_cast<void*>(FALSE), 0);
  BOOL now = TRUE;
  SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &now, 0);
  if (!now) {  // the setting can be switched in this environment
    SendMessageW(main_, WM_SETTINGCHANGE, SPI_SETCLIENTAREAANIMATION, 0);
    EXPECT_FALSE(s.animations_enabled);
    EXPECT_FALSE(s.anim_timer_running);
    SystemParametersInfoW(SPI_SETCLIENTAREAANIMATION, 0, reinterpret_cast<void*>(TRUE), 0);
    SendMessageW(main_, WM_SETTINGCHANGE, SPI_SETCLIENTAREAANIMATION, 0);
    EXPECT_TRUE(s.animations_enabled);
    EXPECT_TRUE(s.anim_timer_running);
  }
  SystemParametersInfoW(SPI_SETCLIENTAREAANIMATION, 0,
                        reinterpret_cast<void*>(static_cast<INT_PTR>(setting_before)), 0);

  // Each tick steps the frame, wrapping after the last.
  s.anim_frame = 286;
  SendMessageW(main_, WM_TIMER, TIMER_ANIMATION, 0);
  SendMessageW(main_, WM_TIMER, TIMER_ANIMATION, 0);
  EXPECT_EQ(s.anim_frame, 0u);

  // The running timer is the main window's own, not a thread timer.
  EXPECT_TRUE(KillTimer(main_, TIMER_ANIMATION));
  s.anim_timer_running = false;
}

// Before the window is recorded (its creation sends WM_SIZE) there is nothing to animate and
// nothing to invalidate: other windows are left alone and no timer is set anywhere.
TEST(WindowAnimation, NothingHappensBeforeTheMainWindowIsRecorded) {
  AppState& s = app_state();
  if (!s.frames_ready()) decode_pictures_into(s.frames, nullptr);
  ASSERT_EQ(s.main_window, nullptr);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200,
                                     nullptr, nullptr, instance, nullptr);
  ASSERT_NE(other, nullptr);
  ValidateRect(other, nullptr);
  ASSERT_FALSE(GetUpdateRect(other, nullptr, FALSE));

  MainWindow window([](std::string) {});
  ASSERT_TRUE(MainWindow::register_class(instance, nullptr, nullptr));
  const HWND made = window.create(instance);
  ASSERT_NE(made, nullptr);
  SendMessageW(made, WM_SIZE, SIZE_RESTORED, MAKELPARAM(520, 380));
  SendMessageW(made, MSG_FRAMES_READY, 0, 0);
  EXPECT_FALSE(s.anim_timer_running);
  EXPECT_FALSE(KillTimer(made, TIMER_ANIMATION));
  EXPECT_FALSE(GetUpdateRect(other, nullptr, FALSE));
  DestroyWindow(made);
  DestroyWindow(other);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }  // the WM_QUIT that WM_DESTROY posts
  s.anim_timer_running = false;
}

// The window object may go before its window (a test, or the owner's end): nothing that reaches
// the window or its controls afterwards finds the object's memory.
TEST(WindowTeardown, TheObjectGoingFirstLeavesNoHookBehind) {
  reset_state();
  auto window = std::make_unique<MainWindow>([](std::string) {});
  const HWND main = open_main_window(GetModuleHandleW(nullptr), *window);
  ASSERT_NE(main, nullptr);
  const AppState& s = app_state();
  const HWND controls[] = {s.location_edit, s.browse_button, s.action_button};
  window.reset();
  EXPECT_EQ(GetWindowLongPtrW(main, GWLP_USERDATA), 0);
  for (const HWND control : controls) {
    EXPECT_EQ(GetWindowLongPtrW(control, GWLP_WNDPROC), GetClassLongPtrW(control, GCLP_WNDPROC));
    EXPECT_EQ(GetWindowLongPtrW(control, GWLP_USERDATA), 0);
  }
  DestroyWindow(main);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }  // the WM_QUIT that WM_DESTROY posts
  app_state().main_window = nullptr;
  reset_state();
}

TEST(WindowRun, InstallRunsTheWorkerToTheFailedScreen) {
  reset_state();
  MainWindow window([](std::string folder) { run_install_worker(std::move(folder), {}); });
  const HWND main_ = open_main_window(GetModuleHandleW(nullptr), window);
  ASSERT_NE(main_, nullptr);
  // A real run against the release server, whose feed is missing: the run ends on Failed.
  const std::string base = test::server_url() + "window-run-missing/";
  SetEnvironmentVariableW(L"ZEL_BOOTSTRAP_FEED_URL", widen(base).c_str());
  const auto folder = std::filesystem::temp_directory_path() / "qv-window-run";
  SetWindowTextW(app_state().location_edit, (L"  " + folder.wstring() + L" ").c_str());
  SendMessageW(main_, WM_COMMAND, MAKEWPARAM(kActionButtonId, BN_CLICKED), 0);
  EXPECT_FALSE(IsWindowVisible(app_state().location_edit));
  EXPECT_FALSE(IsWindowVisible(app_state().action_button));
  EXPECT_EQ(current_screen(), Screen::Downloading);
  SendMessageW(main_, WM_COMMAND, MAKEWPARAM(kActionButtonId, BN_CLICKED), 0);  // ignored

  EXPECT_TRUE(pump_until([] { return current_screen() == Screen::Failed; }, 20000));
  EXPECT_TRUE(std::filesystem::is_directory(folder));  // the trimmed text was used
  pump_until([] { return IsWindowVisible(app_state().action_button) != FALSE; }, 5000);
  EXPECT_TRUE(IsWindowVisible(app_state().action_button));
  EXPECT_TRUE(snapshot_state().show_full_installer_link);
  SetEnvironmentVariableW(L"ZEL_BOOTSTRAP_FEED_URL", nullptr);
  DestroyWindow(main_);
  pump_until([] { return true; }, 0);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  app_state().main_window = nullptr;
  reset_state();
}

// ---- Painting ----

class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h), dc_(CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<const std::uint32_t*>(bits);
    old_ = SelectObject(dc_.get(), bitmap_.get());
  }
  ~Canvas() { SelectObject(dc_.get(), old_); }
  HDC dc() const { return dc_.get(); }
  int width() const { return w_; }
  int height() const { return h_; }
  Rgb at(int x, int y) const {
    GdiFlush();
    return pixel(x, y);
  }
  int count(Box box, Rgb colour) const {
    GdiFlush();
    int n = 0;
    for (int y = box.top; y < box.bottom; ++y)
      for (int x = box.left; x < box.right; ++x) n += pixel(x, y) == colour;
    return n;
  }
  // The smallest box around the pixels of `box` that differ from `other`'s; empty if none do.
  Box changed_from(const Canvas& other, Box box) const {
    GdiFlush();
    Box found{box.right, box.bottom, box.left, box.top};
    for (int y = box.top; y < box.bottom; ++y)
      for (int x = box.left; x < box.right; ++x)
        if (!(pixel(x, y) == other.pixel(x, y))) {
          found = {std::min(found.left, x), std::min(found.top, y), std::max(found.right, x + 1),
                   std::max(found.bottom, y + 1)};
        }
    return found;
  }
  // A BMP file of the pixels, for people to look at.
  void save(const std::filesystem::path& path) const {
    GdiFlush();
    const auto size = static_cast<DWORD>(w_ * h_ * 4);
    constexpr DWORD kHeaders = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    const BITMAPINFOHEADER info{sizeof info, w_, -h_, 1, 32, BI_RGB, size, 0, 0, 0, 0};
    const BITMAPFILEHEADER file{0x4D42, kHeaders + size, 0, 0, kHeaders};  // "BM"
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(&file), sizeof file);
    f.write(reinterpret_cast<const char*>(&info), sizeof info);
    // GDI leaves the fourth byte 0, which viewers would read as fully transparent.
    std::vector<std::uint32_t> opaque(bits_, bits_ + w_ * h_);
    for (std::uint32_t& v : opaque) v |= 0xFF000000u;
    f.write(reinterpret_cast<const char*>(opaque.data()), size);
  }

 private:
  int w_, h_;
  OwnedMemoryDc dc_;
  OwnedBitmap bitmap_;
  const std::uint32_t* bits_ = nullptr;
  HGDIOBJ old_ = nullptr;

  Rgb pixel(int x, int y) const {
    const std::uint32_t v = bits_[y * w_ + x];
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
  }
};

void fill_rect(HDC dc, Box box, Rgb colour) {
  const OwnedBrush brush(CreateSolidBrush(colorref(colour)));
  const RECT r{box.left, box.top, box.right, box.bottom};
  FillRect(dc, &r, brush.get());
}

// Where rendered windows are kept for people to look at (QV_SCREENS_DIR, set by ctest); nowhere
// without it.
std::optional<std::filesystem::path> screens_folder() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(L"QV_SCREENS_DIR", buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::nullopt;
  std::filesystem::path folder(buffer);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return folder;
}

bool close_to(Rgb a, Rgb b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}
Rgb tinted(Rgb bg) {
  const auto mix = [](int d, int s) { return static_cast<std::uint8_t>((s * 42 + d * 213) / 255); };
  return {mix(bg.r, COLOR_CARD_TINT.r), mix(bg.g, COLOR_CARD_TINT.g), mix(bg.b, COLOR_CARD_TINT.b)};
}

// A screen with the texts a real run puts on it.
struct ScreenCase {
  const char* name;
  Screen screen;
  const char* status;
  const char* detail;
  std::uint32_t permille = 0;
  std::uint32_t marquee = 0;
};
const ScreenCase kChoose{"choose", Screen::ChooseLocation, "", ""};
const ScreenCase kDownloading{"downloading", Screen::Downloading, "Downloading Quorvane 4.5.6...",
                              "38 / 80 MB \u00b7 2.4 MB/s \u00b7 ~17s left", 500};
const ScreenCase kChecking{"checking", Screen::Downloading, "Checking the latest version...", "", 0,
                           500};  // the moving segment at 197..323
const ScreenCase kVerifying{"verifying", Screen::Verifying, "Verifying the download...", "", 0,
                            500};
const ScreenCase kInstalling{"installing",
                             Screen::Installing,
                             "Installing Quorvane 4.5.6...",
                             "Setting things up \u2014 please keep this window open.",
                             0,
                             500};
const ScreenCase kDone{"done", Screen::Done, "You're all set.", "Quorvane is installed and ready."};
const ScreenCase kFailed{
    "failed", Screen::Failed, "Something went wrong.",
    "the download failed verification (checksum mismatch), so it was discarded"};
// The lines of a wait for a held file and of a product that would not start.
const ScreenCase kWaiting{
    "waiting", Screen::Verifying, "Verifying the download...", kWaitingForDownload.data(), 0, 500};
const ScreenCase kNotLaunched{"not launched", Screen::Done, "You're all set.",
                              kLaunchFailedDetail.data()};

class PaintTest : public WindowTest {
 protected:
  void paint(Canvas& c) {
    const int dpi = app_state().dpi;
    window_.render(c.dc(), scale(520, dpi), scale(380, dpi));
  }

  // The whole window as the screen shows it: the client area, then each visible child drawn into
  // its place and clipped to its window region (the buttons through the window's own
  // WM_DRAWITEM).
  void paint_with_controls(Canvas& c) {
    paint(c);
    const AppState& s = app_state();
    for (const HWND child : {s.location_edit, s.browse_button, s.action_button}) {
      if (!IsWindowVisible(child)) continue;
      const Box b = child_box(child);
      const OwnedRegion clip(CreateRectRgn(0, 0, 0, 0));
      if (clip && GetWindowRgn(child, clip.get()) != ERROR) {
        OffsetRgn(clip.get(), b.left, b.top);
        SelectClipRgn(c.dc(), clip.get());
      }
      POINT origin{};
      SetViewportOrgEx(c.dc(), b.left, b.top, &origin);
      if (child == s.location_edit) {
        SendMessageW(child, WM_PRINT, reinterpret_cast<WPARAM>(c.dc()),
                     PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
      } else {  // Wine's buttons do not owner-draw when printed: asked as the system asks
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = static_cast<UINT>(GetDlgCtrlID(child));
        item.itemAction = ODA_DRAWENTIRE;
        item.hwndItem = child;
        item.hDC = c.dc();
        item.rcItem = RECT{0, 0, b.width(), b.height()};
        SendMessageW(main_, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
      }
      SetViewportOrgEx(c.dc(), origin.x, origin.y, nullptr);
      SelectClipRgn(c.dc(), nullptr);
    }
  }

  // A screen as a run shows it: its state, and its child controls laid out and shown as the
  // window does.
  static void show(const ScreenCase& c) {
    AppState& s = app_state();
    set_version_note("Version 4.5.6 - about 8 MB download");
    set_state(c.screen, c.status, c.detail, c.screen == Screen::Failed);
    s.progress_permille = c.permille;
    s.marquee_pos = c.marquee;
    for (const HWND child : {s.location_edit, s.browse_button, s.action_button}) {
      ShowWindow(child, c.screen == Screen::ChooseLocation ? SW_SHOW : SW_HIDE);
    }
    switch (layout_for_screen(c.screen)) {
      case ControlLayout::Location:
        layout_location_controls();
        break;
      case ControlLayout::Launch:
        layout_launch_button();
        ShowWindow(s.action_button, SW_SHOW);
        break;
      case ControlLayout::Retry:
        layout_retry_button();  // shows it
        break;
    }
  }
};

TEST_F(PaintTest, CardRuleTitleAndLocationTextsAt96) {
  Canvas bg(520, 380), full(520, 380);
  draw_background(bg.dc(), 520, 380);
  paint(full);
  EXPECT_FALSE((bg.at(10, 370) == Rgb{0, 0, 0}));  // the background is there
  EXPECT_EQ(full.at(10, 370), bg.at(10, 370));
  EXPECT_EQ(full.at(200, 111), COLOR_ACCENT);
  EXPECT_EQ(full.at(150, 110), COLOR_ACCENT);
  EXPECT_EQ(full.at(345, 112), COLOR_ACCENT);
  EXPECT_EQ(full.at(346, 111), bg.at(346, 111));
  EXPECT_EQ(full.at(200, 113), bg.at(200, 113));
  EXPECT_EQ(full.at(28, 263), COLOR_CARD_BORDER);   // left outline
  EXPECT_EQ(full.at(491, 263), COLOR_CARD_BORDER);  // right outline
  EXPECT_EQ(full.at(250, 170), COLOR_CARD_BORDER);  // top outline
  EXPECT_EQ(full.at(27, 263), bg.at(27, 263));
  EXPECT_TRUE(close_to(full.at(480, 290), tinted(bg.at(480, 290)), 2));
  EXPECT_GT(full.count({148, 72, 340, 105}, COLOR_TEXT), 50);  // title glyphs
  EXPECT_GT(full.count({50, 186, 200, 204}, COLOR_TEXT), 10);  // "Install location"
  EXPECT_GT(full.count({492, 10, 512, 32}, COLOR_MUTED), 3);   // close glyph
}

TEST_F(PaintTest, ProgressFillMarqueeAndCloseGlyphByScreen) {
  Canvas bg(520, 380);
  draw_background(bg.dc(), 520, 380);
  {
    set_state(Screen::Downloading, "Downloading...", "", false);
    app_state().progress_permille = 500;
    Canvas c(520, 380);
    paint(c);
    EXPECT_EQ(c.at(100, 319), COLOR_ACCENT);
    EXPECT_EQ(c.at(259, 319), COLOR_ACCENT);
    EXPECT_EQ(c.at(261, 319), COLOR_TRACK);
    EXPECT_EQ(c.count({50, 314, 470, 324}, COLOR_MARQUEE), 0);
  }
  {
    set_state(Screen::Verifying, "Verifying the download...", "", false);
    app_state().marquee_pos = 500;  // segment 197..323
    Canvas c(520, 380);
    paint(c);
    EXPECT_EQ(c.at(198, 319), COLOR_MARQUEE);
    EXPECT_EQ(c.at(322, 319), COLOR_MARQUEE);
    EXPECT_EQ(c.at(150, 319), COLOR_TRACK);
    EXPECT_EQ(c.at(330, 319), COLOR_TRACK);
    EXPECT_EQ(c.count({492, 10, 512, 32}, COLOR_MUTED), 0);  // no close glyph
    EXPECT_GT(c.count({50, 192, 250, 210}, COLOR_TEXT), 10);
  }
  {
    set_state(Screen::Failed, "Something went wrong.", "couldn't create a temp folder", true);
    Canvas c(520, 380);
    paint(c);
    EXPECT_GT(c.count({50, 192, 250, 210}, COLOR_ERROR), 10);
    EXPECT_EQ(c.count({50, 192, 250, 210}, COLOR_TEXT), 0);
    EXPECT_GT(c.count({50, 330, 250, 346}, COLOR_LINK), 5);
    EXPECT_EQ(c.count({50, 314, 470, 324}, COLOR_TRACK), 0);  // no progress bar
  }
}

TEST_F(PaintTest, GeometryAt144) {
  AppState& s = app_state();
  s.dpi = 144;
  create_fonts(s.dpi);
  Canvas bg(780, 570), c(780, 570);
  draw_background(bg.dc(), 780, 570);
  set_state(Screen::Downloading, "Downloading...", "", false);
  s.progress_permille = 333;  // fill 75..284
  paint(c);
  EXPECT_EQ(c.at(42, 394), COLOR_CARD_BORDER);
  EXPECT_EQ(c.at(737, 394), COLOR_CARD_BORDER);
  EXPECT_EQ(c.at(41, 394), bg.at(41, 394));
  EXPECT_TRUE(close_to(c.at(43, 394), tinted(bg.at(43, 394)), 1));
  EXPECT_EQ(c.at(300, 165), COLOR_ACCENT);
  EXPECT_EQ(c.at(518, 168), COLOR_ACCENT);
  EXPECT_EQ(c.at(300, 169), bg.at(300, 169));
  EXPECT_EQ(c.at(283, 478), COLOR_ACCENT);
  EXPECT_EQ(c.at(285, 478), COLOR_TRACK);
}

TEST_F(PaintTest, OwnerDrawnButtons) {
  Canvas c(120, 40);
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_BUTTON;
  item.hDC = c.dc();
  item.rcItem = RECT{0, 0, 112, 34};
  item.CtlID = kActionButtonId;
  EXPECT_TRUE(SendMessageW(main_, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ(c.at(2, 2), COLOR_ACTION_FACE);
  EXPECT_GT(c.count({0, 0, 112, 34}, COLOR_WHITE), 10);  // the label

  item.CtlID = kBrowseButtonId;
  item.rcItem = RECT{0, 0, 38, 34};
  EXPECT_TRUE(SendMessageW(main_, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ(c.at(2, 2), COLOR_BROWSE_FACE);
  EXPECT_EQ(c.at(10, 18), COLOR_TEXT);         // the body's left edge
  EXPECT_EQ(c.at(18, 18), COLOR_BROWSE_FACE);  // outline only

  item.CtlID = 999;
  EXPECT_FALSE(SendMessageW(main_, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item)));
}

// ---- High contrast ----

// Colours that no picture or colour of ours has, so a pixel in one of them says which role drew
// it.
constexpr SystemColours kTheme{.window = {250, 244, 210},
                               .window_text = {61, 20, 0},
                               .highlight = {0, 96, 32},
                               .highlight_text = {255, 250, 128},
                               .hot_light = {160, 0, 120},
                               .gray_text = {90, 80, 110}};

// Sets the system's colours for the scope. Under Wine they hold for every process of the prefix
// until set again, so the old ones are always put back.
class ScopedSystemColours {
 public:
  explicit ScopedSystemColours(const SystemColours& c) {
    const Rgb values[kCount] = {c.window,         c.window_text, c.highlight,
                                c.highlight_text, c.hot_light,   c.gray_text};
    COLORREF wanted[kCount];
    for (int i = 0; i < kCount; ++i) {
      old_[i] = GetSysColor(kIndexes[i]);
      wanted[i] = colorref(values[i]);
    }
    applied_ = SetSysColors(kCount, kIndexes, wanted) != FALSE;
  }
  ~ScopedSystemColours() { SetSysColors(kCount, kIndexes, old_); }
  ScopedSystemColours(const ScopedSystemColours&) = delete;
  ScopedSystemColours& operator=(const ScopedSystemColours&) = delete;
  bool applied() const { return applied_; }

 private:
  static constexpr int kCount = 6;
  static constexpr INT kIndexes[kCount] = {COLOR_WINDOW,        COLOR_WINDOWTEXT, COLOR_HIGHLIGHT,
                                           COLOR_HIGHLIGHTTEXT, COLOR_HOTLIGHT,   COLOR_GRAYTEXT};
  COLORREF old_[kCount] = {};
  bool applied_ = false;
};

// What the system answers for high contrast within the scope (the test build's seam).
class ScopedHighContrast {
 public:
  explicit ScopedHighContrast(bool on) : old_(test_high_contrast) { test_high_contrast = on; }
  ~ScopedHighContrast() { test_high_contrast = old_; }
  ScopedHighContrast(const ScopedHighContrast&) = delete;
  ScopedHighContrast& operator=(const ScopedHighContrast&) = delete;

 private:
  std::optional<bool> old_;
};

// Every screen at every scale, with high contrast switched on while the window runs: the theme's
// colours for each role, the window colour everywhere nothing is drawn (no picture, no tint),
// the still logo; then a colour change and high contrast switched off, both live.
TEST_F(PaintTest, HighContrastDrawsEveryScreenInTheThemesColours) {
  AppState& s = app_state();
  if (!s.frames_ready()) decode_pictures_into(s.frames, nullptr);
  const ScopedSystemColours theme(kTheme);
  ASSERT_TRUE(theme.applied());
  ASSERT_EQ(rgb_from_colorref(GetSysColor(COLOR_HOTLIGHT)), kTheme.hot_light);
  const ScopedHighContrast on(true);
  // A window made now starts in the theme's colours.
  EXPECT_EQ(MainWindow([](std::string) {}).palette(), high_contrast_palette(kTheme));

  SendMessageW(main_, MSG_FRAMES_READY, 0, 0);
  ASSERT_TRUE(s.anim_timer_running);
  ValidateRect(s.action_button, nullptr);
  SendMessageW(main_, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  EXPECT_EQ(window_.palette(), high_contrast_palette(kTheme));
  EXPECT_FALSE(s.anim_timer_running);                           // nothing moves
  EXPECT_TRUE(GetUpdateRect(s.action_button, nullptr, FALSE));  // the buttons repaint too

  using Role = Rgb SystemColours::*;
  struct Expect {
    DesignEdges area;
    Role colour;
    int at_least;  // pixels of that colour; kAll: every pixel
  };
  constexpr int kAll = -1;
  const Role window = &SystemColours::window, text = &SystemColours::window_text,
             gray = &SystemColours::gray_text, face = &SystemColours::highlight,
             label = &SystemColours::highlight_text;
  // On every screen; where the window colour is expected, the picture or the tint would show.
  const std::vector<Expect> every = {
      {{0, 0, 27, 380}, window, kAll},       // left edge
      {{0, 357, 520, 380}, window, kAll},    // under the card
      {{130, 132, 520, 168}, window, kAll},  // between the title and the card
      {{140, 0, 480, 60}, window, kAll},     // above the title
      {{494, 40, 520, 380}, window, kAll},   // right of the card
      {{40, 172, 480, 184}, window, kAll},   // inside the card: no tint
      {{148, 72, 340, 105}, text, 30},       // title
      {{150, 110, 346, 113}, text, kAll},    // rule
      {{27, 250, 29, 270}, text, 20},        // card outline
  };
  const Expect close_glyph{{484, 8, 512, 36}, text, 3},
      no_close_glyph{{484, 8, 512, 36}, window, kAll};
  const Expect status{{50, 192, 250, 210}, text, 10}, detail{{50, 222, 300, 240}, gray, 10};
  const Expect track_edge{{400, 314, 410, 315}, text, 10},
      track_inside{{400, 317, 410, 321}, window, kAll};
  const Expect segment{{200, 316, 320, 322}, face, kAll};
  struct Row {
    const ScreenCase& screen;
    std::vector<Expect> expect;
  };
  const std::vector<Row> rows = {
      {kChoose,
       {close_glyph,
        {{50, 186, 200, 204}, text, 10},     // "Install location"
        {{50, 250, 300, 266}, gray, 10},     // hint
        {{50, 326, 300, 342}, gray, 10},     // version note
        {{360, 222, 366, 232}, face, kAll},  // Install
        {{358, 210, 470, 244}, label, 10},
        {{312, 222, 316, 232}, face, kAll},  // Browse
        {{310, 210, 348, 244}, label, 5},
        {{290, 236, 298, 238}, window, kAll}}},  // the edit field's face
      {kDownloading,
       {close_glyph, status, detail, track_edge, track_inside, {{100, 316, 250, 322}, face, kAll}}},
      {kChecking,
       {close_glyph,
        status,
        track_edge,
        track_inside,
        segment,
        {{100, 317, 110, 321}, window, kAll}}},
      {kVerifying, {no_close_glyph, status, track_edge, segment}},
      {kInstalling, {no_close_glyph, status, detail, track_edge, segment}},
      {kDone,
       {close_glyph,
        status,
        {{50, 220, 250, 236}, gray, 10},
        {{52, 292, 58, 306}, face, kAll},
        {{50, 280, 234, 318}, label, 10}}},  // Launch Quorvane
      {kFailed,
       {close_glyph,
        status,
        detail,
        {{50, 330, 250, 346}, &SystemColours::hot_light, 5},  // link
        {{52, 294, 58, 308}, face, kAll},
        {{50, 284, 200, 318}, label, 10}}},  // Try Again
  };

  const auto folder = screens_folder();
  for (const int dpi : {96, 144, 192}) {
    if (dpi != s.dpi) {
      RECT suggested{0, 0, scale(520, dpi), scale(380, dpi)};
      SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                   reinterpret_cast<LPARAM>(&suggested));
    }
    ASSERT_EQ(s.dpi, dpi);
    // The still logo over the window colour, as the logo square must show it.
    const int edge = scale(84, dpi);
    Canvas logo(edge, edge);
    fill_rect(logo.dc(), {0, 0, edge, edge}, kTheme.window);
    DrawIconEx(logo.dc(), 0, 0, s.logo_icon, edge, edge, 0, nullptr, DI_NORMAL);
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.screen.name) + " at " + std::to_string(dpi));
      show(row.screen);
      Canvas c(scale(520, dpi), scale(380, dpi));
      paint_with_controls(c);
      if (folder) {
        c.save(*folder / ("high-contrast-" + std::string(row.screen.name) + "-" +
                          std::to_string(dpi) + ".bmp"));
      }
      for (const std::vector<Expect>* list : {&every, &row.expect}) {
        for (const Expect& e : *list) {
          const Box box = scaled_box(e.area, dpi);
          const int found = c.count(box, kTheme.*e.colour);
          if (e.at_least == kAll) {
            EXPECT_EQ(found, box.width() * box.height())
                << "at " << e.area.left << "," << e.area.top << " one is "
                << ::testing::PrintToString(c.at(box.left, box.top));
          } else {
            EXPECT_GE(found, e.at_least) << "at " << e.area.left << "," << e.area.top;
          }
        }
      }
      if (row.screen.screen == Screen::Failed) {  // no progress bar
        EXPECT_EQ(c.count(scaled_box(DesignEdges{50, 314, 470, 324}, dpi), kTheme.window_text), 0);
      }
      const Box square = logo_box(dpi);
      int differing = 0;
      for (int y = 0; y < edge; ++y)
        for (int x = 0; x < edge; ++x)
          differing += !(c.at(square.left + x, square.top + y) == logo.at(x, y));
      EXPECT_EQ(differing, 0) << "the logo square is not the still logo";
    }
  }

  // The theme's colours change while high contrast stays on: the next paint has the new ones.
  SystemColours night = kTheme;
  night.window = {20, 30, 60};
  const ScopedSystemColours changed(night);
  SendMessageW(main_, WM_SYSCOLORCHANGE, 0, 0);
  const int dpi = s.dpi;
  Canvas c(scale(520, dpi), scale(380, dpi));
  paint(c);
  EXPECT_EQ(c.at(scale(10, dpi), scale(370, dpi)), night.window);

  // Off again: the picture, the product's colours and the orb come back.
  const ScopedHighContrast off(false);
  SendMessageW(main_, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  EXPECT_EQ(window_.palette(), standard_palette());
  EXPECT_TRUE(s.anim_timer_running);
  Canvas picture(scale(520, dpi), scale(380, dpi));
  draw_background(picture.dc(), picture.width(), picture.height());
  paint(c);
  EXPECT_EQ(c.at(scale(10, dpi), scale(370, dpi)), picture.at(scale(10, dpi), scale(370, dpi)));
  EXPECT_EQ(c.at(scale(200, dpi), scale(111, dpi)), COLOR_ACCENT);
}

// ---- Readable text ----

// WCAG 2: relative luminance of an sRGB colour, and the contrast ratio of two colours.
double luminance(Rgb c) {
  const auto linear = [](std::uint8_t v) {
    const double x = v / 255.0;
    return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}
double contrast_ratio(Rgb a, Rgb b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Every text of every screen at 96 DPI against the worst pixel under it: at least 4.5:1, or 3:1
// for large text (the 29 px bold title) and for the folder glyph, which is a picture. What lies
// under a text is read from the same window drawn without it: the picture alone under the title;
// under everything else, the verifying screen with empty texts (no close glyph; its bar lies under
// no text); under a button's label, its face. A text's area is where the two differ.
TEST_F(PaintTest, EveryTextReadsAtTheGuidelinesContrastOverWhatLiesUnderIt) {
  EXPECT_NEAR(contrast_ratio({118, 118, 118}, COLOR_WHITE), 4.54, 0.005);  // a published value
  const Palette& p = window_.palette();
  ASSERT_EQ(p, standard_palette());
  Canvas picture(520, 380), bare(520, 380);
  draw_background(picture.dc(), 520, 380);
  show({"bare", Screen::Verifying, "", ""});
  paint_with_controls(bare);

  enum Under { Picture, Bare, Face };
  struct Text {
    const char* name;
    DesignEdges area;
    Rgb colour;
    bool large;
    Under under;
  };
  const Text title{"title", {140, 66, 400, 109}, p.text, true, Picture};
  const Text close{"close glyph", {484, 8, 512, 36}, p.close_glyph, false, Bare};
  const Text status{"status", {50, 188, 480, 212}, p.text, false, Bare};
  // The detail box above the Try Again button, which covers its bottom.
  const Text detail{"detail", {50, 222, 480, 282}, p.small_text, false, Bare};
  struct Row {
    const ScreenCase& screen;
    std::vector<Text> texts;
  };
  const std::vector<Row> rows = {
      {kChoose,
       {title,
        close,
        {"label", {50, 184, 480, 208}, p.text, false, Bare},
        {"hint", {50, 248, 480, 268}, p.small_text, false, Bare},
        {"version note", {50, 324, 480, 346}, p.small_text, false, Bare},
        {"Install", {364, 214, 464, 240}, p.action_text, false, Face},
        {"folder glyph", {314, 214, 344, 240}, p.browse_glyph, true, Face}}},
      {kDownloading, {title, close, status, detail}},
      {kVerifying, {title, status}},
      {kInstalling, {title, status, detail}},
      {kDone,
       {title,
        close,
        status,
        {"detail", {50, 218, 480, 240}, p.small_text, false, Bare},
        {"Launch Quorvane", {56, 284, 228, 314}, p.action_text, false, Face}}},
      {kFailed,
       {title,
        close,
        {"error status", {50, 188, 480, 212}, p.error_text, false, Bare},
        detail,
        {"link", {50, 328, 480, 352}, p.link, false, Bare},
        {"Try Again", {56, 288, 194, 314}, p.action_text, false, Face}}},
      {kWaiting, {title, status, {"detail", {50, 218, 480, 240}, p.small_text, false, Bare}}},
      {kNotLaunched,
       {title,
        close,
        status,
        {"detail", {50, 218, 480, 240}, p.small_text, false, Bare},
        {"Launch Quorvane", {56, 284, 228, 314}, p.action_text, false, Face}}},
  };

  const auto hex = [](Rgb c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c.r, c.g, c.b);
    return std::string(text);
  };
  std::string table =
      "screen       text             area (96 DPI)     colour   worst under  ratio  needs\n";
  for (const Row& row : rows) {
    show(row.screen);
    Canvas c(520, 380);
    paint_with_controls(c);
    for (const Text& t : row.texts) {
      SCOPED_TRACE(std::string(row.screen.name) + ": " + t.name);
      const Box area = scaled_box(t.area, 96);
      // A button's face is one fill: a pixel of it beside the label stands for all under it.
      Canvas face(520, 380);
      fill_rect(face.dc(), {0, 0, 520, 380}, c.at(area.left, area.bottom - 1));
      const Canvas& under = t.under == Picture ? picture : t.under == Bare ? bare : face;
      const Box drawn = c.changed_from(under, area);
      ASSERT_LT(drawn.left, drawn.right) << "nothing drawn";
      ASSERT_GT(c.count(drawn, t.colour), 0) << "not drawn in " << hex(t.colour);
      // A line that reaches the edge of its area runs past the card's text column.
      if (t.area.right == 480) {
        EXPECT_LT(drawn.right, 480) << "runs past the card";
      }
      Rgb worst = under.at(drawn.left, drawn.top);
      for (int y = drawn.top; y < drawn.bottom; ++y)
        for (int x = drawn.left; x < drawn.right; ++x)
          if (contrast_ratio(t.colour, under.at(x, y)) < contrast_ratio(t.colour, worst))
            worst = under.at(x, y);
      const double ratio = contrast_ratio(t.colour, worst);
      const double needed = t.large ? 3.0 : 4.5;
      EXPECT_GE(ratio, needed) << hex(t.colour) << " over " << hex(worst);
      char line[160];
      char where[32];
      std::snprintf(where, sizeof where, "%d,%d-%d,%d", drawn.left, drawn.top, drawn.right,
                    drawn.bottom);
      std::snprintf(line, sizeof line, "%-12s %-16s %-17s %s  %s      %5.2f  %.1f  %s\n",
                    row.screen.name, t.name, where, hex(t.colour).c_str(), hex(worst).c_str(),
                    ratio, needed, ratio >= needed ? "pass" : "FAIL");
      table += line;
    }
  }
  std::printf("%s", table.c_str());
  if (const auto folder = screens_folder()) std::ofstream(*folder / "contrast-96.txt") << table;
}

}  // namespace
}  // namespace qv

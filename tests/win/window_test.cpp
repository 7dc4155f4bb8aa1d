// The real main window under Wine: start-up layout, the window procedure's screens, closing,
// DPI changes, hit testing, and the painted pixels of every screen.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <vector>

#include "app/app_state_win.h"
#include "app/startup_win.h"
#include "app/text_win.h"
#include "install/install_worker_win.h"

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
  AppState& s = app_state();
  set_state(Screen::ChooseLocation, "", "", false);
  set_launch_path("");
  s.launch_started = false;
  s.cancel_requested = false;
  s.progress_permille = 0;
  s.marquee_pos = 0;
  s.dpi = 96;
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
  // The edit field got the body font.
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(s.location_edit, WM_GETFONT, 0, 0)), sizeof font,
             &font);
  EXPECT_EQ(font.lfHeight, -15);
}

TEST_F(WindowTest, HitTestingDragsByTheBandButNotTheCloseBox) {
  EXPECT_EQ(hit(10, 10), HTCAPTION);
  EXPECT_EQ(hit(300, 167), HTCAPTION);
  EXPECT_EQ(hit(300, 168), HTCLIENT);
  EXPECT_EQ(hit(490, 20), HTCLIENT);
  EXPECT_EQ(hit(490, 40), HTCAPTION);
}

TEST_F(WindowTest, ClosingFollowsTheScreen) {
  set_state(Screen::Verifying, "Verifying the download...", "", false);
  SendMessageW(main_, WM_CLOSE, 0, 0);
  set_state(Screen::Installing, "Installing Quorvane 1.0...", "", false);
  SendMessageW(main_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(main_));
  EXPECT_FALSE(app_state().cancel_requested);

  set_state(Screen::Downloading, "Starting...", "", false);
  SendMessageW(main_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(main_));
  EXPECT_TRUE(app_state().cancel_requested);

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

  // A DPI change keeps the button in its place at the new scale.
  RECT suggested{100, 100, 880, 670};
  SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(child_box(s.action_button), (Box{75, 426, 300, 477}));
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

TEST_F(WindowTest, LaunchHappensOnceAndAlwaysEndsTheWindow) {
  ShowWindow(app_state().action_button, SW_HIDE);  // as the Install click left it
  set_state(Screen::Done, "Quorvane is installed.", "You can close this window.", false);
  SendMessageW(main_, MSG_RUN_FINISHED, kRunSucceeded, 0);
  EXPECT_FALSE(IsWindowVisible(app_state().action_button));  // nothing to launch: no button
  launch_and_close();
  EXPECT_TRUE(app_state().launch_started);
  EXPECT_FALSE(IsWindow(main_));
  launch_and_close();  // a second call (the timer after a click) does nothing
}

TEST_F(WindowTest, BlankFolderMakesInstallDoNothing) {
  SetWindowTextW(app_state().location_edit, L" \t\u3000 ");
  SendMessageW(main_, WM_COMMAND, MAKEWPARAM(kActionButtonId, BN_CLICKED), 0);
  EXPECT_EQ(current_screen(), Screen::ChooseLocation);
  EXPECT_TRUE(IsWindowVisible(app_state().action_button));
  EXPECT_EQ(runs_started, 0);
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

  // The running timer is the main window's own, not a thread timer.
  EXPECT_TRUE(KillTimer(main_, TIMER_ANIMATION));
  s.anim_timer_running = false;
}

// Before the window exists (its creation sends WM_SIZE) there is nothing to animate and nothing
// to invalidate: other windows are left alone and no timer is set anywhere.
TEST(WindowAnimation, NothingHappensBeforeTheMainWindowExists) {
  AppState& s = app_state();
  if (!s.frames_ready()) decode_pictures_into(s.frames, nullptr);
  ASSERT_EQ(s.main_window, nullptr);
  const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200,
                                     nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  ValidateRect(other, nullptr);
  ASSERT_FALSE(GetUpdateRect(other, nullptr, FALSE));

  update_animation_timer();
  EXPECT_FALSE(s.anim_timer_running);
  EXPECT_FALSE(GetUpdateRect(other, nullptr, FALSE));
  s.anim_timer_running = false;
  DestroyWindow(other);
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
  Rgb at(int x, int y) const {
    GdiFlush();
    const std::uint32_t v = bits_[y * w_ + x];
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
  }
  int count(Box box, Rgb colour) const {
    int n = 0;
    for (int y = box.top; y < box.bottom; ++y)
      for (int x = box.left; x < box.right; ++x) n += at(x, y) == colour;
    return n;
  }

 private:
  int w_, h_;
  OwnedMemoryDc dc_;
  OwnedBitmap bitmap_;
  const std::uint32_t* bits_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

bool close_to(Rgb a, Rgb b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}
Rgb tinted(Rgb bg) {
  const auto mix = [](int d, int s) { return static_cast<std::uint8_t>((s * 42 + d * 213) / 255); };
  return {mix(bg.r, COLOR_CARD_TINT.r), mix(bg.g, COLOR_CARD_TINT.g), mix(bg.b, COLOR_CARD_TINT.b)};
}

class PaintTest : public WindowTest {
 protected:
  void paint(Canvas& c) {
    const int dpi = app_state().dpi;
    render_client(c.dc(), scale(520, dpi), scale(380, dpi));
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
  create_fonts();
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
  EXPECT_TRUE(draw_owner_button(item));
  EXPECT_EQ(c.at(2, 2), COLOR_ACCENT);
  EXPECT_GT(c.count({0, 0, 112, 34}, COLOR_WHITE), 10);  // the label

  item.CtlID = kBrowseButtonId;
  item.rcItem = RECT{0, 0, 38, 34};
  EXPECT_TRUE(draw_owner_button(item));
  EXPECT_EQ(c.at(2, 2), COLOR_BROWSE_FACE);
  EXPECT_EQ(c.at(10, 18), COLOR_TEXT);         // the body's left edge
  EXPECT_EQ(c.at(18, 18), COLOR_BROWSE_FACE);  // outline only

  item.CtlID = 999;
  EXPECT_FALSE(draw_owner_button(item));
}

}  // namespace
}  // namespace qv

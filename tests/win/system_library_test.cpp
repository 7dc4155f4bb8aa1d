// The installer without the system DLLs it loads itself. ctest runs this suite as
// "system_dlls_missing": win_tests again, with Wine told to refuse winhttp, bcrypt, msimg32,
// oleacc and wintrust (WINEDLLOVERRIDES=...=d) and QV_SYSTEM_DLLS_REFUSED=1 set. In the ordinary
// run the suite skips, since the DLLs are there. SystemTables runs in the ordinary run: how a
// table is made of its list.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <variant>

#include "app/app_state_win.h"
#include "app/handles_win.h"
#include "app/startup_win.h"
#include "app/system_library_win.h"
#include "install/checksum.h"
#include "install/checksum_win.h"
#include "install/location.h"
#include "install/location_win.h"
#include "install/publisher_win.h"
#include "install/setup_file_win.h"
#include "install_support.h"
#include "net/feed_signature_win.h"
#include "net/http_win.h"
#include "test_support.h"
#include "ui/layout.h"
#include "ui/render_win.h"
#include "ui/window_win.h"

// Declared for their types only: no DLL exports these names.
namespace absent {
void WINAPI QvNoSuchExport();
IStream* WINAPI QvMemStreamByNumber(const BYTE* bytes, UINT size);  // as SHCreateMemStream
}  // namespace absent

namespace qv {
namespace {

class SystemDllsMissing : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("QV_SYSTEM_DLLS_REFUSED")) {
      GTEST_SKIP() << "runs only as the ctest system_dlls_missing";
    }
  }
};

TEST_F(SystemDllsMissing, NoneLoadsAndNoTableIsMade) {
  // The refusal itself: without it the cases below would prove nothing.
  for (const wchar_t* name :
       {L"winhttp.dll", L"bcrypt.dll", L"msimg32.dll", L"oleacc.dll", L"wintrust.dll"}) {
    EXPECT_EQ(load_system_library(name), nullptr) << name;
  }
  EXPECT_NE(load_system_library(L"gdi32.dll"), nullptr);
  EXPECT_EQ(winhttp_functions(), nullptr);
  EXPECT_EQ(bcrypt_functions(), nullptr);
  EXPECT_EQ(alpha_blend_function(), nullptr);
  EXPECT_EQ(oleacc_functions(), nullptr);
  EXPECT_EQ(wintrust_functions(), nullptr);
}

TEST_F(SystemDllsMissing, ScreenReadersGetThePlatformsOwnAnswer) {
  MainWindow window([](std::string) {});
  const HWND main = open_main_window(GetModuleHandleW(nullptr), window);
  ASSERT_NE(main, nullptr);
  // No object of ours without oleacc: the window answers as DefWindowProc does, and works on.
  EXPECT_EQ(SendMessageW(main, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT)),
            DefWindowProcW(main, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT)));
  EXPECT_TRUE(IsWindow(main));
  DestroyWindow(main);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  test::reset_shared_state();
}

TEST_F(SystemDllsMissing, RequestsFailAsNetworkUnavailable) {
  const std::atomic<bool> never{false};
  const auto text = fetch_text("http://127.0.0.1:1/latest.yml", never);
  ASSERT_FALSE(text.ok());
  EXPECT_EQ(text.reason(), "network unavailable (WinHttpOpen)");
  const auto resumed = open_get("http://127.0.0.1:1/setup.exe", 1000);
  ASSERT_TRUE(std::holds_alternative<Reason>(resumed));
  EXPECT_EQ(std::get<Reason>(resumed).text, "network unavailable (WinHttpOpen)");
  // A bad URL is still told as such: it is judged before WinHTTP is needed.
  EXPECT_EQ(fetch_text("ftp://x/", never).reason(), "bad URL: ftp://x/");
}

TEST_F(SystemDllsMissing, VerificationFailsAsCryptoUnavailableAndKeepsTheFile) {
  const std::string path = test::scratch_path("no-bcrypt") + ".exe";
  // The scratch folder exists only if another suite of the program made it first.
  ASSERT_TRUE(create_folder_tree(*parent_folder(path)));
  test::write_file(path, "");
  // The right digest of the empty file: only the missing crypto can fail it.
  const auto expected = decode_feed_checksum(
      "z4PhNX7vuL3xVChQ1m2AB9Yg5AULVxXcg/SpIdNs6c5H0NE8XYXysP+DGNKHfuwvY7kxvUdBeoGlODJ6+SfaPg==");
  const std::atomic<bool> cancel{false};
  Result<OwnedFile> hold = hold_setup_file(path, BusyWait{});
  ASSERT_TRUE(hold.ok());
  const Status verified = verify_download(hold->get(), expected.value(), cancel);
  ASSERT_FALSE(verified.ok());
  EXPECT_EQ(verified.reason(), kCryptoUnavailable);
  EXPECT_TRUE(test::file_exists(path));
  // A well-formed signature line gets as far as BCrypt, which isn't there.
  const std::string feed = "version: 1\nsignature: " + std::string(86, 'A') + "==\n";
  EXPECT_EQ(check_feed_signature(feed, built_in_trust().feed_keys).reason(), kCryptoUnavailable);
  // Nor is wintrust: the publisher can't be checked, and the file is not judged.
  EXPECT_EQ(check_setup_publisher(path, built_in_trust().setup_publisher, BusyWait{}).reason(),
            kCryptoUnavailable);
  EXPECT_TRUE(test::file_exists(path));
}

Rgb pixel(HDC dc, int x, int y) {
  const COLORREF c = GetPixel(dc, x, y);
  return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

TEST_F(SystemDllsMissing, CardIsDrawnWithoutItsTint) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, 520, -380, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const OwnedMemoryDc background(CreateCompatibleDC(nullptr));
  const OwnedMemoryDc painted(CreateCompatibleDC(nullptr));
  const OwnedBitmap background_bitmap(
      CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const OwnedBitmap painted_bitmap(
      CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  ASSERT_TRUE(background && painted && background_bitmap && painted_bitmap);
  const SelectGuard background_selected(background.get(), background_bitmap.get());
  const SelectGuard painted_selected(painted.get(), painted_bitmap.get());

  draw_background(background.get(), 520, 380);
  PaintInput input;  // the first screen in the standard palette, with no window behind it
  input.fonts = current_fonts();
  PaintCache cache;
  render_client(painted.get(), 520, 380, input, cache);
  EXPECT_EQ(pixel(painted.get(), 480, 290), pixel(background.get(), 480, 290));  // no tint
  EXPECT_EQ(pixel(painted.get(), 28, 263), COLOR_CARD_BORDER);  // the outline is still there
  EXPECT_EQ(pixel(painted.get(), 200, 111), COLOR_ACCENT);      // and so is the rest
}

// The same two kernel32 entries, the missing one optional or required. The first is named with
// its namespace, which the lookup leaves out.
#define QV_TEST_OPTIONAL_MISSING(X)          \
  X(tick_count, ::GetTickCount64, kRequired) \
  X(missing, absent::QvNoSuchExport, kOptional)
#define QV_TEST_REQUIRED_MISSING(X)          \
  X(tick_count, ::GetTickCount64, kRequired) \
  X(missing, absent::QvNoSuchExport, kRequired)
struct OptionalMissing {
  QV_TEST_OPTIONAL_MISSING(QV_SYSTEM_TABLE_MEMBER)
};
struct RequiredMissing {
  QV_TEST_REQUIRED_MISSING(QV_SYSTEM_TABLE_MEMBER)
};

TEST(SystemTables, AreAllOrNothingButForOptionalEntries) {
  const auto optional = load_system_table<OptionalMissing>(
      L"kernel32.dll", QV_SYSTEM_TABLE_RESOLVER(OptionalMissing, QV_TEST_OPTIONAL_MISSING));
  ASSERT_TRUE(optional.has_value());
  EXPECT_EQ(optional->tick_count, &::GetTickCount64);
  EXPECT_EQ(optional->missing, nullptr);
  EXPECT_FALSE(
      load_system_table<RequiredMissing>(
          L"kernel32.dll", QV_SYSTEM_TABLE_RESOLVER(RequiredMissing, QV_TEST_REQUIRED_MISSING))
          .has_value());
  // Nor is there a table of a DLL that the system folder lacks.
  EXPECT_FALSE(
      load_system_table<OptionalMissing>(
          L"qv-no-such.dll", QV_SYSTEM_TABLE_RESOLVER(OptionalMissing, QV_TEST_OPTIONAL_MISSING))
          .has_value());
}

// Named as nothing is exported: only the number finds it.
#define QV_TEST_BY_NUMBER(X) X(create_mem_stream, absent::QvMemStreamByNumber, by_ordinal(12))
struct ByNumber {
  QV_TEST_BY_NUMBER(QV_SYSTEM_TABLE_MEMBER)
};

TEST(SystemTables, FindAnOrdinalEntryByItsNumber) {
  const auto shlwapi = load_system_table<ByNumber>(
      L"shlwapi.dll", QV_SYSTEM_TABLE_RESOLVER(ByNumber, QV_TEST_BY_NUMBER));
  ASSERT_TRUE(shlwapi.has_value());
  // shlwapi #12 is SHCreateMemStream: a stream over a copy of the bytes.
  const BYTE bytes[] = {'q', 'v', 0, 7};
  const Owned<ComTraits<IStream>> stream(shlwapi->create_mem_stream(bytes, sizeof bytes));
  ASSERT_TRUE(stream);
  BYTE read[8]{};
  ULONG count = 0;
  stream.get()->Read(read, sizeof read, &count);
  ASSERT_EQ(count, sizeof bytes);
  EXPECT_EQ(std::memcmp(read, bytes, sizeof bytes), 0);
}

#ifdef __MINGW32__
extern "C" void* __stack_chk_guard;
extern "C" [[noreturn]] void __stack_chk_fail();

// The stack guard is ours (src/app/stack_guard_mingw.cpp): drawn before the entry runs, and a
// smashed stack ends the process as /GS ends it. libssp's, which it replaced, is drawn too, but
// ends the process through abort() (exit code 3): only ours passes.
TEST(StackGuard, IsOursDrawnBeforeTheEntryRunsAndEndsAsGsDoes) {
  if (std::getenv("QV_TEST_SMASH_STACK")) __stack_chk_fail();  // the copy started below
  EXPECT_NE(__stack_chk_guard, nullptr);
  wchar_t self[MAX_PATH] = {};
  ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::wstring command =
      L"\"" + std::wstring(self) + L"\" --gtest_filter=StackGuard.IsOursDrawnBeforeTheEntry*";
  const test::ScopedEnvironment smash(L"QV_TEST_SMASH_STACK", L"1");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &started));
  const OwnedHandle process(started.hProcess), thread(started.hThread);
  ASSERT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 0xC0000409u);  // STATUS_STACK_BUFFER_OVERRUN
}
#endif

}  // namespace
}  // namespace qv

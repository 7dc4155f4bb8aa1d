// The resumable download over real WinHTTP against the local release server, into real files.
// The pause before a retry is injected: it records the text shown and returns at once.
#include "net/download_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/app_state_win.h"
#include "app/text_win.h"
#include "test_support.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::server_url;

constexpr std::uint64_t MiB = 1048576;
const std::string kDash = " \xE2\x80\x94 ";

// A Linux path as Wine shows it: drive Z: is the Linux root.
fs::path from_linux(std::string_view linux_path) {
  std::string windows = "Z:" + std::string(linux_path);
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return fs::path(widen(windows));
}

// Where the release server keeps the file it serves at `url_path`.
fs::path served_file(std::string_view url_path) {
  const char* root = std::getenv("QV_TEST_ROOT");
  return from_linux(std::string(root ? root : "/nonexistent") + std::string(url_path));
}

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_all(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> ranges(std::string_view url_path) {
  std::vector<std::string> out;
  for (const auto& row : test::request_log(url_path)) out.push_back(row.range);
  return out;
}

class DownloadToFile : public ::testing::Test {
 protected:
  void SetUp() override {
    app_state().cancel_requested = false;
    app_state().progress_permille = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() / (L"qv-download-" + widen(info->name()));
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    fs::create_directories(folder_);
  }

  void TearDown() override {
    app_state().cancel_requested = false;
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  fs::path destination(std::string_view name) const { return folder_ / widen(name); }

  // Downloads server path `url_path` to `to`; each pause records the detail then shown.
  Status download(std::string_view url_path, const fs::path& to, std::uint64_t expected_size) {
    const Result<FinishedDownload> held = download_to_file(
        server_url() + std::string(url_path.substr(1)), narrow(to.wstring()), expected_size,
        "1.4.2", [this] { pauses.push_back(snapshot_state().detail); });
    if (!held) return fail(held.reason());
    found_whole = held.value().found_whole;
    // Handed over held: read sharing only, so nobody else writes to it meanwhile.
    EXPECT_TRUE(held.value().hold);
    const OwnedFile writer(CreateFileW(to.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    return {};
  }

  fs::path folder_;
  std::vector<std::string> pauses;
  bool found_whole = false;  // the last download's
};

TEST_F(DownloadToFile, DroppedOrStalledBodyResumesWithARangeAndEndsIdentical) {
  // The body stops after 3 MiB: the server closes the connection, or it goes silent for 10 s,
  // far longer than the receive timeout made short here (and shorter than WinHTTP's defaults,
  // so a timeout that was not applied shows as a single request).
  for (const bool stalls : {false, true}) {
    const test::ScopedHttpTimeouts timeouts(stalls ? HttpTimeouts{2000, 2000, 2000, 2000}
                                                   : HttpTimeouts{});
    const std::string path = stalls ? "/dl/stall/setup.exe" : "/dl/drop/setup.exe";
    SCOPED_TRACE(path);
    pauses.clear();
    test::serve_file(path, 10 * MiB, 5);
    test::plan(path, stalls ? "stallbody:3145728:10000" : "drop:3145728");
    const fs::path to = destination(stalls ? "stalled.exe" : "setup.exe");

    const Status result = download(path, to, 10 * MiB);
    ASSERT_TRUE(result.ok()) << result.reason();
    EXPECT_EQ(ranges(path), (std::vector<std::string>{"", "bytes=3145728-"}));
    EXPECT_TRUE(read_all(to) == read_all(served_file(path))) << "file differs from the served one";
    EXPECT_EQ(fs::file_size(to), 10 * MiB);
    const std::string interrupted =
        "Connection interrupted at 3 MB" + kDash + "retrying (attempt 2 of 4)...";
    ASSERT_EQ(pauses.size(), 1u);
    if (stalls) {
      EXPECT_EQ(pauses[0], interrupted);  // the timed-out read failed
    } else {
      // WinHTTP reports the early close either as an end of body or as a failed read.
      EXPECT_TRUE(pauses[0] ==
                      "Connection dropped at 3 MB" + kDash + "resuming (attempt 2 of 4)..." ||
                  pauses[0] == interrupted)
          << pauses[0];
    }
    EXPECT_EQ(app_state().progress_permille.load(), 999u);
    const StateSnapshot s = snapshot_state();
    EXPECT_EQ(s.screen, Screen::Downloading);
    EXPECT_EQ(s.status, "Downloading Quorvane 1.4.2...");
    EXPECT_TRUE(s.detail.starts_with("10 / 10 MB")) << s.detail;
    EXPECT_FALSE(s.show_full_installer_link);
  }
}

TEST_F(DownloadToFile, ServerIgnoringRangesEndsWithNoResumeSupport) {
  // A leftover partial file; the server answers its range with the whole file (appended, then
  // deleted, and a fresh start at once), drops the fresh body, fails once, then ignores the
  // range of the fourth attempt too.
  const std::string path = "/dl/norange/setup.exe";
  test::serve_file(path, 4 * MiB, 6);
  test::plan(path, "norange,drop:1500000,status:500,norange");
  const fs::path to = destination("setup.exe");
  write_all(to, std::string(MiB, 'x'));

  EXPECT_EQ(download(path, to, 4 * MiB).reason(), "the download server does not support resuming");
  EXPECT_FALSE(fs::exists(to));
  EXPECT_EQ(ranges(path),
            (std::vector<std::string>{"bytes=1048576-", "", "bytes=1500000-", "bytes=1500000-"}));
  ASSERT_EQ(pauses.size(), 2u);  // none after an ignored range
  EXPECT_EQ(pauses[1], "Connection interrupted at 1 MB" + kDash + "retrying (attempt 4 of 4)...");
}

TEST_F(DownloadToFile, NotFoundIsRetriedThreeTimesThenReported) {
  test::MessageWindow window;
  const std::string path = "/dl/missing/setup.exe";
  const fs::path to = destination("setup.exe");

  EXPECT_EQ(download(path, to, 10 * MiB).reason(), "server answered HTTP 404");
  std::vector<std::string> expected;
  for (int next = 2; next <= 4; ++next) {
    expected.push_back("Connection interrupted at 0 MB" + kDash + "retrying (attempt " +
                       std::to_string(next) + " of 4)...");
  }
  EXPECT_EQ(pauses, expected);
  EXPECT_EQ(ranges(path), (std::vector<std::string>(4, "")));
  // Four attempt texts and three retry texts, each posted to the window.
  int changes = 0;
  for (const MSG& m : window.drain()) changes += m.message == MSG_STATE_CHANGED;
  EXPECT_EQ(changes, 7);
}

TEST_F(DownloadToFile, LeftoverPartialFileIsResumedAWholeOneKeptAndALargerOneReplaced) {
  const std::string path = "/dl/leftover/setup.exe";
  test::serve_file(path, 6 * MiB, 7);
  const std::string served = read_all(served_file(path));
  ASSERT_EQ(served.size(), 6 * MiB);
  const fs::path to = destination("setup.exe");

  write_all(to, std::string_view(served).substr(0, 2 * MiB + 100));
  ASSERT_TRUE(download(path, to, 6 * MiB).ok());
  EXPECT_TRUE(read_all(to) == served);
  EXPECT_FALSE(found_whole);

  // As large as the expected size: not fetched again, whatever it holds (the verification
  // judges it); larger: deleted and downloaded afresh, without a range. Read-only and hidden,
  // it is still ours to replace.
  write_all(to, std::string(6 * MiB, '\0'));
  ASSERT_TRUE(download(path, to, 6 * MiB).ok());
  EXPECT_TRUE(found_whole);
  EXPECT_EQ(read_all(to), std::string(6 * MiB, '\0'));
  write_all(to, std::string(6 * MiB + 1, '\0'));
  SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  ASSERT_TRUE(download(path, to, 6 * MiB).ok());
  EXPECT_TRUE(read_all(to) == served);

  EXPECT_EQ(ranges(path), (std::vector<std::string>{"bytes=2097252-", ""}));
  EXPECT_TRUE(pauses.empty());
}

TEST_F(DownloadToFile, CancelDuringTheBodyDeletesThePartialFile) {
  test::MessageWindow window;
  const std::string path = "/dl/cancel/setup.exe";
  test::serve_file(path, 10 * MiB, 8);
  // The body stops for a while after 2.5 MiB: time enough to see the 2 MiB text and cancel.
  test::plan(path, "stallbody:2621440:3000");
  const fs::path to = destination("setup.exe");

  Status result;
  std::thread worker([&] { result = download(path, to, 10 * MiB); });
  bool seen = false;
  while (!seen && window.wait_for(MSG_STATE_CHANGED, 30000)) {
    seen = snapshot_state().detail.starts_with("2 / 10 MB");
  }
  app_state().cancel_requested = true;  // as closing the window does
  worker.join();
  ASSERT_TRUE(seen);
  EXPECT_EQ(result.reason(), "canceled");
  EXPECT_FALSE(fs::exists(to));
  EXPECT_EQ(ranges(path).size(), 1u);
  EXPECT_TRUE(pauses.empty());
}

TEST_F(DownloadToFile, CancelDuringThePauseEndsBeforeTheNextAttempt) {
  const std::string path = "/dl/cancel-pause/setup.exe";
  test::serve_file(path, 4 * MiB, 9);
  test::plan(path, "drop:1048576");
  const fs::path to = destination("setup.exe");
  const auto result = download_to_file(server_url() + path.substr(1), narrow(to.wstring()), 4 * MiB,
                                       "1.4.2", [] { app_state().cancel_requested = true; });
  EXPECT_EQ(result.reason(), "canceled");
  EXPECT_FALSE(fs::exists(to));
  EXPECT_EQ(ranges(path).size(), 1u);
}

TEST_F(DownloadToFile, FullDiskEndsAtOnceAndLeavesCancelRaised) {
  // A 4 MiB tmpfs mounted for the test run by tests/support/full_disk.sh (needs root).
  const char* dir = std::getenv("QV_FULL_DISK_DIR");
  if (!dir || !fs::exists(from_linux(std::string(dir) + "/.tmpfs-4m"))) {
    GTEST_SKIP() << "no 4 MiB tmpfs mounted at QV_FULL_DISK_DIR (mounting needs root; ctest's "
                    "full_disk_mount fixture does it)";
  }
  const std::string path = "/dl/full/setup.exe";
  test::serve_file(path, 10 * MiB, 10);
  const fs::path to = from_linux(std::string(dir) + "/setup.exe");

  EXPECT_EQ(download(path, to, 10 * MiB).reason(), "ran out of disk space while downloading");
  EXPECT_FALSE(fs::exists(to));
  EXPECT_TRUE(app_state().cancel_requested.load());
  EXPECT_EQ(ranges(path).size(), 1u);
  EXPECT_TRUE(pauses.empty());
}

TEST_F(DownloadToFile, UnopenableDestinationFailsWithoutARequest) {
  const std::string path = "/dl/unopenable/setup.exe";
  test::serve_file(path, MiB, 11);
  const fs::path to = folder_ / L"no such folder" / L"setup.exe";
  EXPECT_EQ(download(path, to, MiB).reason(), "couldn't write to the temp folder");
  EXPECT_TRUE(ranges(path).empty());
}

TEST_F(DownloadToFile, NamesWithSpacesAndNonAsciiDownload) {
  for (const std::string name :
       {"Quorvane Setup 1.4.2.exe", "Quorvane Setup \xC3\xA9t\xC3\xA9.exe"}) {
    const std::string path = "/dl/names/" + name;
    test::serve_file(path, 3 * MiB + 17, 12);
    const fs::path to = destination(name);
    const Status result = download(path, to, 3 * MiB + 17);
    ASSERT_TRUE(result.ok()) << name << ": " << result.reason();
    EXPECT_TRUE(read_all(to) == read_all(served_file(path))) << name;
  }
}

}  // namespace
}  // namespace qv

// Whole install runs against the local release server, with the stand-in setup program, watched
// through the shared state and the messages a real window receives.
#include "install/install_worker_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <sstream>

#include "app/app_state_win.h"
#include "app/text_win.h"
#include "app/thread_win.h"
#include "install/busy_wait_win.h"
#include "install/checksum_win.h"
#include "install/install_run.h"
#include "install/location.h"
#include "install/location_win.h"
#include "install/setup_command.h"
#include "install/setup_runner_win.h"
#include "install_support.h"
#include "test_support.h"

namespace qv {
namespace {

using test::file_exists;
using test::ScopedEnvironment;

constexpr char kSetupName[] = "Quorvane Setup 1.2.3.exe";
const std::string kFailedStatus = "Something went wrong.";

std::string download_folder() {
  return join_path(*temp_folder(), kDownloadFolderName);
}

class InstallRun : public ::testing::Test {
 protected:
  // Each test serves its own release under /install/<name>/.
  void serve_release(const std::string& name, const std::string& setup_name = kSetupName,
                     std::optional<std::string> sha512 = std::nullopt,
                     std::optional<std::string> size = std::nullopt) {
    base_ = "/install/" + name + "/";
    feed_url_.emplace(L"ZEL_BOOTSTRAP_FEED_URL", widen(test::server_url() + base_.substr(1)));
    test::serve_copy(base_ + setup_name, test::fake_setup_path());
    const auto setup_size = test::read_file(test::fake_setup_path())->size();
    serve_feed("version: 1.2.3\npath: " + setup_name +
               "\nsha512: " + sha512.value_or(test::sha512_base64(test::fake_setup_path())) +
               "\nsize: " + size.value_or(std::to_string(setup_size)) + "\n");
    setup_path_ = join_path(download_folder(), setup_name);
    DeleteFileW(widen(setup_path_).c_str());
    DeleteFileW(widen(setup_path_ + ".record").c_str());
  }

  void serve_feed(const std::string& text) { test::serve_text(base_ + "latest.yml", text); }

  // The state a run starts from: what the Install click leaves behind.
  void SetUp() override {
    window_ = std::make_unique<test::MessageWindow>();
    set_state(Screen::Downloading, "Starting...", "", false);
    set_launch_path("");
    app_state().cancel_requested = false;
    app_state().progress_permille = 0;
    window_->drain();
  }
  void TearDown() override { window_.reset(); }

  struct Posted {
    UINT message;
    WPARAM wparam;
  };

  // Runs the worker on this thread, with no pause between download attempts, and returns what
  // it posted to the window.
  std::vector<Posted> run(const std::string& folder) {
    run_install_worker(folder, {}, [] {});  // no locks
    std::vector<Posted> posted;
    for (const MSG& m : window_->drain()) posted.push_back({m.message, m.wParam});
    return posted;
  }

  // `run`, and nothing may change outside the download folder and `folder`: not elsewhere in the
  // temporary folder (which holds both) and not at the root of drive C:.
  std::vector<Posted> run_watched(const std::string& folder) {
    const std::string temp = *temp_folder();
    const auto temp_before = test::files_under(temp);
    const auto root_before = test::files_under("C:\\", false);
    auto posted = run(folder);
    const std::vector<std::string> allowed = {download_folder(), folder};
    for (const std::string& path :
         test::changed_outside(temp_before, test::files_under(temp), allowed)) {
      ADD_FAILURE() << "written outside the run's folders: " << path;
    }
    for (const std::string& path :
         test::changed_outside(root_before, test::files_under("C:\\", false), allowed)) {
      ADD_FAILURE() << "written at the root of C: " << path;
    }
    return posted;
  }

  // The run ended on `reason` and the setup program was never started; its file is gone.
  void expect_failed_unrun(const std::vector<Posted>& posted, std::string_view reason) {
    expect_failed(posted, reason);
    EXPECT_FALSE(test::read_setup_record(setup_path_).has_value()) << "the setup program ran";
    EXPECT_FALSE(file_exists(setup_path_));
  }

  // A whole run into `folder` that ends on Done, with the setup program told exactly that folder,
  // which exists, without the probe file.
  void expect_installed(const std::string& folder) {
    run_watched(folder);
    EXPECT_EQ(snapshot_state().screen, Screen::Done) << snapshot_state().detail;
    const auto record = test::read_setup_record(setup_path_);
    ASSERT_TRUE(record) << folder;
    EXPECT_EQ(record->command_line, "\"" + setup_path_ + "\" /S /currentuser /D=" + folder);
    EXPECT_TRUE(test::folder_exists(folder));
    EXPECT_FALSE(file_exists(folder + "\\.quorvane-write-probe")) << folder;
  }

  // A failed run ends with the Failed state and its one message, and posts nothing else.
  void expect_failed(const std::vector<Posted>& posted, std::string_view reason) {
    const StateSnapshot s = snapshot_state();
    EXPECT_EQ(s.screen, Screen::Failed);
    EXPECT_EQ(s.status, kFailedStatus);
    EXPECT_EQ(s.detail, reason);
    EXPECT_TRUE(s.show_full_installer_link);
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.back().message, MSG_STATE_CHANGED);
    for (const Posted& p : posted) EXPECT_NE(p.message, MSG_RUN_FINISHED);
  }

  std::string folder(const std::string& name) { return test::scratch_path("run " + name); }

  std::string base_;
  std::string setup_path_;
  std::optional<ScopedEnvironment> feed_url_;
  std::unique_ptr<test::MessageWindow> window_;
};

TEST_F(InstallRun, FromFolderCheckToDoneWithTheProductReadyToLaunch) {
  serve_release("full");
  const std::string install_folder = folder("full") + "\\My Apps\\Quorvane";
  const std::string gate = test::scratch_path("full-gate");
  ScopedEnvironment product(L"QV_FAKE_SETUP_PRODUCT", L"1");
  ScopedEnvironment gated(L"QV_FAKE_SETUP_GATE", widen(gate));

  start_detached_thread([install_folder] { run_install_worker(install_folder, {}, [] {}); });

  // The setup program holds at its gate: the Installing screen is up meanwhile.
  std::vector<Screen> screens;
  while (screens.empty() || screens.back() != Screen::Installing) {
    ASSERT_TRUE(window_->wait_for(MSG_STATE_CHANGED, 30000));
    const Screen now = snapshot_state().screen;
    if (screens.empty() || screens.back() != now) screens.push_back(now);
  }
  const StateSnapshot installing = snapshot_state();
  EXPECT_EQ(installing.status, "Installing Quorvane 1.2.3...");
  EXPECT_EQ(installing.detail, "Setting things up \xE2\x80\x94 please keep this window open.");
  EXPECT_FALSE(installing.show_full_installer_link);
  // The worker stores 0 right after the Installing state and before it starts the setup program;
  // once the program has written its record, that store has happened.
  const std::wstring record_file = widen(setup_path_ + ".record");
  for (int i = 0; i < 3000 && GetFileAttributesW(record_file.c_str()) == INVALID_FILE_ATTRIBUTES;
       ++i) {
    Sleep(10);
  }
  EXPECT_EQ(app_state().progress_permille.load(), 0u);
  // Screens never go backwards.
  EXPECT_TRUE(std::is_sorted(screens.begin(), screens.end())) << screens.size();
  // From the verification to the program's end the file is ours: the bytes that were verified are
  // the bytes that run.
  EXPECT_TRUE(test::another_program_is_refused(setup_path_));
  test::write_file(gate, "go");

  ASSERT_TRUE(window_->wait_for(MSG_RUN_FINISHED, 30000));
  // The run-finished message found the final state and the launch path in place.
  const StateSnapshot done = snapshot_state();
  EXPECT_EQ(done.screen, Screen::Done);
  EXPECT_EQ(done.status, "You're all set.");
  EXPECT_EQ(done.detail, "Quorvane is installed and ready.");
  EXPECT_FALSE(done.show_full_installer_link);
  EXPECT_EQ(launch_path_copy(), install_folder + "\\Quorvane.exe");
  EXPECT_EQ(app_state().progress_permille.load(), 1000u);

  const auto record = test::read_setup_record(setup_path_);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->command_line, "\"" + setup_path_ + "\" /S /currentuser /D=" + install_folder);
  EXPECT_FALSE(file_exists(setup_path_));
  EXPECT_FALSE(file_exists(install_folder + "\\.quorvane-write-probe"));

  // One plain request for the feed, one for the setup program, whose spaces WinHTTP escaped.
  EXPECT_EQ(test::request_log(base_ + "latest.yml").size(), 1u);
  const auto downloads = test::request_log(base_ + "Quorvane%20Setup%201.2.3.exe");
  ASSERT_EQ(downloads.size(), 1u);
  EXPECT_EQ(downloads[0].range, "");
}

TEST_F(InstallRun, ExitCodeZeroWithoutTheProductIsDoneWithNothingToLaunch) {
  // A name with non-ASCII letters downloads too.
  const std::string name = "Quorvane Setup \xC3\xA9t\xC3\xA9 1.2.3.exe";
  serve_release("no-product", name);
  const auto posted = run(folder("no-product"));
  const StateSnapshot s = snapshot_state();
  EXPECT_EQ(s.screen, Screen::Done);
  EXPECT_EQ(s.status, "Quorvane is installed.");
  EXPECT_EQ(s.detail, "You can close this window.");
  EXPECT_EQ(launch_path_copy(), "");
  ASSERT_GE(posted.size(), 2u);
  EXPECT_EQ(posted[posted.size() - 2].message, MSG_STATE_CHANGED);
  EXPECT_EQ(posted.back().message, MSG_RUN_FINISHED);
  EXPECT_EQ(posted.back().wparam, kRunSucceeded);
  EXPECT_TRUE(test::read_setup_record(setup_path_).has_value());
}

TEST_F(InstallRun, SetupErrorCodesEndOnFailedAndTheFileIsDeleted) {
  for (const auto& [code, reason] :
       {std::pair{L"1", "the installer reported an error (code 1)"},
        std::pair{L"0xC0000005", "the installer reported an error (code -1073741819)"}}) {
    serve_release(code[0] == L'1' ? "exit-1" : "exit-crash");
    ScopedEnvironment exit(L"QV_FAKE_SETUP_EXIT", code);
    expect_failed(run(folder("exit")), reason);
    EXPECT_TRUE(test::read_setup_record(setup_path_).has_value());
    EXPECT_FALSE(file_exists(setup_path_));
    EXPECT_EQ(launch_path_copy(), "");
  }
}

TEST_F(InstallRun, ChecksumMismatchDiscardsTheDownload) {
  // The digest of another file, then one that decodes to a single byte.
  for (const std::string& sha :
       {test::serve_file("/install/mismatch/other.bin", 1000), std::string("====")}) {
    serve_release("mismatch", kSetupName, sha);
    expect_failed(run(folder("mismatch")),
                  "the download failed verification (checksum mismatch), so it was discarded");
    EXPECT_FALSE(file_exists(setup_path_));
    EXPECT_FALSE(test::read_setup_record(setup_path_).has_value());  // never run
  }
}

TEST_F(InstallRun, UnsafeSetupNamesAreRefusedBeforeAnyDownload) {
  std::vector<std::string> names = {
      "..\\evil.exe", "../evil.exe", "C:evil.exe", "..", "a\x01.exe",
      // Windows drops trailing dots and spaces: another name for "a.exe", and the folder itself.
      "a.exe.", "a.exe ", "...", "a<b.exe", "a>b.exe", "a\"b.exe", "a|b.exe", "a?b.exe", "a*b.exe",
      "C:x.exe", "\\\\server\\share\\x.exe", "setup.exe:stream", "con.exe", "NUL.txt",
      "cOm\xC2\xB9", "COM\xC2\xB2.exe", "lpt\xC2\xB3.msi", "Com0.exe", "aux.tar.gz"};
  for (const char* device : {"CON", "PRN", "AUX", "NUL"}) names.push_back(device);
  for (char digit = '1'; digit <= '9'; ++digit) {
    names.push_back(std::string("COM") + digit);
    names.push_back(std::string("lpt") + digit + ".exe");
  }
  serve_release("unsafe-name");
  for (const std::string& name : names) {
    // Quoted, so that the feed keeps a trailing space.
    serve_feed("version: 1.2.3\npath: \"" + name + "\"\nsha512: ====\n");
    test::control("reset");
    expect_failed_unrun(run_watched(folder("unsafe")), kUnsafeSetupName);
    const auto log = test::request_log("");
    ASSERT_EQ(log.size(), 1u) << name;  // the feed only
    EXPECT_EQ(log[0].path, base_ + "latest.yml");
  }
}

TEST_F(InstallRun, HostileFeedsEndTheRunBeforeAnyDownload) {
  serve_release("hostile-feed");
  const std::string sha = test::sha512_base64(test::fake_setup_path());
  const std::string feed =
      "version: 1.2.3\npath: " + std::string(kSetupName) + "\nsha512: " + sha + "\n";
  const std::string feed_file = test::served_root() + "\\install\\hostile-feed\\latest.yml";
  constexpr char kNotText[] = "feed was not valid text";
  const std::pair<std::function<void()>, std::string> cases[] = {
      // A megabyte of random bytes (a fixed seed).
      {[&] {
         test::control("make",
                       "path=" + test::url_encode(base_ + "latest.yml") + "&size=1048576&seed=77");
       },
       kNotText},
      // The body ends inside "é".
      {[&] { test::write_file(feed_file, feed + "# caf\xC3"); }, kNotText},
      // A valid feed of more than 64 KiB whose cut at 65,536 bytes falls inside "é".
      {[&] {
         std::string text = feed + std::string(65535 - feed.size(), '#');
         test::write_file(feed_file, text + "\xC3\xA9\n# more\n");
       },
       kNotText},
      // A captive portal's sign-in page, served with 200.
      {[&] { test::plan(base_ + "latest.yml", "portal"); },
       "the release feed is missing a version"},
      // All four keys, but a checksum whose length is no base64 length.
      {[&] { serve_feed(feed.substr(0, feed.size() - 2) + "\nsize: 1000\n"); },
       "the feed checksum is malformed"},
  };
  for (const auto& [serve, reason] : cases) {
    test::control("reset");
    serve();
    expect_failed_unrun(run_watched(folder("hostile-feed")), reason);
    const auto log = test::request_log("");
    ASSERT_EQ(log.size(), 1u) << reason;  // the feed only
    EXPECT_EQ(log[0].path, base_ + "latest.yml");
  }
}

TEST_F(InstallRun, HostileDownloadsFailVerificationAndAreNeverRun) {
  serve_release("hostile-download");
  const std::string setup = *test::read_file(test::fake_setup_path());
  const std::string sha = test::sha512_base64(test::fake_setup_path());
  const std::string url = base_ + "Quorvane%20Setup%201.2.3.exe";
  const std::string served = test::served_root() + "\\install\\hostile-download\\" + kSetupName;
  const std::string feed = "version: 1.2.3\npath: " + std::string(kSetupName) +
                           "\nsize: " + std::to_string(setup.size()) + "\nsha512: ";
  const std::pair<std::function<void()>, std::string> cases[] = {
      // A captive portal's page of exactly the expected length instead of the program.
      {[&] { test::plan(url, "portal:" + std::to_string(setup.size())); }, sha},
      // The program with a banner after it: a body longer than the feed's size.
      {[&] { test::write_file(served, setup + std::string(4096, '<')); }, sha},
      // A checksum of the wrong length: the first 32 bytes of the right digest.
      {[&] { test::serve_copy(base_ + kSetupName, test::fake_setup_path()); },
       sha.substr(0, 43) + "="},
  };
  for (const auto& [serve, checksum] : cases) {
    test::control("reset");
    serve_feed(feed + checksum + "\n");
    serve();
    expect_failed_unrun(
        run_watched(folder("hostile-download")),
        "the download failed verification (checksum mismatch), so it was discarded");
    EXPECT_EQ(test::request_log(url).size(), 1u) << checksum;
  }
}

TEST_F(InstallRun, FolderProblemsEndTheRunBeforeTheFeed) {
  serve_release("folder");
  const std::string base = folder("folder");
  ASSERT_TRUE(create_folder_tree(base + "\\probe\\.quorvane-write-probe"));
  test::write_file(base + "\\a file", "");
  test::control("reset");

  expect_failed(run(base + "\\a file"), kFolderNotCreatable);
  expect_failed(run(base + "\\probe"), kFolderNotWritable);
  // Names Windows would create shortened, a drive that does not exist, a text of more than 260
  // characters: refused before anything is made.
  for (const std::string& text :
       {base + "\\Quorvane.", base + "\\Quorvane .", base + "\\Quorvane..",
        base + "\\Apps .\\Quorvane", base + "\\Apps.\\Quorvane", std::string("Q:\\Quorvane"),
        base + "\\" + std::string(261, 'q')}) {
    expect_failed(run_watched(text), kFolderNotCreatable);
    EXPECT_EQ(test::files_under(base).size(), 3u) << text;  // "a file", "probe" and its probe
  }
  EXPECT_TRUE(test::request_log("").empty());
}

TEST_F(InstallRun, LongestFolderAndLeftoverProbesStillInstall) {
  const std::string base = folder("folder-works");
  const std::size_t probe_units = widen(base).size() + 1 + kProbeFileName.size() + 1;
  ASSERT_LT(probe_units, kMaxPathUnits);
  // The probe file's path exactly as long as Windows allows.
  const std::string longest = base + "\\" + std::string(kMaxPathUnits - probe_units, 'q');
  const std::string left = base + "\\left";
  for (const DWORD attributes : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN,
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN}) {
    ASSERT_TRUE(create_folder_tree(left));
    test::write_file(left + "\\.quorvane-write-probe", "left by an earlier run");
    ASSERT_TRUE(SetFileAttributesW(widen(left + "\\.quorvane-write-probe").c_str(), attributes));
    serve_release("folder-works");
    expect_installed(left);
  }
  serve_release("folder-works");
  expect_installed(longest);
}

TEST_F(InstallRun, FeedProblemsEndTheRun) {
  serve_release("feed");
  const std::string sha = "sha512: " + test::sha512_base64(test::fake_setup_path()) + "\n";
  const std::pair<std::string, std::string> cases[] = {
      {"path: a.exe\n" + sha, "the release feed is missing a version"},
      {"version: 1\n" + sha, "the release feed is missing the installer name"},
      {"version: 1\npath: a.exe\n", "the release feed is missing the checksum"},
      {"version: 1\npath: a.exe\nsha512: abc-def_\n", "the feed checksum is malformed"},
      {"version: 1\npath: a.exe\nsha512: ====\nsize: 1125899906842624\n",
       "Not enough space on " + drive_label(*temp_folder()) +
           " for the download \xE2\x80\x94 Quorvane needs about 1073741824 MB free there."},
  };
  for (const auto& [feed, reason] : cases) {
    serve_feed(feed);
    expect_failed(run(folder("feed")), reason);
  }
  test::plan(base_ + "latest.yml", "status:503");
  expect_failed(run(folder("feed")), "server answered HTTP 503");
  test::control("make", "path=" + test::url_encode(base_ + "latest.yml") + "&size=5000&seed=2");
  expect_failed(run(folder("feed")), "feed was not valid text");
}

TEST_F(InstallRun, SmallVolumes) {
  const char* volume = std::getenv("QV_FULL_DISK_DIR");
  std::string target = std::string("Z:") + (volume ? volume : "/nonexistent");
  for (char& c : target) {
    if (c == '/') c = '\\';
  }
  if (!file_exists(target + "\\.tmpfs-4m")) GTEST_SKIP() << "no small volume mounted for this run";
  serve_release("small-volume");
  expect_failed(run(target + "\\install run"),
                "Not enough space on Z: to install \xE2\x80\x94 Quorvane needs about 2 GB free.");

  // The temporary folder there. What an earlier run left is swept before the room is judged; then
  // this release's complete file needs no room at all.
  const std::string install_folder = folder("small temp");  // on C:, made before TEMP moves
  const ScopedEnvironment tmp(L"TMP", widen(target)), temp(L"TEMP", widen(target));
  const std::string setup = *test::read_file(test::fake_setup_path());
  const std::string filler = target + "\\filler";
  const auto fill_all_but = [&](const std::string& path, std::uint64_t left) {
    test::write_file(path, std::string(*free_bytes_for_user(target) - left, 'x'));
  };
  serve_release("small-volume");
  ASSERT_TRUE(create_folder_tree(download_folder()));
  fill_all_but(join_path(download_folder(), "Quorvane Setup 1.2.2.exe"), setup.size() / 2);
  expect_installed(install_folder);

  test::write_file(setup_path_, setup);
  fill_all_but(filler, setup.size() / 2);
  expect_installed(install_folder);
  EXPECT_EQ(test::request_log(base_ + "Quorvane%20Setup%201.2.3.exe").size(), 1u);
  DeleteFileW(widen(filler).c_str());
}

TEST_F(InstallRun, TempFolderThatCannotBeCreated) {
  serve_release("temp");
  const std::string install_folder = folder("temp");
  const std::string blocker = test::scratch_path("temp-blocker");
  ASSERT_TRUE(create_folder_tree(*parent_folder(blocker)));
  test::write_file(blocker, "a file where the temporary folder should be");
  {
    ScopedEnvironment tmp(L"TMP", widen(blocker + "\\Temp"));
    ScopedEnvironment temp(L"TEMP", widen(blocker + "\\Temp"));
    expect_failed(run(install_folder), "couldn't create a temp folder");
  }

  // A folder where the download goes is no other program's hold: said at once, not waited out.
  test_busy_bound_ms = 200;  // were it waited out, the reason would say "locked"
  ASSERT_TRUE(create_folder_tree(setup_path_));
  expect_failed(run(install_folder), "couldn't write to the temp folder");
  test_busy_bound_ms.reset();
  EXPECT_TRUE(RemoveDirectoryW(widen(setup_path_).c_str()));
}

TEST_F(InstallRun, DownloadReasonsPassUnchanged) {
  serve_release("download-404");
  test::plan(base_ + "Quorvane%20Setup%201.2.3.exe", "status:404,status:404,status:404,status:404");
  expect_failed(run(folder("download")), "server answered HTTP 404");
  EXPECT_EQ(test::request_log(base_ + "Quorvane%20Setup%201.2.3.exe").size(), 4u);
}

// The HTTPS servers that tests/support/with_tls_server.py runs: nginx with certificates of a
// private authority that only the test prefix trusts, one port per certificate.
std::string tls_server(const char* variable) {
  const char* url = std::getenv(variable);
  return url ? url : "";
}

struct NginxRequest {
  std::string uri, range, status, body_bytes;
};

// The requests nginx logged on the port of `server` for `uri` (every URI when empty). nginx writes
// a line only after the answer went out, so this waits up to 5 s for `expected` lines to appear.
std::vector<NginxRequest> tls_requests(const std::string& server, const std::string& uri,
                                       std::size_t expected) {
  std::string port = server.substr(server.rfind(':') + 1);
  if (!port.empty() && port.back() == '/') port.pop_back();
  const char* log = std::getenv("QV_TEST_TLS_LOG");
  std::vector<NginxRequest> rows;
  for (int i = 0; i < 500; ++i, Sleep(10)) {
    rows.clear();
    std::istringstream lines(test::read_file(log ? log : "").value_or(""));
    std::string line;
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string logged_port;
      NginxRequest row;
      std::getline(fields, logged_port, '\t');
      std::getline(fields, row.uri, '\t');
      std::getline(fields, row.range, '\t');
      std::getline(fields, row.status, '\t');
      std::getline(fields, row.body_bytes, '\t');
      if (logged_port == port && (uri.empty() || row.uri == uri)) rows.push_back(row);
    }
    if (rows.size() >= expected) break;
  }
  return rows;
}

TEST_F(InstallRun, OverHttpsTheFeedAndAResumedDownloadWork) {
  const std::string server = tls_server("QV_TEST_TLS_SERVER");
  ASSERT_FALSE(server.empty()) << "run under tests/support/with_tls_server.py";
  serve_release("https");
  feed_url_.emplace(L"ZEL_BOOTSTRAP_FEED_URL", widen(server + base_.substr(1)));
  // A partial file from an earlier run, continued through nginx's own range handling.
  const std::string setup = *test::read_file(test::fake_setup_path());
  constexpr std::size_t kLeftOver = 100000;
  ASSERT_TRUE(create_folder_tree(download_folder()));
  test::write_file(setup_path_, setup.substr(0, kLeftOver));

  const auto posted = run(folder("https"));
  EXPECT_EQ(snapshot_state().screen, Screen::Done) << snapshot_state().detail;
  ASSERT_FALSE(posted.empty());
  EXPECT_EQ(posted.back().message, MSG_RUN_FINISHED);
  EXPECT_TRUE(test::read_setup_record(setup_path_).has_value());  // verified, then run

  const auto feed = tls_requests(server, base_ + "latest.yml", 1);
  ASSERT_EQ(feed.size(), 1u);
  EXPECT_EQ(feed[0].status, "200");
  const auto download = tls_requests(server, base_ + "Quorvane%20Setup%201.2.3.exe", 1);
  ASSERT_EQ(download.size(), 1u);
  EXPECT_EQ(download[0].range, "bytes=100000-");
  EXPECT_EQ(download[0].status, "206");
  EXPECT_EQ(download[0].body_bytes, std::to_string(setup.size() - kLeftOver));
  EXPECT_TRUE(test::request_log(base_ + "latest.yml").empty());  // nothing over plain HTTP
}

TEST_F(InstallRun, OverHttpsAFileShorterOnTheServerThanTheFeedSaysIsToldAtOnce) {
  const std::string server = tls_server("QV_TEST_TLS_SERVER");
  ASSERT_FALSE(server.empty()) << "run under tests/support/with_tls_server.py";
  const std::string setup = *test::read_file(test::fake_setup_path());
  // The feed says twice the size: nginx's answer to a fresh start gives the real length, to a
  // resume the real total (206), and to a resume from past the end the total alone (416).
  for (const std::size_t leftover : {std::size_t{0}, setup.size() / 2, setup.size() + 10}) {
    serve_release("https-short", kSetupName, std::nullopt, std::to_string(setup.size() * 2));
    feed_url_.emplace(L"ZEL_BOOTSTRAP_FEED_URL", widen(server + base_.substr(1)));
    ASSERT_TRUE(create_folder_tree(download_folder()));
    if (leftover != 0) test::write_file(setup_path_, std::string(leftover, 'M'));
    const std::size_t before =
        tls_requests(server, base_ + "Quorvane%20Setup%201.2.3.exe", 0).size();

    expect_failed_unrun(run(folder("https-short")),
                        "the file on the server is smaller than the release feed says");
    const auto downloads = tls_requests(server, base_ + "Quorvane%20Setup%201.2.3.exe", before + 1);
    ASSERT_EQ(downloads.size(), before + 1) << leftover;  // one request, no retry
    EXPECT_EQ(downloads.back().status, leftover == 0             ? "200"
                                       : leftover < setup.size() ? "206"
                                                                 : "416");
  }
}

TEST_F(InstallRun, OverHttpsACertificateThatFailsItsCheckEndsTheRunAtTheFeed) {
  for (const char* variable :
       {"QV_TEST_TLS_OTHER_HOST", "QV_TEST_TLS_EXPIRED", "QV_TEST_TLS_UNTRUSTED"}) {
    const std::string server = tls_server(variable);
    ASSERT_FALSE(server.empty()) << "run under tests/support/with_tls_server.py";
    serve_release("https-refused");
    feed_url_.emplace(L"ZEL_BOOTSTRAP_FEED_URL", widen(server + base_.substr(1)));
    const std::string left_over = "MZ left over from an earlier run";
    ASSERT_TRUE(create_folder_tree(download_folder()));
    test::write_file(setup_path_, left_over);

    expect_failed(run(folder("https-refused")),
                  "couldn't reach the download server - check your internet connection");
    EXPECT_EQ(test::read_file(setup_path_), left_over) << variable;  // not a byte written
    EXPECT_FALSE(test::read_setup_record(setup_path_).has_value()) << variable;  // nothing run
    EXPECT_TRUE(tls_requests(server, "", 0).empty()) << variable;  // no request got through
  }
}

TEST_F(InstallRun, AFileThatIsNoProgramCannotBeStartedAndStays) {
  serve_release("not-a-program");
  const std::string sha = test::serve_file(base_ + kSetupName, 50000, 7);
  serve_feed(std::string("version: 1.2.3\npath: ") + kSetupName + "\nsha512: " + sha + "\n");
  expect_failed(run(folder("not-a-program")), kInstallerNotStarted);
  EXPECT_TRUE(file_exists(setup_path_));
}

TEST_F(InstallRun, ABlockedSetupIsToldAsSuchAndTryAgainVerifiesWithoutDownloading) {
  serve_release("blocked");
  test_setup_start_error = 1260;  // ERROR_ACCESS_DISABLED_BY_POLICY
  expect_failed(run(folder("blocked")), kInstallerBlocked);
  test_setup_start_error.reset();
  EXPECT_TRUE(file_exists(setup_path_));
  EXPECT_EQ(test::request_log(base_ + "Quorvane%20Setup%201.2.3.exe").size(), 1u);

  // What an earlier run could not delete goes; the complete download is verified and run as it is.
  const std::string old_leftover = join_path(download_folder(), "Quorvane Setup 1.2.2.exe");
  test::write_file(old_leftover, "left by an earlier run");
  expect_installed(folder("blocked"));
  EXPECT_EQ(test::request_log(base_ + "Quorvane%20Setup%201.2.3.exe").size(), 1u);
  EXPECT_FALSE(file_exists(old_leftover));
  EXPECT_FALSE(file_exists(setup_path_));

  // A file of the right size that is not this release is downloaded afresh, in the same run.
  const std::string served = *test::read_file(test::fake_setup_path());
  test::write_file(setup_path_, std::string(served.size(), 'Z'));
  expect_installed(folder("blocked"));
  EXPECT_EQ(test::request_log(base_ + "Quorvane%20Setup%201.2.3.exe").size(), 2u);
}

TEST_F(InstallRun, CancelDuringTheFeedFetchLeavesTheStateToTheWindow) {
  serve_release("cancel-feed");
  app_state().cancel_requested = true;
  const auto posted = run(folder("cancel-feed"));
  ASSERT_FALSE(posted.empty());
  EXPECT_EQ(posted.back().message, MSG_RUN_FINISHED);
  EXPECT_EQ(posted.back().wparam, kRunCanceled);
  const StateSnapshot s = snapshot_state();
  EXPECT_EQ(s.screen, Screen::Downloading);
  EXPECT_EQ(s.status, "Checking the latest version...");
}

TEST_F(InstallRun, CancelDuringTheDownloadDeletesThePartialFile) {
  // A large setup program that stalls after its first mebibyte.
  const std::string sha = test::serve_file("/install/cancel-download/big.exe", 8 << 20, 9);
  serve_release("cancel-download", "big.exe", sha);
  test::plan(base_ + "big.exe", "stallbody:1048576:1500");
  const std::string install_folder = folder("cancel-download");
  start_detached_thread([install_folder] { run_install_worker(install_folder, {}, [] {}); });

  // Cancel once the download has begun.
  for (;;) {
    ASSERT_TRUE(window_->wait_for(MSG_STATE_CHANGED, 30000));
    if (snapshot_state().status == "Downloading Quorvane 1.2.3...") break;
  }
  app_state().cancel_requested = true;
  ASSERT_TRUE(window_->wait_for(MSG_RUN_FINISHED, 30000));
  EXPECT_EQ(snapshot_state().screen, Screen::Downloading);
  EXPECT_FALSE(file_exists(setup_path_));
  // Nothing after the run-finished message.
  for (const MSG& m : window_->drain()) EXPECT_NE(m.message, MSG_RUN_FINISHED);
}

}  // namespace
}  // namespace qv

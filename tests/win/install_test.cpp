// The install folder, the checksum verification, the setup program's held file and the setup
// runner on the real file system, with real BCrypt and real child processes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "app/handles_win.h"
#include "app/text_win.h"
#include "app/thread_win.h"
#include "install/busy_wait_win.h"
#include "install/checksum.h"
#include "install/checksum_win.h"
#include "install/location.h"
#include "install/location_win.h"
#include "install/setup_command.h"
#include "install/setup_file_win.h"
#include "install/setup_runner_win.h"
#include "install_support.h"
#include "test_support.h"

namespace qv {
namespace {

using test::file_exists;
using test::folder_exists;
using test::read_file;
using test::ScopedEnvironment;
using test::scratch_path;
using test::write_file;

constexpr char kEmptySha512[] =
    "z4PhNX7vuL3xVChQ1m2AB9Yg5AULVxXcg/SpIdNs6c5H0NE8XYXysP+DGNKHfuwvY7kxvUdBeoGlODJ6+SfaPg==";
constexpr char kAbcSha512[] =
    "3a81oZNherrMQXNJriBBMRLm+k6JqX6iCp7u5ktV05ohkpkqJ0/BqDa6PCOj/uu9RU1EI2Q86A4qmslPpUyknw==";

std::vector<std::uint8_t> digest(std::string_view base64) {
  return decode_feed_checksum(base64).value();
}

TEST(InstallFolder, DefaultFollowsLocalAppData) {
  {
    ScopedEnvironment env(L"LOCALAPPDATA", L"D:\\Users\\ana\\AppData\\Local");
    EXPECT_EQ(default_install_folder(), "D:\\Users\\ana\\AppData\\Local\\Programs\\Quorvane");
  }
  {
    ScopedEnvironment env(L"LOCALAPPDATA", L"");
    EXPECT_EQ(default_install_folder(), "\\Programs\\Quorvane");
  }
  {
    ScopedEnvironment env(L"LOCALAPPDATA", std::nullopt);
    EXPECT_EQ(default_install_folder(), "C:\\\\Programs\\Quorvane");
  }
}

TEST(InstallFolder, CreatesEveryParentAndRemovesTheProbe) {
  const std::string folder =
      scratch_path("prepare") + "\\My Apps\\Quorvane \xC3\xA9t\xC3\xA9\\nested";
  ASSERT_TRUE(prepare_install_folder(folder).ok());
  EXPECT_TRUE(folder_exists(folder));
  EXPECT_FALSE(file_exists(folder + "\\.quorvane-write-probe"));

  // An existing folder is fine, and a probe left from an earlier run is overwritten and deleted.
  write_file(folder + "\\.quorvane-write-probe", "left over");
  ASSERT_TRUE(prepare_install_folder(folder + "\\").ok());
  EXPECT_FALSE(file_exists(folder + "\\.quorvane-write-probe"));
}

TEST(InstallFolder, DriveRootsAndExistingFoldersNeedNoCreating) {
  // Windows answers "access denied" when asked to create a drive root; it exists all the same.
  EXPECT_TRUE(create_folder_tree("C:\\"));
  EXPECT_TRUE(create_folder_tree("C:"));
  const std::string folder = scratch_path("existing") + "\\one\\two";
  ASSERT_TRUE(create_folder_tree(folder));
  EXPECT_TRUE(create_folder_tree(folder));
  EXPECT_TRUE(create_folder_tree(folder + "\\"));
  EXPECT_TRUE(folder_exists(folder));
}

TEST(InstallFolder, AFileInTheWayCannotBecomeAFolder) {
  const std::string base = scratch_path("file-in-the-way");
  ASSERT_TRUE(create_folder_tree(base));
  write_file(base + "\\taken", "a file");
  EXPECT_EQ(prepare_install_folder(base + "\\taken").reason(), kFolderNotCreatable);
  EXPECT_EQ(prepare_install_folder(base + "\\taken\\below").reason(), kFolderNotCreatable);
  EXPECT_EQ(prepare_install_folder("Q:\\no such drive").reason(), kFolderNotCreatable);
  EXPECT_EQ(read_file(base + "\\taken"), "a file");
}

TEST(InstallFolder, AProbeThatCannotBeWrittenMeansNotWritable) {
  const std::string folder = scratch_path("probe-is-a-folder");
  ASSERT_TRUE(create_folder_tree(folder + "\\.quorvane-write-probe"));
  EXPECT_EQ(prepare_install_folder(folder).reason(), kFolderNotWritable);
  EXPECT_TRUE(folder_exists(folder + "\\.quorvane-write-probe"));
}

TEST(InstallFolder, AProbeLeftReadOnlyOrHiddenIsReplaced) {
  // Left by an earlier run or by someone else: it says nothing about the folder, which is writable.
  const std::string folder = scratch_path("left-probe");
  ASSERT_TRUE(create_folder_tree(folder));
  const std::string probe = folder + "\\.quorvane-write-probe";
  for (const DWORD attributes :
       {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN,
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}) {
    write_file(probe, "old");
    ASSERT_TRUE(SetFileAttributesW(widen(probe).c_str(), attributes));
    EXPECT_TRUE(prepare_install_folder(folder).ok()) << attributes;
    EXPECT_FALSE(file_exists(probe)) << attributes;
    SetFileAttributesW(widen(probe).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST(InstallFolder, AProbeThatCannotBeDeletedStaysAndTheFolderPasses) {
  const std::string folder = scratch_path("undeletable-probe");
  ASSERT_TRUE(create_folder_tree(folder));
  const std::string probe = folder + "\\.quorvane-write-probe";
  write_file(probe, "");
  // A reader that lets others write but not delete.
  OwnedFile reader(CreateFileW(widen(probe).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
  ASSERT_TRUE(reader);
  EXPECT_TRUE(prepare_install_folder(folder).ok());
  reader.reset();
  EXPECT_EQ(read_file(probe), "x");
}

TEST(TempFolder, FollowsTheProcessVariablesAndEndsInASeparator) {
  const std::string mine = scratch_path("my-temp");
  ASSERT_TRUE(create_folder_tree(mine));
  ScopedEnvironment tmp(L"TMP", widen(mine));
  EXPECT_EQ(temp_folder(), mine + "\\");
}

TEST(FreeSpace, RealQueriesAndTheDownloadMessage) {
  const std::string folder = scratch_path("space");
  ASSERT_TRUE(create_folder_tree(folder));
  EXPECT_TRUE(free_bytes_for_user(folder).has_value());
  EXPECT_FALSE(free_bytes_for_user("Q:\\nowhere").has_value());
  // A query that fails never blocks the run.
  EXPECT_TRUE(check_free_space("Q:\\nowhere", 0).ok());

  // No disk holds a petabyte: the temporary folder's drive is named.
  const std::string label = drive_label(*temp_folder());
  EXPECT_EQ(check_free_space(folder, std::uint64_t{1} << 50).reason(),
            "Not enough space on " + label +
                " for the download \xE2\x80\x94 Quorvane needs about 1073741824 MB free there.");
}

// The 4 MiB tmpfs that the test run mounts when it can (tests/support/full_disk.sh).
std::optional<std::string> small_volume() {
  const char* path = std::getenv("QV_FULL_DISK_DIR");
  if (!path || !*path) return std::nullopt;
  std::string windows = std::string("Z:") + path;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  if (!file_exists(windows + "\\.tmpfs-4m")) return std::nullopt;
  return windows;
}

TEST(FreeSpace, SmallVolumeGivesBothMessages) {
  const auto volume = small_volume();
  if (!volume) GTEST_SKIP() << "no small volume mounted for this run";
  const std::string folder = *volume + "\\install-here";
  ASSERT_TRUE(prepare_install_folder(folder).ok());
  EXPECT_EQ(check_free_space(folder, 0).reason(),
            "Not enough space on Z: to install \xE2\x80\x94 Quorvane needs about 2 GB free.");

  ScopedEnvironment tmp(L"TMP", widen(*volume));
  EXPECT_EQ(check_free_space(scratch_path("small-volume-install"), 5u << 20).reason(),
            "Not enough space on Z: for the download \xE2\x80\x94 Quorvane needs about 5 MB free "
            "there.");
}

const std::atomic<bool> kGoOn{false};

// Through the file's hold, as the worker verifies.
Status verify(const std::string& path, std::string_view sha, const std::atomic<bool>& cancel) {
  Result<OwnedFile> hold = hold_setup_file(path, BusyWait{});
  if (!hold) return fail(hold.reason());
  return verify_download(hold->get(), digest(sha), cancel);
}

TEST(VerifyDownload, MatchingFilesPassAndStay) {
  const std::string folder = scratch_path("verify-match");
  ASSERT_TRUE(create_folder_tree(folder));

  write_file(folder + "\\abc.exe", "abc");
  EXPECT_TRUE(verify(folder + "\\abc.exe", kAbcSha512, kGoOn).ok());
  EXPECT_TRUE(file_exists(folder + "\\abc.exe"));

  // The SHA-512 of no bytes.
  write_file(folder + "\\empty.exe", "");
  EXPECT_TRUE(verify(folder + "\\empty.exe", kEmptySha512, kGoOn).ok());
  EXPECT_TRUE(file_exists(folder + "\\empty.exe"));

  // Several 1 MiB reads and a short last one, against the digest the server computed.
  const std::string sha = test::serve_file("/install/verify/big.bin", 3 * 1048576 + 17, 5);
  const std::string big = folder + "\\big setup.exe";
  ASSERT_TRUE(CopyFileW(widen(test::served_root() + "\\install\\verify\\big.bin").c_str(),
                        widen(big).c_str(), FALSE));
  // From the first byte whatever the hold's position: hashed twice through one hold.
  Result<OwnedFile> hold = hold_setup_file(big, BusyWait{});
  ASSERT_TRUE(hold.ok());
  EXPECT_TRUE(verify_download(hold->get(), digest(sha), kGoOn).ok());
  EXPECT_TRUE(verify_download(hold->get(), digest(sha), kGoOn).ok());
}

TEST(VerifyDownload, MismatchesAreToldAndTheFileIsLeftToTheCaller) {
  const std::string folder = scratch_path("verify-mismatch");
  ASSERT_TRUE(create_folder_tree(folder));
  const std::string file = folder + "\\setup.exe";

  // Another file's digest, and digests that decode to anything but 64 bytes (even the empty
  // file's): the install run discards the file.
  write_file(file, "abd");
  EXPECT_EQ(verify(file, kAbcSha512, kGoOn).reason(), kChecksumMismatch);
  for (const char* text :
       {"====", "", "z4PhNX7vuL3xVChQ1m2AB9Yg5AULVxXcg/SpIdNs6c5H0NE8XYXysP+D"}) {
    write_file(file, "");
    EXPECT_EQ(verify(file, text, kGoOn).reason(), kChecksumMismatch) << text;
  }
}

TEST(VerifyDownload, MissingAndCanceledFilesStay) {
  const std::string folder = scratch_path("verify-other");
  ASSERT_TRUE(create_folder_tree(folder));
  EXPECT_EQ(verify(folder + "\\gone.exe", kAbcSha512, kGoOn).reason(), kDownloadMissing);
  EXPECT_EQ(verify(folder + "\\gone\\setup.exe", kAbcSha512, kGoOn).reason(), kDownloadMissing);
  const std::string file = folder + "\\setup.exe";
  write_file(file, "abc");
  const std::atomic<bool> canceled{true};
  EXPECT_EQ(verify(file, kAbcSha512, canceled).reason(), kCanceled);
  EXPECT_TRUE(file_exists(file));
}

// Another program holds the file sharing nothing, as an on-access scanner does.
struct Scanner {
  explicit Scanner(const std::string& path)
      : file(CreateFileW(widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr)) {}
  OwnedFile file;
};

TEST(HeldSetupFile, AScannersHoldIsWaitedOutThenTheFileIsOurs) {
  const std::string folder = scratch_path("held");
  ASSERT_TRUE(create_folder_tree(folder));
  const std::string file = folder + "\\setup.exe";
  write_file(file, "abc");

  // Let go of after 300 ms: the wait shows itself once, and its end once.
  std::vector<bool> shown;
  const BusyWait wait{kBusyBoundMs, nullptr, [&](bool waiting) { shown.push_back(waiting); }};
  {
    Scanner scanner(file);
    ASSERT_TRUE(scanner.file);
    OwnedHandle release = start_thread([&] {
      Sleep(300);
      scanner.file.reset();
    });
    Result<OwnedFile> hold = hold_setup_file(file, wait);
    WaitForSingleObject(release.get(), INFINITE);
    ASSERT_TRUE(hold.ok()) << hold.reason();
    EXPECT_EQ(shown, (std::vector<bool>{true, false}));
    EXPECT_TRUE(verify_download(hold->get(), digest(kAbcSha512), kGoOn).ok());
    // Ours now: nobody may write to it or delete it, and readers that share reading still read.
    EXPECT_TRUE(test::another_program_is_refused(file));
    EXPECT_EQ(read_file(file), "abc");
    delete_setup_file(file, hold.value(), BusyWait{});
    EXPECT_FALSE(file_exists(file));
  }

  // Never let go of: given up on after the bound, without a word about a missing file.
  write_file(file, "abc");
  shown.clear();
  test_busy_bound_ms = 300;
  {
    Scanner scanner(file);
    EXPECT_EQ(hold_setup_file(file, wait).reason(), kDownloadLocked);
    OwnedFile none;
    delete_setup_file(file, none, wait);  // tried, and left for the next run
    EXPECT_TRUE(file_exists(file));
    // A cancel ends the wait at once.
    const std::atomic<bool> canceled{true};
    EXPECT_EQ(hold_setup_file(file, BusyWait{kBusyBoundMs, &canceled, {}}).reason(), kCanceled);
  }
  test_busy_bound_ms.reset();
  EXPECT_EQ(shown, (std::vector<bool>{true, false, true, false}));
  EXPECT_TRUE(file_exists(file));

  // Our own file's attributes and a folder of its name are nobody's hold: no wait at all.
  shown.clear();
  test_busy_bound_ms = 300;  // so that a wait, were there one, ends soon and shows
  SetFileAttributesW(widen(file).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
  OwnedFile none;
  delete_setup_file(file, none, wait);
  EXPECT_FALSE(file_exists(file));
  ASSERT_TRUE(create_folder_tree(file));
  EXPECT_EQ(hold_setup_file(file, wait).reason(), kDownloadUnreadable);
  test_busy_bound_ms.reset();
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(RemoveDirectoryW(widen(file).c_str()));
}

TEST(HeldSetupFile, LeftoversGoExceptTheCurrentDownload) {
  const std::string folder = scratch_path("leftovers");
  ASSERT_TRUE(create_folder_tree(folder + "\\sub"));
  for (const char* name : {"Quorvane Setup 1.0.0.exe", "Quorvane Setup 1.2.3.exe", "other.bin"}) {
    write_file(folder + "\\" + name, "x");
  }
  remove_leftover_downloads(folder, "quorvane setup 1.2.3.EXE");  // as Windows compares names
  EXPECT_EQ(test::files_under(folder, false).size(), 2u);
  EXPECT_TRUE(file_exists(folder + "\\Quorvane Setup 1.2.3.exe"));
  EXPECT_TRUE(folder_exists(folder + "\\sub"));
}

// A copy of the stand-in setup program at `path`, and the environment that steers it.
struct FakeSetup {
  FakeSetup(std::string path_, std::optional<std::wstring> exit_code, bool make_product,
            std::optional<std::wstring> sleep_ms = std::nullopt)
      : path(std::move(path_)),
        exit(L"QV_FAKE_SETUP_EXIT", std::move(exit_code)),
        product(L"QV_FAKE_SETUP_PRODUCT",
                make_product ? std::optional<std::wstring>(L"1") : std::nullopt),
        sleep(L"QV_FAKE_SETUP_SLEEP_MS", std::move(sleep_ms)) {
    create_folder_tree(*parent_folder(path));
    copied = CopyFileW(widen(test::fake_setup_path()).c_str(), widen(path).c_str(), FALSE);
  }
  std::string path;
  ScopedEnvironment exit, product, sleep;
  bool copied = false;
};

std::string current_folder() {
  wchar_t buffer[MAX_PATH * 4];
  return narrow(std::wstring_view(buffer, GetCurrentDirectoryW(MAX_PATH * 4, buffer)));
}

// Runs the setup program at `path` held, as the install run does.
Status run_held(const std::string& path, const std::string& folder) {
  Result<OwnedFile> hold = hold_setup_file(path, BusyWait{});
  OwnedFile none;
  return run_setup_program(path, folder, hold ? hold.value() : none, BusyWait{});
}

TEST(SetupProgram, GetsTheRawFolderLastAndIsDeletedAfterwards) {
  const std::string base = scratch_path("setup-ok");
  FakeSetup setup(base + "\\Quorvane Installer\\Quorvane Setup 1.2.3.exe", std::nullopt, true,
                  L"600");
  ASSERT_TRUE(setup.copied);
  const std::string folder = base + "\\My Apps\\Quorvane";
  ASSERT_TRUE(create_folder_tree(folder));
  EXPECT_FALSE(find_installed_product(folder).has_value());

  ASSERT_TRUE(run_held(setup.path, folder).ok());
  const auto record = test::read_setup_record(setup.path);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->command_line, "\"" + setup.path + "\" /S /currentuser /D=" + folder);
  EXPECT_EQ(record->current_folder, current_folder());  // our own, inherited
  EXPECT_FALSE(file_exists(setup.path));
  EXPECT_EQ(find_installed_product(folder), folder + "\\Quorvane.exe");
}

TEST(SetupProgram, ExitCodesBecomeSignedReasons) {
  const std::string base = scratch_path("setup-codes");
  {
    FakeSetup setup(base + "\\one.exe", L"1", false);
    ASSERT_TRUE(setup.copied);
    EXPECT_EQ(run_held(setup.path, base).reason(), "the installer reported an error (code 1)");
    EXPECT_FALSE(file_exists(setup.path));
  }
  {
    FakeSetup setup(base + "\\crash.exe", L"0xC0000005", false);
    ASSERT_TRUE(setup.copied);
    EXPECT_EQ(run_held(setup.path, base).reason(),
              "the installer reported an error (code -1073741819)");
    EXPECT_FALSE(file_exists(setup.path));
  }
  // Exit code 0 with no product: success, and nothing to launch.
  {
    FakeSetup setup(base + "\\quiet.exe", std::nullopt, false);
    ASSERT_TRUE(setup.copied);
    EXPECT_TRUE(run_held(setup.path, base).ok());
    EXPECT_FALSE(find_installed_product(base).has_value());
  }
}

TEST(SetupProgram, WhatCannotBeStartedStaysWithItsReason) {
  const std::string base = scratch_path("setup-not-started");
  ASSERT_TRUE(create_folder_tree(base));
  const std::string setup = base + "\\setup.exe";
  write_file(setup, std::string(4096, '\x5A'));
  EXPECT_EQ(run_held(setup, base).reason(), kInstallerNotStarted);
  EXPECT_TRUE(file_exists(setup));
  EXPECT_EQ(run_held(base + "\\missing.exe", base).reason(), kInstallerNotStarted);

  // What Windows answers for a blocked program, and for a file still in use after the wait.
  FakeSetup fake(base + "\\blocked.exe", std::nullopt, false);
  ASSERT_TRUE(fake.copied);
  test_busy_bound_ms = 300;
  for (const auto& [error, reason] :
       {std::pair{1260u, kInstallerBlocked}, std::pair{4556u, kInstallerBlocked},
        std::pair{5u, kInstallerBlocked}, std::pair{193u, kInstallerNotStarted},
        std::pair{32u, kDownloadLocked}}) {
    test_setup_start_error = error;
    EXPECT_EQ(run_held(fake.path, base).reason(), reason) << error;
    EXPECT_TRUE(file_exists(fake.path)) << error;
  }
  test_setup_start_error.reset();
  test_busy_bound_ms.reset();
  EXPECT_FALSE(test::read_setup_record(fake.path).has_value());  // never ran
}

TEST(SetupProgram, AnythingNamedLikeTheProductCounts) {
  const std::string folder = scratch_path("product-folder");
  ASSERT_TRUE(create_folder_tree(folder + "\\Quorvane.exe"));
  EXPECT_EQ(find_installed_product(folder), folder + "\\Quorvane.exe");
  EXPECT_EQ(find_installed_product(folder + "\\"), folder + "\\Quorvane.exe");
}

}  // namespace
}  // namespace qv

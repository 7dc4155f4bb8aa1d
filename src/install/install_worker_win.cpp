#include "install/install_worker_win.h"

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "app/app_state_win.h"
#include "app/result.h"
#include "app/text_win.h"
#include "app/thread_win.h"
#include "install/checksum.h"
#include "install/checksum_win.h"
#include "install/install_run.h"
#include "install/location.h"
#include "install/location_win.h"
#include "install/publisher_win.h"
#include "install/setup_file_win.h"
#include "install/setup_runner_win.h"
#include "net/download_win.h"
#include "net/feed.h"
#include "net/feed_expiry_win.h"
#include "net/feed_signature_win.h"
#include "net/feed_win.h"
#include "net/http_win.h"

namespace qv {
namespace {

constexpr std::string_view kFeedMalformedChecksum = "the feed checksum is malformed";
constexpr std::string_view kNoTempFolder = "couldn't create a temp folder";
constexpr std::string_view kVerifyingStatus = "Verifying the download...";
constexpr std::string_view kInstallingDetail =
    "Setting things up \xE2\x80\x94 please keep this window open.";

// A wait shown on `screen` under `status`, with `detail` back once it is over. Verifying and
// Installing can't be canceled, so only the download's waits end on a cancel.
BusyWait shown_on(Screen screen, std::string_view status, std::string_view detail,
                  unsigned bound_ms = kBusyBoundMs) {
  return BusyWait{
      bound_ms, nullptr,
      [screen, status = std::string(status), detail = std::string(detail)](bool waiting) {
        set_state(screen, status, waiting ? kWaitingForDownload : detail, false);
      }};
}

// The download, then the file held from that moment on.
Result<FinishedDownload> fetch_setup(const std::string& url, const std::string& path,
                                     const ReleaseInfo& info, const RetryPause& pause) {
  Result<FinishedDownload> downloaded = download_to_file(url, path, info.size, info.version, pause);
  if (!downloaded) return downloaded;
  set_state(Screen::Verifying, kVerifyingStatus, "", false);
  if (downloaded.value().hold) return downloaded;
  // Another program had it open for writing when the download let go: held once it is done.
  Result<OwnedFile> hold = hold_setup_file(path, shown_on(Screen::Verifying, kVerifyingStatus, ""));
  if (!hold) return fail(hold.reason());
  downloaded.value().hold = std::move(hold.value());
  return downloaded;
}

// The SHA-512 from the hold and, for a product with a publisher, the signer beside it. A file
// that fails either is never to be run, so it is not kept for a resume either.
Status check_setup(OwnedFile& hold, const std::string& path,
                   const std::vector<std::uint8_t>& expected, std::string_view publisher) {
  // WinVerifyTrust reads the whole file again for its own hash, so the publisher check runs on a
  // thread of its own beside the SHA-512: the two reads overlap instead of adding up.
  Status signer;
  const auto check_signer = [&] {
    signer =
        check_setup_publisher(path, publisher, shown_on(Screen::Verifying, kVerifyingStatus, ""));
  };
  OwnedHandle signer_thread;
  if (!publisher.empty()) {
    signer_thread = start_thread(check_signer);
    if (!signer_thread) check_signer();
  }
  const Status verified = verify_download(hold.get(), expected, app_state().cancel_requested);
  if (signer_thread) WaitForSingleObject(signer_thread.get(), INFINITE);
  if (verified.reason() == kChecksumMismatch || signer.reason() == kSetupNotSigned) {
    delete_setup_file(path, hold,
                      shown_on(Screen::Verifying, kVerifyingStatus, "", kBusyDeleteBoundMs));
  }
  if (!verified) return verified;
  return signer;
}

// Everything up to the successful end of the setup program; the caller reports the outcome.
Status install(const std::string& folder, const TrustSettings& trust, const RetryPause& pause) {
  AppState& state = app_state();
  const std::string base_url = feed_base_url();

  if (Status prepared = prepare_install_folder(folder); !prepared) return prepared;

  set_state(Screen::Downloading, "Checking the latest version...", "", false);
  auto feed = fetch_text(base_url + std::string(kFeedFileName), state.cancel_requested);
  if (!feed) return fail(feed.reason());
  // Checked before any value is read, and only what the signature covers is read.
  const auto signed_feed = check_feed_signature(feed.value().text, trust.feed_keys);
  if (!signed_feed) return fail(signed_feed.reason());
  if (Status fresh = check_feed_freshness(feed.value(), signed_feed.value(), trust); !fresh) {
    return fresh;
  }
  auto release = parse_release_feed(signed_feed.value());
  if (!release) return fail(release.reason());
  const ReleaseInfo& info = release.value();
  // The name goes into a file path and a URL: refused before either is formed.
  if (Status name = check_setup_file_name(info.path); !name) return name;

  const auto expected = decode_feed_checksum(info.sha512);
  if (!expected) return fail(std::string(kFeedMalformedChecksum));

  // What earlier runs left is swept before the room for the download is judged: it may be what
  // fills the volume. A folder that is a link to another is never used.
  const auto temp = temp_folder();
  if (!temp) return fail(std::string(kNoTempFolder));
  const std::string download_folder = join_path(*temp, kDownloadFolderName);
  const OwnedFile folder_hold = open_download_folder(download_folder);
  if (!folder_hold) return fail(std::string(kNoTempFolder));
  remove_leftover_downloads(download_folder, info.path);
  const std::string setup_path = join_path(download_folder, info.path);
  const std::uint64_t download_need =
      download_space_needed(info.size, file_size_of(widen(setup_path)));
  if (Status space = check_free_space(folder, download_need); !space) return space;
  if (!is_plain_folder(download_folder)) return fail(std::string(kNoTempFolder));

  const std::string url = base_url + info.path;
  Result<FinishedDownload> setup = fetch_setup(url, setup_path, info, pause);
  if (!setup) return fail(setup.reason());
  Status checked = check_setup(setup.value().hold, setup_path, *expected, trust.setup_publisher);
  if (setup.value().found_whole && checked.reason() == kChecksumMismatch) {
    // A whole file that is not this release (it has just been deleted): downloaded afresh, once,
    // rather than failing on what an earlier run or a broken body left.
    setup = fetch_setup(url, setup_path, info, pause);
    if (!setup) return fail(setup.reason());
    checked = check_setup(setup.value().hold, setup_path, *expected, trust.setup_publisher);
  }
  if (!checked) return checked;

  set_state(Screen::Installing, installing_status(info.version), kInstallingDetail, false);
  state.progress_permille.store(0);
  return run_setup_program(
      setup_path, folder, setup.value().hold,
      shown_on(Screen::Installing, installing_status(info.version), kInstallingDetail));
}

void post_run_finished(WPARAM outcome) {
  if (HWND window = app_state().main_window) PostMessageW(window, MSG_RUN_FINISHED, outcome, 0);
}

}  // namespace

void run_install_worker(std::string folder, const TrustSettings& trust) {
  run_install_worker(std::move(folder), trust, sleep_before_retry);
}

void run_install_worker(std::string folder, const TrustSettings& trust, const RetryPause& pause) {
  const Status installed = install(folder, trust, pause);
  if (installed.canceled()) {
    post_run_finished(kRunCanceled);  // the window puts the screen back itself
    return;
  }
  if (!installed) {
    set_state(Screen::Failed, "Something went wrong.", installed.reason(), true);
    return;
  }

  app_state().progress_permille.store(1000);
  // The launch path first: the window reads it when the run-finished message arrives.
  if (const auto product = find_installed_product(folder)) {
    set_launch_path(*product);
    set_state(Screen::Done, "You're all set.", "Quorvane is installed and ready.", false);
  } else {
    set_state(Screen::Done, "Quorvane is installed.", "You can close this window.", false);
  }
  post_run_finished(kRunSucceeded);
}

}  // namespace qv

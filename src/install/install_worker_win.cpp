#include "install/install_worker_win.h"

#include <string_view>
#include <utility>

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
#include "install/setup_runner_win.h"
#include "net/download_win.h"
#include "net/feed.h"
#include "net/feed_signature_win.h"
#include "net/feed_win.h"
#include "net/http_win.h"

namespace qv {
namespace {

constexpr std::string_view kFeedMalformedChecksum = "the feed checksum is malformed";
constexpr std::string_view kNoTempFolder = "couldn't create a temp folder";

// Everything up to the successful end of the setup program; the caller reports the outcome.
Status install(const std::string& folder, const TrustSettings& trust, const RetryPause& pause) {
  AppState& state = app_state();
  const std::string base_url = feed_base_url();

  if (Status prepared = prepare_install_folder(folder); !prepared) return prepared;

  set_state(Screen::Downloading, "Checking the latest version...", "", false);
  auto feed = fetch_text(base_url + std::string(kFeedFileName), state.cancel_requested);
  if (!feed) return fail(feed.reason());
  // Checked before any value is read, and only what the signature covers is read.
  const auto signed_feed = check_feed_signature(feed.value(), trust.feed_keys);
  if (!signed_feed) return fail(signed_feed.reason());
  auto release = parse_release_feed(signed_feed.value());
  if (!release) return fail(release.reason());
  const ReleaseInfo& info = release.value();
  // The name goes into a file path and a URL: refused before either is formed.
  if (Status name = check_setup_file_name(info.path); !name) return name;

  const auto expected = decode_feed_checksum(info.sha512);
  if (!expected) return fail(std::string(kFeedMalformedChecksum));

  if (Status space = check_free_space(folder, info.size); !space) return space;

  const auto temp = temp_folder();
  if (!temp) return fail(std::string(kNoTempFolder));
  const std::string download_folder = join_path(*temp, kDownloadFolderName);
  if (!create_folder_tree(download_folder)) return fail(std::string(kNoTempFolder));
  const std::string setup_path = join_path(download_folder, info.path);

  if (Status downloaded =
          download_to_file(base_url + info.path, setup_path, info.size, info.version, pause);
      !downloaded) {
    return downloaded;
  }

  set_state(Screen::Verifying, "Verifying the download...", "", false);
  // WinVerifyTrust reads the whole file again for its own hash, so the publisher check runs on a
  // thread of its own beside the SHA-512: the two reads overlap instead of adding up.
  Status signer;
  const auto check_signer = [&] {
    signer = check_setup_publisher(setup_path, trust.setup_publisher);
  };
  OwnedHandle signer_thread;
  if (!trust.setup_publisher.empty()) {
    signer_thread = start_thread(check_signer);
    if (!signer_thread) check_signer();
  }
  const Status verified = verify_download(setup_path, *expected, state.cancel_requested);
  if (signer_thread) WaitForSingleObject(signer_thread.get(), INFINITE);
  if (!verified) {
    // A mismatch's deletion fails while WinVerifyTrust has the file open: deleted once more.
    if (verified.reason() == kChecksumMismatch) DeleteFileW(widen(setup_path).c_str());
    return verified;
  }
  if (!signer) return signer;

  set_state(Screen::Installing, installing_status(info.version),
            "Setting things up \xE2\x80\x94 please keep this window open.", false);
  state.progress_permille.store(0);
  return run_setup_program(setup_path, folder);
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

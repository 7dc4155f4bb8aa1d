// The resumable download of the setup program into a file, on the install worker's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "app/handles_win.h"
#include "app/result.h"

namespace qv {

// The wait before a retry after an interrupted or dropped attempt.
using RetryPause = std::function<void()>;

// Two seconds of the platform's sleep; a cancel does not shorten it.
void sleep_before_retry();

// A finished download.
struct FinishedDownload {
  // The file held for the verification (open for reading, read sharing only), taken over from the
  // download with no moment in which nobody had it open; an empty handle when it could not be
  // taken over that way.
  OwnedFile hold;
  // The file was found whole rather than received to its end (DownloadEnd::WholeFileFound).
  bool found_whole = false;
};

// Fetches `url` into `destination` (UTF-8 path; its folder exists) in up to four attempts,
// resuming a partial file with a range request, and publishes progress and retries through
// set_state and progress_permille. A file that already holds `expected_size` bytes is not
// fetched again. While another program has the file in use, opening it waits (up to
// kBusyBoundMs, ended at once by a cancel). `expected_size` 0 means unknown. Otherwise a reason
// text ("canceled" when the user canceled).
Result<FinishedDownload> download_to_file(std::string_view url, std::string_view destination,
                                          std::uint64_t expected_size, std::string_view version);

// The same with another pause, so that tests need not wait.
Result<FinishedDownload> download_to_file(std::string_view url, std::string_view destination,
                                          std::uint64_t expected_size, std::string_view version,
                                          const RetryPause& pause);

}  // namespace qv

// The resumable download of the setup program into a file, on the install worker's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "app/result.h"

namespace qv {

// The wait before a retry after an interrupted or dropped attempt.
using RetryPause = std::function<void()>;

// Two seconds of the platform's sleep; a cancel does not shorten it.
void sleep_before_retry();

// Fetches `url` into `destination` (UTF-8 path; its folder exists) in up to four attempts,
// resuming a partial file with a range request, and publishes progress and retries through
// set_state and progress_permille. `expected_size` 0 means unknown. Success, or a reason text
// ("canceled" when the user canceled).
Status download_to_file(std::string_view url, std::string_view destination,
                        std::uint64_t expected_size, std::string_view version);

// The same with another pause, so that tests need not wait.
Status download_to_file(std::string_view url, std::string_view destination,
                        std::uint64_t expected_size, std::string_view version,
                        const RetryPause& pause);

}  // namespace qv

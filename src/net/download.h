// The resumable download's decisions and texts, over an injected port (clock, pause, transport,
// file, published state, cancel flag). Pure logic: the Win32 side only supplies the port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/result.h"

namespace qv {

inline constexpr int kDownloadAttempts = 4;
inline constexpr std::uint64_t kProgressTextStep = 2097152;  // a text refresh per 2 MiB
inline constexpr std::uint32_t kDownloadProgressCap = 999;   // 1000 is the worker's, on success
inline constexpr double kSpeedShownAfterSeconds = 1.0;

// "Downloading Quorvane 1.4.2..."
std::string download_headline(std::string_view version);

// "Resuming at 3 / 10 MB"
std::string resuming_text(std::uint64_t start_offset, std::uint64_t expected_size);
// "0 / 10 MB"
std::string fresh_start_text(std::uint64_t expected_size);
// "Connection interrupted at 3 MB — retrying (attempt 2 of 4)..."
std::string interrupted_text(std::uint64_t bytes_done, int next_attempt);
// "Connection dropped at 3 MB — resuming (attempt 2 of 4)..."
std::string dropped_text(std::uint64_t bytes_done, int next_attempt);

// "1.5 MB/s" from one MiB per second on, else "812 KB/s".
std::string speed_text(double bytes_per_second);
// "~42s left", "~3m 5s left"; 0 seconds show as 1.
std::string time_left_text(std::uint64_t seconds_left);

// "6 / 10 MB · 1.5 MB/s · ~3s left", or "6 / 10 MB" while there is no speed to show (nothing
// received in this attempt yet, unknown size, or less than a second elapsed).
std::string progress_text(std::uint64_t bytes_done, std::uint64_t start_offset,
                          std::uint64_t expected_size, double elapsed_seconds);

// Whether an attempt continues what the file holds (`file_size` is empty when there is no file).
bool should_resume(std::optional<std::uint64_t> file_size, std::uint64_t expected_size);

// Whether the file already holds the whole download: exactly the known size. Such a file is never
// fetched again; the verification judges it.
bool holds_whole_file(std::optional<std::uint64_t> file_size, std::uint64_t expected_size);

// The block of `block_size` bytes that brought the count to `bytes_done` crossed a 2 MiB boundary.
inline bool crosses_progress_step(std::uint64_t bytes_done, std::size_t block_size) {
  return bytes_done % kProgressTextStep < block_size;
}

// bytes_done * 1000 / expected_size, at most 999; expected_size must not be 0.
std::uint32_t progress_permille_for(std::uint64_t bytes_done, std::uint64_t expected_size);

// Receives each block of a response body.
class BodySink {
 public:
  virtual void on_block(const std::uint8_t* bytes, std::size_t count) = 0;

 protected:
  ~BodySink() = default;
};

struct OpenOutcome {
  enum class Kind { Body, RangeRefused, Failed };
  Kind kind = Kind::Failed;
  std::uint32_t status_code = 0;  // 200 or 206 with Kind::Body
  std::string error;              // with Kind::Failed
  // The whole file's size as the server's answer gives it, when it does.
  std::optional<std::uint64_t> server_size;
};

// How opening the destination went. Another program's hold on it (a virus scanner) is waited out
// by the port itself; what is left is reported here.
enum class FileOpen { Opened, Failed, StillInUse, Canceled };

// Everything the download does to the world. One attempt at a time uses the file and the request.
class DownloadPort {
 public:
  // Monotonic seconds.
  virtual double now_seconds() = 0;
  // The pause before a retry; not shortened by a cancel.
  virtual void pause_before_retry() = 0;

  virtual bool cancel_requested() = 0;
  virtual void raise_cancel() = 0;
  virtual void publish_status(std::string_view status, std::string_view detail) = 0;
  virtual void publish_progress(std::uint32_t permille) = 0;

  // Size of the destination, or nothing when it does not exist.
  virtual std::optional<std::uint64_t> file_size() = 0;
  // Opens the existing destination for appending; never creates it.
  virtual FileOpen open_for_append() = 0;
  // Creates the destination empty, replacing anything there.
  virtual FileOpen create_empty() = 0;
  // Writes all bytes to the open destination.
  virtual bool write(const std::uint8_t* bytes, std::size_t count) = 0;
  virtual void close_file() = 0;
  // Deletes the destination; failure is ignored.
  virtual void delete_file() = 0;

  // Opens the GET, with an open-ended range from `start_offset` when it is not 0.
  virtual OpenOutcome open_request(std::uint64_t start_offset) = 0;
  // Reads the opened body to its end into `sink`, looking at the cancel flag before every read;
  // fails with "canceled" or "download interrupted". The request is closed on every way out.
  virtual Status read_body(BodySink& sink) = 0;

 protected:
  ~DownloadPort() = default;
};

// How a download that succeeded ended.
enum class DownloadEnd {
  Received,        // the attempts of this call wrote the file to its end
  WholeFileFound,  // an attempt found the file whole (left by an earlier run, or by a body that
                   // broke after its last byte): whether it is this release, only the
                   // verification can tell
};

// Up to four attempts, resuming where it can. How it ended, or the reason the download failed.
Result<DownloadEnd> run_download(DownloadPort& port, std::uint64_t expected_size,
                                 std::string_view version);

}  // namespace qv

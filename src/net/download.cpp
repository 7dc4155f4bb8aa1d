#include "net/download.h"

#include <cmath>
#include <limits>

#include "app/text.h"
#include "install/busy_wait.h"

namespace qv {
namespace {

constexpr std::string_view kCouldNotWrite = "couldn't write to the temp folder";
constexpr std::string_view kOutOfSpace = "ran out of disk space while downloading";
constexpr std::string_view kClosedEarly = "the connection closed before the download finished";
constexpr std::string_view kNoResume = "the download server does not support resuming";
constexpr std::string_view kServerFileShort =
    "the file on the server is smaller than the release feed says";

std::string retry_text(std::string_view what, std::uint64_t bytes_done, std::string_view doing,
                       int next_attempt) {
  std::string text(what);
  text += whole_megabytes(bytes_done);
  text += " MB \u2014 ";
  text += doing;
  text += " (attempt ";
  text += std::to_string(next_attempt);
  text += " of ";
  text += std::to_string(kDownloadAttempts);
  text += ")...";
  return text;
}

// Writes each block of one attempt and publishes what it did. Text is composed only when a block
// crosses a 2 MiB boundary, so the per-block cost is a write and one atomic store.
class AttemptSink final : public BodySink {
 public:
  AttemptSink(DownloadPort& port, const std::string& headline, std::uint64_t start_offset,
              std::uint64_t expected_size, double started)
      : port_(port),
        headline_(headline),
        start_offset_(start_offset),
        expected_size_(expected_size),
        started_(started),
        bytes_done_(start_offset) {}

  void on_block(const std::uint8_t* bytes, std::size_t count) override {
    if (disk_failed_) return;  // the raised cancel ends the body at its next turn
    if (!port_.write(bytes, count)) {
      disk_failed_ = true;
      port_.raise_cancel();
      return;
    }
    bytes_done_ += count;
    if (expected_size_ != 0) {
      port_.publish_progress(progress_permille_for(bytes_done_, expected_size_));
    }
    if (crosses_progress_step(bytes_done_, count)) {
      port_.publish_status(headline_, progress_text(bytes_done_, start_offset_, expected_size_,
                                                    port_.now_seconds() - started_));
    }
  }

  std::uint64_t bytes_done() const { return bytes_done_; }
  bool disk_failed() const { return disk_failed_; }

 private:
  DownloadPort& port_;
  const std::string& headline_;
  std::uint64_t start_offset_;
  std::uint64_t expected_size_;
  double started_;
  std::uint64_t bytes_done_;
  bool disk_failed_ = false;
};

// The destination could not be opened: nothing is deleted (a partial file is kept for a later
// run), but a cancel that ended the wait for it deletes the file as a cancel always does.
Reason file_not_opened(DownloadPort& port, FileOpen outcome) {
  switch (outcome) {
    case FileOpen::StillInUse:
      return fail(std::string(kDownloadLocked));
    case FileOpen::Canceled:
      port.delete_file();
      return fail(std::string(kCanceled));
    case FileOpen::Opened:
    case FileOpen::Failed:
      break;
  }
  return fail(std::string(kCouldNotWrite));
}

}  // namespace

std::string download_headline(std::string_view version) {
  std::string text = "Downloading Quorvane ";
  text += version;
  text += "...";
  return text;
}

std::string resuming_text(std::uint64_t start_offset, std::uint64_t expected_size) {
  return "Resuming at " + whole_megabytes(start_offset) + " / " + whole_megabytes(expected_size) +
         " MB";
}

std::string fresh_start_text(std::uint64_t expected_size) {
  return "0 / " + whole_megabytes(expected_size) + " MB";
}

std::string interrupted_text(std::uint64_t bytes_done, int next_attempt) {
  return retry_text("Connection interrupted at ", bytes_done, "retrying", next_attempt);
}

std::string dropped_text(std::uint64_t bytes_done, int next_attempt) {
  return retry_text("Connection dropped at ", bytes_done, "resuming", next_attempt);
}

std::string speed_text(double bytes_per_second) {
  const double per_megabyte = bytes_per_second / static_cast<double>(kBytesPerMegabyte);
  if (per_megabyte >= 1.0) {
    // Tenths as an integer: no locale can turn the point into a comma.
    const long long tenths = std::llround(per_megabyte * 10.0);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB/s";
  }
  return std::to_string(std::llround(bytes_per_second / 1024.0)) + " KB/s";
}

std::string time_left_text(std::uint64_t seconds_left) {
  std::string text = "~";
  if (seconds_left >= 60) {
    text += std::to_string(seconds_left / 60);
    text += "m ";
    text += std::to_string(seconds_left % 60);
  } else {
    text += std::to_string(seconds_left == 0 ? 1 : seconds_left);
  }
  text += "s left";
  return text;
}

std::string progress_text(std::uint64_t bytes_done, std::uint64_t start_offset,
                          std::uint64_t expected_size, double elapsed_seconds) {
  std::string text = whole_megabytes(bytes_done) + " / " + whole_megabytes(expected_size) + " MB";
  const std::uint64_t received = bytes_done > start_offset ? bytes_done - start_offset : 0;
  if (received == 0 || expected_size == 0 || !(elapsed_seconds >= kSpeedShownAfterSeconds)) {
    return text;
  }
  const double speed = static_cast<double>(received) / elapsed_seconds;
  std::uint64_t seconds_left = 0;
  if (speed > 1.0) {
    const std::uint64_t remaining = expected_size > bytes_done ? expected_size - bytes_done : 0;
    const double left = static_cast<double>(remaining) / speed;
    // Below 2^64 by construction (remaining < 2^64, speed > 1), but stay defined regardless.
    seconds_left = left >= 18446744073709551615.0 ? std::numeric_limits<std::uint64_t>::max()
                                                  : static_cast<std::uint64_t>(left);
  }
  text += " \u00b7 ";
  text += speed_text(speed);
  text += " \u00b7 ";
  text += time_left_text(seconds_left);
  return text;
}

bool should_resume(std::optional<std::uint64_t> file_size, std::uint64_t expected_size) {
  if (!file_size || *file_size == 0) return false;
  return expected_size == 0 || *file_size < expected_size;
}

bool holds_whole_file(std::optional<std::uint64_t> file_size, std::uint64_t expected_size) {
  return expected_size != 0 && file_size == expected_size;
}

std::uint32_t progress_permille_for(std::uint64_t bytes_done, std::uint64_t expected_size) {
  if (bytes_done >= expected_size) return kDownloadProgressCap;
  // bytes_done < expected_size here; avoid overflowing the product for absurd sizes.
  const std::uint64_t permille = bytes_done <= std::numeric_limits<std::uint64_t>::max() / 1000
                                     ? bytes_done * 1000 / expected_size
                                     : bytes_done / (expected_size / 1000);
  return permille > kDownloadProgressCap ? kDownloadProgressCap
                                         : static_cast<std::uint32_t>(permille);
}

Result<DownloadEnd> run_download(DownloadPort& port, std::uint64_t expected_size,
                                 std::string_view version) {
  const std::string headline = download_headline(version);
  for (int attempt = 1;; ++attempt) {
    const bool last_attempt = attempt == kDownloadAttempts;
    if (port.cancel_requested()) {
      port.delete_file();
      return fail(std::string(kCanceled));
    }

    // Whatever the file holds now decides how this attempt starts, also after an earlier run.
    const std::optional<std::uint64_t> existing = port.file_size();
    if (holds_whole_file(existing, expected_size)) return DownloadEnd::WholeFileFound;
    const bool resume = should_resume(existing, expected_size);
    std::uint64_t start_offset = 0;
    if (resume) {
      const FileOpen opened = port.open_for_append();
      if (opened != FileOpen::Opened) return file_not_opened(port, opened);
      start_offset = *existing;
      port.publish_status(headline, resuming_text(start_offset, expected_size));
    } else {
      port.delete_file();  // an empty file, or one already as large as expected or larger
      const FileOpen created = port.create_empty();
      if (created != FileOpen::Opened) return file_not_opened(port, created);
      port.publish_status(headline, fresh_start_text(expected_size));
    }

    // Taken before the request opens, so the time to connect counts in the speed.
    AttemptSink sink(port, headline, start_offset, expected_size, port.now_seconds());
    std::optional<std::string> error;
    std::uint32_t status_code = 0;
    OpenOutcome opened = port.open_request(start_offset);
    if (expected_size != 0 && opened.server_size && *opened.server_size < expected_size) {
      // The server says so itself (a half-uploaded release): no attempt can finish the file,
      // and a resume of what it holds would only be refused. Try Again starts clean.
      port.close_file();
      port.delete_file();
      return fail(std::string(kServerFileShort));
    }
    switch (opened.kind) {
      case OpenOutcome::Kind::Failed:
        error = std::move(opened.error);
        break;
      case OpenOutcome::Kind::RangeRefused:
        break;
      case OpenOutcome::Kind::Body: {
        status_code = opened.status_code;
        const Status body = port.read_body(sink);
        if (!body) error = body.reason();
        break;
      }
    }
    port.close_file();

    if (sink.disk_failed()) {
      port.delete_file();
      return fail(std::string(kOutOfSpace));
    }
    if (error) {
      if (port.cancel_requested()) {
        port.delete_file();
        return fail(std::move(*error));
      }
      // The body broke after its last byte (a chunked end cut off, a reset after the last block).
      if (holds_whole_file(port.file_size(), expected_size)) return DownloadEnd::WholeFileFound;
      if (last_attempt) return fail(std::move(*error));
      port.publish_status(headline, interrupted_text(sink.bytes_done(), attempt + 1));
      port.pause_before_retry();
      continue;
    }
    if (!resume || status_code == 206) {
      if (expected_size == 0 || sink.bytes_done() >= expected_size) return DownloadEnd::Received;
      if (last_attempt) return fail(std::string(kClosedEarly));
      port.publish_status(headline, dropped_text(sink.bytes_done(), attempt + 1));
      port.pause_before_retry();
      continue;  // the file now holds what arrived: the next attempt resumes
    }
    // A resume answered with the whole file (200) or refused (416): start over at once.
    port.delete_file();
    if (last_attempt) return fail(std::string(kNoResume));
  }
}

}  // namespace qv

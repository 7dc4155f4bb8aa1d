#include "net/download_win.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>

#include "app/app_state_win.h"
#include "app/handles_win.h"
#include "app/text_win.h"
#include "install/busy_wait_win.h"
#include "install/setup_file_win.h"
#include "net/download.h"
#include "net/http_win.h"

namespace qv {
namespace {

constexpr DWORD kRetryPauseMs = 2000;
// Other handles (a virus scanner, the user) may read, write or delete the file meanwhile.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class WinDownloadPort final : public DownloadPort {
 public:
  WinDownloadPort(std::string_view url, std::string_view destination, std::string_view version,
                  const RetryPause& pause)
      : url_(url),
        destination_(widen(destination)),
        headline_(download_headline(version)),
        pause_(pause) {}

  double now_seconds() override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void pause_before_retry() override { pause_(); }

  bool cancel_requested() override { return app_state().cancel_requested.load(); }
  void raise_cancel() override { app_state().cancel_requested.store(true); }
  void publish_status(std::string_view status, std::string_view detail) override {
    set_state(Screen::Downloading, status, detail, false);
  }
  void publish_progress(std::uint32_t permille) override {
    app_state().progress_permille.store(permille, std::memory_order_release);
  }

  std::optional<std::uint64_t> file_size() override { return file_size_of(destination_); }

  FileOpen open_for_append() override {
    const FileOpen opened = open_destination(OPEN_EXISTING);
    if (opened == FileOpen::Opened &&
        !SetFilePointerEx(file_.get(), LARGE_INTEGER{}, nullptr, FILE_END)) {
      file_.reset();
      return FileOpen::Failed;
    }
    return opened;
  }

  FileOpen create_empty() override { return open_destination(CREATE_ALWAYS); }

  bool write(const std::uint8_t* bytes, std::size_t count) override {
    while (count > 0) {
      const DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
      DWORD written = 0;
      if (!WriteFile(file_.get(), bytes, chunk, &written, nullptr) || written == 0) return false;
      bytes += written;
      count -= written;
    }
    return true;
  }

  // The file is never left with no handle of ours between the last write and the hold that the
  // verification takes (take_hold): a reader that shares writing is opened before the writer
  // closes, so a scanner that waits for nobody to have the file open cannot take it in between.
  void close_file() override {
    if (file_) {
      bridge_.reset(CreateFileW(destination_.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    file_.reset();
  }
  void delete_file() override {
    bridge_.reset();
    delete_own_file(destination_.c_str());
  }

  // The finished file, opened for reading with read sharing only while the bridge still has it;
  // an empty handle when another program had it open for writing meanwhile.
  OwnedFile take_hold() {
    OwnedFile hold(CreateFileW(destination_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    bridge_.reset();
    return hold;
  }

  OpenOutcome open_request(std::uint64_t start_offset) override {
    OpenGetOutcome opened = open_get(url_, start_offset);
    if (auto* reason = std::get_if<Reason>(&opened)) {
      return OpenOutcome{OpenOutcome::Kind::Failed, 0, std::move(reason->text), std::nullopt};
    }
    if (const auto* refused = std::get_if<RangeRefused>(&opened)) {
      return OpenOutcome{OpenOutcome::Kind::RangeRefused, 0, {}, refused->file_size};
    }
    request_.emplace(std::move(std::get<HttpRequest>(opened)));
    return OpenOutcome{OpenOutcome::Kind::Body, request_->status_code, {}, request_->file_size};
  }

  Status read_body(BodySink& sink) override {
    HttpRequest request = std::move(*request_);
    request_.reset();
    return qv::read_body(std::move(request), app_state().cancel_requested,
                         [&sink](const std::uint8_t* bytes, std::size_t count) {
                           sink.on_block(bytes, count);
                           return true;
                         });
  }

 private:
  // Opens the destination for writing, waiting while another program has it in use (shown on
  // the screen; a cancel ends the wait at once).
  FileOpen open_destination(DWORD disposition) {
    bridge_.reset();
    const BusyWait wait{kBusyBoundMs, &app_state().cancel_requested, [this](bool waiting) {
                          // The attempt shows its own text once the file is open.
                          if (waiting) publish_status(headline_, kWaitingForDownload);
                        }};
    const BusyOutcome opened =
        retry_on_own_file(FileStep::Open, wait, destination_.c_str(), [&]() -> std::uint32_t {
          file_.reset(CreateFileW(destination_.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                  disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
          return file_ ? 0 : GetLastError();
        });
    if (opened.ok()) return FileOpen::Opened;
    if (opened.canceled) return FileOpen::Canceled;
    return opened.still_busy(FileStep::Open) ? FileOpen::StillInUse : FileOpen::Failed;
  }

  std::string url_;
  std::wstring destination_;
  std::string headline_;
  const RetryPause& pause_;
  OwnedFile file_;
  OwnedFile bridge_;
  std::optional<HttpRequest> request_;
};

}  // namespace

void sleep_before_retry() {
  Sleep(kRetryPauseMs);
}

Result<FinishedDownload> download_to_file(std::string_view url, std::string_view destination,
                                          std::uint64_t expected_size, std::string_view version) {
  return download_to_file(url, destination, expected_size, version, RetryPause(sleep_before_retry));
}

Result<FinishedDownload> download_to_file(std::string_view url, std::string_view destination,
                                          std::uint64_t expected_size, std::string_view version,
                                          const RetryPause& pause) {
  WinDownloadPort port(url, destination, version, pause);
  const Result<DownloadEnd> downloaded = run_download(port, expected_size, version);
  if (!downloaded) return fail(downloaded.reason());
  return FinishedDownload{port.take_hold(), downloaded.value() == DownloadEnd::WholeFileFound};
}

}  // namespace qv

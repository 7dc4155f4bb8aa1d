#include "net/download_win.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>

#include "app/app_state_win.h"
#include "app/handles_win.h"
#include "app/text_win.h"
#include "net/download.h"
#include "net/http_win.h"

namespace qv {
namespace {

constexpr DWORD kRetryPauseMs = 2000;
// Other handles (a virus scanner, the user) may read, write or delete the file meanwhile.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class WinDownloadPort final : public DownloadPort {
 public:
  WinDownloadPort(std::string_view url, std::string_view destination, const RetryPause& pause)
      : url_(url), destination_(widen(destination)), pause_(pause) {}

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

  std::optional<std::uint64_t> file_size() override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(destination_.c_str(), GetFileExInfoStandard, &data)) {
      return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  bool open_for_append() override {
    file_.reset(CreateFileW(destination_.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) return false;
    if (!SetFilePointerEx(file_.get(), LARGE_INTEGER{}, nullptr, FILE_END)) {
      file_.reset();
      return false;
    }
    return true;
  }

  bool create_empty() override {
    file_.reset(CreateFileW(destination_.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file_);
  }

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

  void close_file() override { file_.reset(); }
  void delete_file() override { DeleteFileW(destination_.c_str()); }

  OpenOutcome open_request(std::uint64_t start_offset) override {
    OpenGetOutcome opened = open_get(url_, start_offset);
    if (auto* reason = std::get_if<Reason>(&opened)) {
      return OpenOutcome{OpenOutcome::Kind::Failed, 0, std::move(reason->text)};
    }
    if (std::holds_alternative<RangeRefused>(opened)) {
      return OpenOutcome{OpenOutcome::Kind::RangeRefused, 0, {}};
    }
    request_.emplace(std::move(std::get<HttpRequest>(opened)));
    return OpenOutcome{OpenOutcome::Kind::Body, request_->status_code, {}};
  }

  Status read_body(BodySink& sink) override {
    HttpRequest request = std::move(*request_);
    request_.reset();
    return qv::read_body(
        std::move(request), app_state().cancel_requested,
        [&sink](const std::uint8_t* bytes, std::size_t count) { sink.on_block(bytes, count); });
  }

 private:
  std::string url_;
  std::wstring destination_;
  const RetryPause& pause_;
  OwnedFile file_;
  std::optional<HttpRequest> request_;
};

}  // namespace

void sleep_before_retry() {
  Sleep(kRetryPauseMs);
}

Status download_to_file(std::string_view url, std::string_view destination,
                        std::uint64_t expected_size, std::string_view version) {
  return download_to_file(url, destination, expected_size, version, RetryPause(sleep_before_retry));
}

Status download_to_file(std::string_view url, std::string_view destination,
                        std::uint64_t expected_size, std::string_view version,
                        const RetryPause& pause) {
  WinDownloadPort port(url, destination, pause);
  return run_download(port, expected_size, version);
}

}  // namespace qv

// Helpers for the tests that run under Wine: the local release server and a real window that
// records the messages workers post to it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/win.h"
#include "net/http_win.h"

namespace qv::test {

// "http://127.0.0.1:PORT/" of the release server that the test run started.
std::string server_url();

// GET /_control/<verb>?<query> on the release server; the body of the answer.
std::string control(std::string_view verb, std::string_view query = "");

std::string url_encode(std::string_view text);

// Writes a file the server serves at `path`; returns its SHA-512 in base64.
std::string serve_file(std::string_view path, std::uint64_t size, int seed = 1);
std::string serve_text(std::string_view path, std::string_view text);
void plan(std::string_view path, std::string_view actions);

struct LoggedRequest {
  std::string path;
  std::string range;
  std::string user_agent;
};
std::vector<LoggedRequest> request_log(std::string_view path);

// Other WinHTTP timeouts for the requests opened within the scope (the test build's seam), so
// that a silent server is given up on quickly.
class ScopedHttpTimeouts {
 public:
  explicit ScopedHttpTimeouts(HttpTimeouts timeouts) : old_(test_http_timeouts) {
    test_http_timeouts = timeouts;
  }
  ~ScopedHttpTimeouts() { test_http_timeouts = old_; }
  ScopedHttpTimeouts(const ScopedHttpTimeouts&) = delete;
  ScopedHttpTimeouts& operator=(const ScopedHttpTimeouts&) = delete;

 private:
  HttpTimeouts old_;
};

// Every field of the shared state back at its initial value, the window thread's own included
// (DPI, animation, marquee, launch, fonts, icon, child and main window handles), so that a window
// test starts as the process does. The decoded frames, published once per process, stay.
void reset_shared_state();

// A hidden top-level window of our own class, registered as AppState's main_window while alive.
class MessageWindow {
 public:
  MessageWindow();
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND handle() const { return window_; }

  // Takes every message waiting in this thread's queue for the window, in order.
  std::vector<MSG> drain();

  // Pumps until a message with `id` arrives or `timeout_ms` pass; returns whether it came.
  bool wait_for(UINT id, DWORD timeout_ms);

 private:
  HWND window_ = nullptr;
};

}  // namespace qv::test

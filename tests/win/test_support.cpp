#include "test_support.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "app/app_state_win.h"
#include "net/http_win.h"

namespace qv::test {

void reset_shared_state() {
  AppState& s = app_state();
  set_state(Screen::ChooseLocation, "", "", false);
  {
    const std::lock_guard lock(s.state_lock);
    s.version_note.clear();
  }
  set_launch_path("");
  s.cancel_requested = false;
  s.progress_permille = 0;
  s.main_window = nullptr;
  s.dpi = kDesignDpi;
  s.animations_enabled = true;
  s.anim_timer_running = false;
  s.anim_frame = 0;
  s.marquee_pos = 0;
  s.launch_started = false;
  s.font_body.reset();
  s.font_small.reset();
  s.font_button.reset();
  s.font_title.reset();
  s.logo_icon = nullptr;
  s.location_edit = nullptr;
  s.browse_button = nullptr;
  s.action_button = nullptr;
}

std::string server_url() {
  const char* url = std::getenv("QV_TEST_SERVER");
  return url ? url : "http://127.0.0.1:1/";
}

std::string url_encode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '/' || c == '~') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string control(std::string_view verb, std::string_view query) {
  const std::atomic<bool> never{false};
  auto body =
      fetch_text(server_url() + "_control/" + std::string(verb) + "?" + std::string(query), never);
  return body ? body.value().text : "control failed: " + body.reason();
}

std::string serve_file(std::string_view path, std::uint64_t size, int seed) {
  return control("make", "path=" + url_encode(path) + "&size=" + std::to_string(size) +
                             "&seed=" + std::to_string(seed));
}

std::string serve_text(std::string_view path, std::string_view text) {
  return control("write", "path=" + url_encode(path) + "&text=" + url_encode(text));
}

void plan(std::string_view path, std::string_view actions) {
  control("plan", "path=" + url_encode(path) + "&actions=" + url_encode(actions));
}

std::vector<LoggedRequest> request_log(std::string_view path) {
  std::vector<LoggedRequest> rows;
  std::istringstream lines(control("log", "path=" + url_encode(path)));
  std::string line;
  while (std::getline(lines, line)) {
    LoggedRequest row;
    std::istringstream fields(line);
    std::getline(fields, row.path, '\t');
    std::getline(fields, row.range, '\t');
    std::getline(fields, row.user_agent, '\t');
    rows.push_back(row);
  }
  return rows;
}

namespace {

constexpr wchar_t kClassName[] = L"QuorvaneTestMessageWindow";

ATOM register_class() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  return RegisterClassW(&wc);
}

}  // namespace

MessageWindow::MessageWindow() {
  static const ATOM registered = register_class();
  (void)registered;
  window_ = CreateWindowExW(0, kClassName, L"test", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  app_state().main_window = window_;
}

MessageWindow::~MessageWindow() {
  app_state().main_window = nullptr;
  DestroyWindow(window_);
}

std::vector<MSG> MessageWindow::drain() {
  std::vector<MSG> messages;
  MSG msg;
  while (PeekMessageW(&msg, window_, 0, 0, PM_REMOVE)) messages.push_back(msg);
  return messages;
}

bool MessageWindow::wait_for(UINT id, DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  MSG msg;
  while (GetTickCount64() < deadline) {
    if (PeekMessageW(&msg, window_, id, id, PM_REMOVE)) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return false;
}

}  // namespace qv::test

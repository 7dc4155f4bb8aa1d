#include "net/http_win.h"

#include <memory>

#include "app/system_library_win.h"
#include "app/text_win.h"
#include "net/capped_text.h"
#include "net/http_headers.h"
#include "net/url.h"

namespace qv {
namespace {

constexpr wchar_t kUserAgent[] = L"QuorvaneInstaller/1";

HttpTimeouts session_timeouts() {
#ifdef QV_TEST_HOOKS
  return test_http_timeouts;
#else
  return HttpTimeouts{};
#endif
}

// A response header's value as text; nothing when the answer has none.
std::optional<std::string> header_text(const WinHttpFunctions& winhttp, HINTERNET request,
                                       DWORD which) {
  // Long enough for any length, range or date; a longer value is none that we could read anyway.
  wchar_t value[128];
  DWORD size = sizeof value;
  if (!winhttp.query_headers(request, which, WINHTTP_HEADER_NAME_BY_INDEX, value, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return narrow(std::wstring_view(value, size / sizeof(wchar_t)));
}

// What the answer says the whole file holds: a 200's length, the total of a 206 or a 416.
std::optional<std::uint64_t> answered_file_size(const WinHttpFunctions& winhttp, HINTERNET request,
                                                DWORD status) {
  if (status == 200) {
    const auto length = header_text(winhttp, request, WINHTTP_QUERY_CONTENT_LENGTH);
    return length ? parse_content_length(*length) : std::nullopt;
  }
  const auto range = header_text(winhttp, request, WINHTTP_QUERY_CONTENT_RANGE);
  return range ? content_range_total(*range) : std::nullopt;
}

}  // namespace

OpenGetOutcome open_get(std::string_view url, std::uint64_t start_offset) {
  const auto parts = split_url(url);
  if (!parts) return fail("bad URL: " + std::string(url));
  // Without the system's WinHTTP no session can be opened.
  const WinHttpFunctions* winhttp = winhttp_functions();
  if (!winhttp) return fail("network unavailable (WinHttpOpen)");

  HttpRequest http;
  http.session.reset(winhttp->open(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!http.session) return fail("network unavailable (WinHttpOpen)");
  const HttpTimeouts timeouts = session_timeouts();
  winhttp->set_timeouts(http.session.get(), timeouts.resolve_ms, timeouts.connect_ms,
                        timeouts.send_ms, timeouts.receive_ms);

  http.connection.reset(
      winhttp->connect(http.session.get(), widen(parts->host).c_str(), parts->port, 0));
  if (!http.connection) return fail("could not connect to " + parts->host);

  http.request.reset(winhttp->open_request(
      http.connection.get(), L"GET", widen(parts->path).c_str(), nullptr, WINHTTP_NO_REFERER,
      WINHTTP_DEFAULT_ACCEPT_TYPES, parts->secure ? WINHTTP_FLAG_SECURE : 0));
  if (!http.request) return fail("request setup failed");

  std::wstring range;
  if (start_offset != 0) range = L"Range: bytes=" + std::to_wstring(start_offset) + L"-";
  const BOOL sent = winhttp->send_request(
      http.request.get(), range.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : range.c_str(),
      range.empty() ? 0 : static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
  if (!sent || !winhttp->receive_response(http.request.get(), nullptr)) {
    return fail("couldn't reach the download server - check your internet connection");
  }

  DWORD status = 0;
  DWORD status_size = sizeof(status);
  winhttp->query_headers(http.request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                         WINHTTP_HEADER_NAME_BY_INDEX, &status, &status_size,
                         WINHTTP_NO_HEADER_INDEX);
  if (start_offset != 0 && status == 416) {
    return RangeRefused{answered_file_size(*winhttp, http.request.get(), status)};
  }
  if (status != 200 && status != 206) return fail("server answered HTTP " + std::to_string(status));
  http.status_code = status;
  http.file_size = answered_file_size(*winhttp, http.request.get(), status);
  return http;
}

Status read_body(HttpRequest request, const std::atomic<bool>& stop,
                 const std::function<bool(const std::uint8_t*, std::size_t)>& consume) {
  const auto buffer = std::make_unique<std::uint8_t[]>(kReadBlockSize);
  const WinHttpFunctions& winhttp = *winhttp_functions();  // loaded: the request exists
  for (;;) {
    if (stop.load()) return fail(std::string(kCanceled));
    DWORD read = 0;
    if (!winhttp.read_data(request.request.get(), buffer.get(), kReadBlockSize, &read)) {
      return fail("download interrupted");
    }
    if (read == 0 || !consume(buffer.get(), read)) return {};
  }
}

Result<FetchedText> fetch_text(std::string_view url, const std::atomic<bool>& stop) {
  auto opened = open_get(url, 0);
  if (auto* reason = std::get_if<Reason>(&opened)) return std::move(*reason);
  HttpRequest& request = std::get<HttpRequest>(opened);
  FetchedText fetched;
  const WinHttpFunctions& winhttp = *winhttp_functions();  // loaded: the request exists
  fetched.date = header_text(winhttp, request.request.get(), WINHTTP_QUERY_DATE);
  fetched.age = header_text(winhttp, request.request.get(), WINHTTP_QUERY_AGE);
  CappedText text;
  const Status body = read_body(
      std::move(request), stop,
      [&text](const std::uint8_t* bytes, std::size_t count) { return text.append(bytes, count); });
  if (!body) return fail(body.reason());
  auto taken = text.take();
  if (!taken) return fail(taken.reason());
  fetched.text = std::move(taken.value());
  return fetched;
}

}  // namespace qv

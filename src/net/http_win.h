// Synchronous HTTP GET over WinHTTP, for worker threads. No connection is reused: each request has
// its own session, connection and request handle.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "app/handles_win.h"
#include "app/result.h"

namespace qv {

inline constexpr std::size_t kReadBlockSize = 262144;

// The timeouts every session gets, in milliseconds.
struct HttpTimeouts {
  int resolve_ms = 15000;
  int connect_ms = 15000;
  int send_ms = 30000;
  int receive_ms = 60000;
};

#ifdef QV_TEST_HOOKS
// Test builds only: the timeouts later requests get instead, so that a silent server is given up
// on in a moment. Written only while no request is being opened. The shipped program has no such
// seam.
inline HttpTimeouts test_http_timeouts;
#endif

// An opened GET whose status is 200 or 206. Closing releases request, connection, session in
// that order (members are destroyed in reverse order of declaration).
struct HttpRequest {
  OwnedInternet session;
  OwnedInternet connection;
  OwnedInternet request;
  std::uint32_t status_code = 0;
  // The whole file's size as the answer gives it (a 200's Content-Length, the total of a 206's
  // Content-Range); nothing when it does not say.
  std::optional<std::uint64_t> file_size;
};

// A resume the server answered with 416, and the file's size when its Content-Range says it.
struct RangeRefused {
  std::optional<std::uint64_t> file_size;
};

using OpenGetOutcome = std::variant<HttpRequest, RangeRefused, Reason>;

// A non-zero start offset sends "Range: bytes=<offset>-".
OpenGetOutcome open_get(std::string_view url, std::uint64_t start_offset);

// Reads the body to its end, handing each block to `consume`, or until `consume` answers false
// (it has all it wants: success). Checks `stop` before every read. The request is closed on
// every way out. Fails with "canceled" or "download interrupted".
Status read_body(HttpRequest request, const std::atomic<bool>& stop,
                 const std::function<bool(const std::uint8_t*, std::size_t)>& consume);

// A text fetched whole, and what its answer said of when it was sent.
struct FetchedText {
  std::string text;                 // the first 64 KiB of the body, valid UTF-8
  std::optional<std::string> date;  // the Date header as sent; nothing without one
  std::optional<std::string> age;   // the Age header as sent (a cache's copy); nothing without one
};

// The first 64 KiB of the body as UTF-8 text. Reading stops as soon as more has arrived, so a
// body that never ends costs no more than a short one.
Result<FetchedText> fetch_text(std::string_view url, const std::atomic<bool>& stop);

}  // namespace qv

// The HTTP client over real WinHTTP against the local release server.
#include "net/http_win.h"

#include <gtest/gtest.h>
#include <winsock2.h>

#include <cstdlib>
#include <sstream>

#include "test_support.h"

namespace qv {
namespace {

using test::server_url;

const std::atomic<bool> kNeverStop{false};

TEST(FetchText, ReadsAFeedAndSendsOurUserAgent) {
  const std::string feed = "version: 2.0.1\npath: Quorvane Setup 2.0.1.exe\n";
  test::serve_text("/http/ok/latest.yml", feed);
  const auto text = fetch_text(server_url() + "http/ok/latest.yml", kNeverStop);
  ASSERT_TRUE(text.ok()) << text.reason();
  EXPECT_EQ(text.value().text, feed);

  const auto log = test::request_log("/http/ok/latest.yml");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].user_agent, "QuorvaneInstaller/1");
  EXPECT_EQ(log[0].range, "");  // never a range header on a text fetch
}

TEST(FetchText, ErrorStatusesAreReported) {
  test::serve_text("/http/status/latest.yml", "version: 1\n");
  test::plan("/http/status/latest.yml", "status:404,status:500,status:503");
  const std::string url = server_url() + "http/status/latest.yml";
  EXPECT_EQ(fetch_text(url, kNeverStop).reason(), "server answered HTTP 404");
  EXPECT_EQ(fetch_text(url, kNeverStop).reason(), "server answered HTTP 500");
  EXPECT_EQ(fetch_text(url, kNeverStop).reason(), "server answered HTTP 503");
  EXPECT_EQ(fetch_text(server_url() + "http/status/missing.yml", kNeverStop).reason(),
            "server answered HTTP 404");
}

TEST(FetchText, BadUrlsAreRejectedBeforeAnyRequest) {
  EXPECT_EQ(fetch_text("/latest.yml", kNeverStop).reason(), "bad URL: /latest.yml");
  EXPECT_EQ(fetch_text("HTTP://127.0.0.1/latest.yml", kNeverStop).reason(),
            "bad URL: HTTP://127.0.0.1/latest.yml");
  EXPECT_EQ(fetch_text("http://127.0.0.1:65536/x", kNeverStop).reason(),
            "bad URL: http://127.0.0.1:65536/x");
}

// A port on which nothing listens: bound once to learn a free number, then closed.
std::uint16_t refused_port() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  int length = sizeof(address);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(s);
  WSACleanup();
  return ntohs(address.sin_port);
}

TEST(FetchText, RefusedConnectionGivesTheUnreachableText) {
  const std::string url = "http://127.0.0.1:" + std::to_string(refused_port()) + "/latest.yml";
  EXPECT_EQ(fetch_text(url, kNeverStop).reason(),
            "couldn't reach the download server - check your internet connection");
}

TEST(FetchText, KeepsOnly64KiBOfABodyThatNeverEnds) {
  // Read to its end, this body would hold the test for ever.
  test::control("make", "path=/http/big/latest.yml&size=1000000&text=1");
  test::plan("/http/big/latest.yml", "endless");
  const auto text = fetch_text(server_url() + "http/big/latest.yml", kNeverStop);
  ASSERT_TRUE(text.ok()) << text.reason();
  EXPECT_EQ(text.value().text.size(), 65536u);
  EXPECT_TRUE(text.value().text.starts_with("# padding line"));

  // Bytes that are not UTF-8 are refused as a whole.
  test::serve_file("/http/big/binary.yml", 100000, 3);
  EXPECT_EQ(fetch_text(server_url() + "http/big/binary.yml", kNeverStop).reason(),
            "feed was not valid text");
}

TEST(FetchText, RaisedStopFlagCancelsBeforeTheFirstRead) {
  test::serve_text("/http/stop/latest.yml", "version: 1\n");
  const std::atomic<bool> stop{true};
  EXPECT_EQ(fetch_text(server_url() + "http/stop/latest.yml", stop).reason(), "canceled");
  // The flag is not looked at while the request is opened: the request was made.
  EXPECT_EQ(test::request_log("/http/stop/latest.yml").size(), 1u);
}

TEST(OpenGet, ResumeSendsAnOpenEndedRangeAndGets206) {
  test::serve_file("/http/range/setup.exe", 3 * 1048576, 7);
  auto opened = open_get(server_url() + "http/range/setup.exe", 1048576);
  ASSERT_TRUE(std::holds_alternative<HttpRequest>(opened));
  HttpRequest& request = std::get<HttpRequest>(opened);
  EXPECT_EQ(request.status_code, 206u);
  std::uint64_t received = 0;
  const Status body =
      read_body(std::move(request), kNeverStop, [&](const std::uint8_t*, std::size_t n) {
        received += n;
        return true;
      });
  EXPECT_TRUE(body.ok()) << body.reason();
  EXPECT_EQ(received, 2u * 1048576);

  auto whole = open_get(server_url() + "http/range/setup.exe", 0);
  ASSERT_TRUE(std::holds_alternative<HttpRequest>(whole));
  EXPECT_EQ(std::get<HttpRequest>(whole).status_code, 200u);

  const auto log = test::request_log("/http/range/setup.exe");
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].range, "bytes=1048576-");
  EXPECT_EQ(log[1].range, "");
}

TEST(OpenGet, Status416IsRangeRefusedOnlyOnAResume) {
  test::serve_file("/http/416/setup.exe", 1000, 1);
  test::plan("/http/416/setup.exe", "416,416");
  const std::string url = server_url() + "http/416/setup.exe";
  EXPECT_TRUE(std::holds_alternative<RangeRefused>(open_get(url, 10)));
  const auto fresh = open_get(url, 0);
  ASSERT_TRUE(std::holds_alternative<Reason>(fresh));
  EXPECT_EQ(std::get<Reason>(fresh).text, "server answered HTTP 416");
  // A server that ignores ranges answers 200; the caller decides what that means.
  test::plan("/http/416/setup.exe", "norange");
  const auto ignored = open_get(url, 10);
  ASSERT_TRUE(std::holds_alternative<HttpRequest>(ignored));
  EXPECT_EQ(std::get<HttpRequest>(ignored).status_code, 200u);
}

// Every setup-program name the release tool lets through is fetched as that very file, by the
// release server and by nginx: the installer puts the feed's `path` into the URL as it is, and
// WinHTTP escapes only what a request line cannot hold (spaces, non-ASCII). Each file holds its
// own name (tests/support/setup_names.py, beside the tool's verdicts). The refused "a%41b.exe"
// shows why "%" is refused: both servers decode it and answer with another file.
TEST(OpenGet, EveryNameTheReleaseToolPassesIsFetchedAsItself) {
  const auto verdicts = fetch_text(server_url() + "names/verdicts.txt", kNeverStop);
  ASSERT_TRUE(verdicts.ok()) << verdicts.reason();
  const char* tls = std::getenv("QV_TEST_TLS_SERVER");
  ASSERT_TRUE(tls) << "run under tests/support/with_tls_server.py";
  std::istringstream lines(verdicts.value().text);
  int passed = 0;
  for (std::string line; std::getline(lines, line);) {
    const std::string name = line.substr(line.find('\t') + 1);
    const bool ok = line.starts_with("ok\t");
    if (!ok && name != "a%41b.exe") continue;
    for (const std::string& server : {server_url(), std::string(tls)}) {
      const auto fetched = fetch_text(server + "names/" + name, kNeverStop);
      EXPECT_EQ(fetched.ok() ? fetched.value().text : fetched.reason(), ok ? name : "aAb.exe")
          << server;
    }
    passed += ok;
  }
  EXPECT_GT(passed, 80);  // the printable ASCII names that Windows allows, and the others
}

TEST(ReadBody, ADroppedConnectionEndsTheBodyEarlyOrFailsIt) {
  test::serve_file("/http/drop/setup.exe", 4 * 1048576, 4);
  test::plan("/http/drop/setup.exe", "drop:1000000");
  auto opened = open_get(server_url() + "http/drop/setup.exe", 0);
  ASSERT_TRUE(std::holds_alternative<HttpRequest>(opened));
  std::uint64_t received = 0;
  const Status body = read_body(std::move(std::get<HttpRequest>(opened)), kNeverStop,
                                [&](const std::uint8_t*, std::size_t n) {
                                  received += n;
                                  return true;
                                });
  // Either way the download sees less than it asked for and retries.
  if (body.ok()) {
    EXPECT_EQ(received, 1000000u);
  } else {
    EXPECT_EQ(body.reason(), "download interrupted");
    EXPECT_LE(received, 1000000u);
  }
}

}  // namespace
}  // namespace qv

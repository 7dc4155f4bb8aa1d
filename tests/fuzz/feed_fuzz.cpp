// The feed reader on any bytes: the body cap and its text test, the line rules, the size, the
// expiry date and the signature line.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "app/text.h"
#include "fuzz_check.h"
#include "net/capped_text.h"
#include "net/feed.h"
#include "net/feed_expiry.h"
#include "net/feed_signature.h"

namespace {

// Every value is cut from one line of the feed, and cut between characters.
void check_value(std::string_view feed, const std::string& value) {
  QV_FUZZ_CHECK(!value.empty());
  QV_FUZZ_CHECK(value.find('\n') == std::string::npos);
  QV_FUZZ_CHECK(feed.find(value) != std::string_view::npos);
  if (qv::is_valid_utf8(feed)) QV_FUZZ_CHECK(qv::is_valid_utf8(value));
}

std::string base64(const qv::FeedSignature& bytes) {
  constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::uint32_t group = (bytes[i] << 16) | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                                (i + 2 < bytes.size() ? bytes[i + 2] : 0);
    for (std::size_t d = 0; d < 4; ++d) {
      out += i + d <= bytes.size() ? kDigits[(group >> (18 - 6 * d)) & 63] : '=';
    }
  }
  return out;
}

std::string with_crlf(std::string_view feed) {
  std::string out;
  for (const char c : feed) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view feed(reinterpret_cast<const char*>(data), size);

  // The cap, with a body from seven bytes over it to eight under it and two reads, both
  // chosen by the first bytes.
  if (size >= 8) {
    const std::size_t limit = size + 8 - data[0] % 16;
    const std::size_t split = data[1] % size;
    qv::CappedText capped(limit);
    capped.append(data, split);
    capped.append(data + split, size - split);
    const std::string_view kept = feed.substr(0, limit);
    auto taken = capped.take();
    QV_FUZZ_CHECK(taken.ok() == qv::is_valid_utf8(kept));
    if (taken.ok()) {
      QV_FUZZ_CHECK(taken.value() == kept);
    } else {
      QV_FUZZ_CHECK(taken.reason() == "feed was not valid text");
    }
  }

  const auto release = qv::parse_release_feed(feed);
  if (release.ok()) {
    check_value(feed, release->version);
    check_value(feed, release->path);
    check_value(feed, release->sha512);
    const auto size_text = qv::feed_size_value(feed);
    if (size_text) check_value(feed, *size_text);
    QV_FUZZ_CHECK(release->size == (size_text ? qv::parse_byte_count(*size_text) : 0));
  } else {
    QV_FUZZ_CHECK(release.reason().starts_with("the release feed is missing "));
  }

  // The same feed saved with Windows line ends reads the same.
  const auto crlf = qv::parse_release_feed(with_crlf(feed));
  QV_FUZZ_CHECK(crlf.ok() == release.ok());
  if (release.ok()) {
    QV_FUZZ_CHECK(crlf->version == release->version && crlf->path == release->path &&
                  crlf->sha512 == release->sha512 && crlf->size == release->size);
  } else {
    QV_FUZZ_CHECK(crlf.reason() == release.reason());
  }

  QV_FUZZ_CHECK(qv::version_note_for_feed(feed).starts_with("Version "));

  // An expiry date read back is the one written, by the standard library's calendar.
  if (const auto expires = qv::feed_value(feed, "expires")) {
    if (const auto seconds = qv::parse_expiry_time(*expires)) {
      using namespace std::chrono;
      const sys_seconds at{std::chrono::seconds(*seconds)};
      const auto day = floor<days>(at);
      const year_month_day date{day};
      const hh_mm_ss time{at - day};
      char text[40];
      std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                    unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                    int(time.minutes().count()), int(time.seconds().count()));
      QV_FUZZ_CHECK(*expires == text);
    }
  }
  // Whatever the server says of its clock changes the words, never whether the feed is used.
  if (size >= 16) {
    std::int64_t now = 0, server = 0;
    std::memcpy(&now, data, 8);
    std::memcpy(&server, data + 8, 8);
    now %= std::int64_t{1} << 40;  // far beyond any clock, in both directions
    server %= std::int64_t{1} << 40;
    const qv::FeedPublicKey key{};
    const qv::TrustSettings trust{{&key, 1}, "", data[2] % 2 == 1};
    const auto alone = qv::check_feed_expiry(feed, trust, {now, std::nullopt, "today"});
    const auto told = qv::check_feed_expiry(feed, trust, {now, server, "today"});
    QV_FUZZ_CHECK(alone.ok() == told.ok());
  }

  // A signature line splits off only in its one canonical spelling: the signed bytes are all of
  // the feed before it, and the signature written out again is the line, with one line end.
  if (const auto split = qv::split_signed_feed(feed)) {
    QV_FUZZ_CHECK(feed.starts_with(split->signed_bytes));
    QV_FUZZ_CHECK(split->signed_bytes.empty() || split->signed_bytes.ends_with('\n'));
    const std::string line = "signature: " + base64(split->signature);
    const std::string_view rest = feed.substr(split->signed_bytes.size());
    QV_FUZZ_CHECK(rest == line || rest == line + "\n" || rest == line + "\r\n");
  }
  return 0;
}

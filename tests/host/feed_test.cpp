#include "net/feed.h"

#include <gtest/gtest.h>

#include "net/feed_expiry.h"
#include "net/feed_signature.h"

namespace qv {
namespace {

constexpr char kFeed[] =
    "version: 1.4.2\n"
    "files:\n"
    "  - url: Quorvane-Setup-1.4.2.exe\n"
    "    sha512: nested-is-not-top-level\n"
    "    size: 91234567\n"
    "path: Quorvane-Setup-1.4.2.exe\n"
    "sha512: 'q83vEjRWeJA='\n"
    "releaseDate: '2026-11-30T10:00:00.000Z'\n";

TEST(ReleaseFeed, ReadsTheFourValues) {
  const auto info = parse_release_feed(kFeed);
  ASSERT_TRUE(info.ok()) << info.reason();
  EXPECT_EQ(info->version, "1.4.2");
  EXPECT_EQ(info->path, "Quorvane-Setup-1.4.2.exe");
  EXPECT_EQ(info->sha512, "q83vEjRWeJA=");
  EXPECT_EQ(info->size, 91234567u);
}

TEST(ReleaseFeed, WindowsLineEndsReadLikeUnixOnes) {
  std::string crlf;
  for (const char c : std::string(kFeed)) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const auto a = parse_release_feed(kFeed);
  const auto b = parse_release_feed(crlf);
  ASSERT_TRUE(b.ok());
  EXPECT_EQ(b->version, a->version);
  EXPECT_EQ(b->path, a->path);
  EXPECT_EQ(b->sha512, a->sha512);
  EXPECT_EQ(b->size, a->size);
  // A "\r" that does not end a line stays part of it; here it sits inside the value.
  EXPECT_EQ(feed_value("version: 1\r2\n", "version"), "1\r2");
  // A last line without "\n" counts, and its lone "\r" is white space to the clean-up.
  EXPECT_EQ(feed_value("path: a\nversion: 7\r", "version"), "7");
}

TEST(ReleaseFeed, ByteOrderMarkHidesTheFirstKey) {
  EXPECT_EQ(feed_value("\xEF\xBB\xBFversion: 1.0\npath: x\n", "version"), std::nullopt);
  EXPECT_EQ(feed_value("\xEF\xBB\xBFversion: 1.0\npath: x\n", "path"), "x");
}

TEST(ReleaseFeed, TopLevelKeyLineRules) {
  EXPECT_EQ(feed_value("version:1.0", "version"), "1.0");  // no space after the colon
  EXPECT_EQ(feed_value("version : 1.0", "version"), std::nullopt);
  EXPECT_EQ(feed_value("Version: 1.0", "version"), std::nullopt);
  EXPECT_EQ(feed_value("  version: 1.0", "version"), std::nullopt);
  EXPECT_EQ(feed_value("\tversion: 1.0", "version"), std::nullopt);
  EXPECT_EQ(feed_value("versions: 2\nversion", "version"), std::nullopt);
  // An empty value counts as absent until a later line gives one.
  EXPECT_EQ(feed_value("version:\nversion: ''\nversion: 2.0\nversion: 3.0", "version"), "2.0");
  EXPECT_EQ(feed_value("version:   \n", "version"), std::nullopt);
  // No comment stripping, no escapes.
  EXPECT_EQ(feed_value("version: 1.0 # beta", "version"), "1.0 # beta");
  EXPECT_EQ(feed_value("path: a\\nb", "path"), "a\\nb");
}

TEST(ReleaseFeed, CleanValueStripsApostrophesBeforeQuotes) {
  EXPECT_EQ(clean_value("  '1.0'  "), "1.0");
  EXPECT_EQ(clean_value(" \"1.0\" "), "1.0");
  EXPECT_EQ(clean_value("\"'1.0'\""), "'1.0'");  // apostrophes inside quotes stay
  EXPECT_EQ(clean_value("'\"1.0\"'"), "1.0");
  EXPECT_EQ(clean_value("''''x'"), "x");
  EXPECT_EQ(clean_value("\xC2\xA0\xE3\x80\x80 v \t"), "v");  // Unicode white space too
  EXPECT_EQ(clean_value("' spaced '"), " spaced ");          // trimmed only before unquoting
  EXPECT_EQ(clean_value("\"\""), "");
}

TEST(ReleaseFeed, SizeIsFoundNestedAndInListItems) {
  EXPECT_EQ(feed_size_value("files:\n  - url: a\n    size: 10\n"), "10");
  EXPECT_EQ(feed_size_value("files:\n  - size: 11\n"), "11");
  EXPECT_EQ(feed_size_value("- - - size: 12"), "12");
  EXPECT_EQ(feed_size_value("\t size:13"), "13");
  // The first non-empty size anywhere wins, nested or not.
  EXPECT_EQ(feed_size_value("files:\n  - size:\n    size: 5\nsize: 6\n"), "5");
  EXPECT_EQ(feed_size_value("sizes: 4\n-size: 3\nsize : 2\n"), std::nullopt);
  EXPECT_EQ(feed_size_value("size:"), std::nullopt);
  EXPECT_EQ(feed_size_value("size: '77'"), "77");
}

TEST(ReleaseFeed, FirstMissingKeyIsReported) {
  EXPECT_EQ(parse_release_feed("path: a\nsha512: b\n").reason(),
            "the release feed is missing a version");
  EXPECT_EQ(parse_release_feed("version: 1\n").reason(),
            "the release feed is missing the installer name");
  EXPECT_EQ(parse_release_feed("version: 1\npath: ''\nsha512: x").reason(),
            "the release feed is missing the installer name");
  EXPECT_EQ(parse_release_feed("version: 1\npath: a\n").reason(),
            "the release feed is missing the checksum");
  EXPECT_EQ(parse_release_feed("").reason(), "the release feed is missing a version");

  const auto no_size = parse_release_feed("version: 1\npath: a\nsha512: b\nsize: -5\n");
  ASSERT_TRUE(no_size.ok());
  EXPECT_EQ(no_size->size, 0u);
}

TEST(ByteCount, AcceptsOnlyPlainUnsigned64BitCounts) {
  EXPECT_EQ(parse_byte_count("0"), 0u);
  EXPECT_EQ(parse_byte_count("500000"), 500000u);
  EXPECT_EQ(parse_byte_count("+42"), 42u);
  EXPECT_EQ(parse_byte_count("0042"), 42u);
  EXPECT_EQ(parse_byte_count("18446744073709551615"), 18446744073709551615u);
  EXPECT_EQ(parse_byte_count("18446744073709551616"), 0u);
  EXPECT_EQ(parse_byte_count("99999999999999999999"), 0u);
  for (const char* bad : {"", "+", "-1", "-0", "1.5", "1e6", " 5", "5 ", "5 0", "0x10", "++1"}) {
    EXPECT_EQ(parse_byte_count(bad), 0u) << bad;
  }
}

TEST(FeedLocation, BaseUrlAlwaysEndsInOneSlash) {
  constexpr char kDefault[] = "https://releases.quorvane.example/stable/";
  EXPECT_EQ(resolve_feed_base_url(std::nullopt, kDefault), kDefault);
  EXPECT_EQ(resolve_feed_base_url("http://127.0.0.1:8000/feed", kDefault),
            "http://127.0.0.1:8000/feed/");
  EXPECT_EQ(resolve_feed_base_url("http://127.0.0.1:8000/feed/", kDefault),
            "http://127.0.0.1:8000/feed/");
  // Set but empty: the base is "/", and the feed URL "/latest.yml" is later a bad URL.
  EXPECT_EQ(resolve_feed_base_url("", kDefault), "/");
  EXPECT_EQ(resolve_feed_base_url(" x ", kDefault), " x /");  // not trimmed
}

TEST(VersionNote, SizeInWholeMegabytes) {
  EXPECT_EQ(compose_version_note("1.4.2", 91234567), "Version 1.4.2 - about 87 MB download");
  EXPECT_EQ(compose_version_note("1.4.2", 500000), "Version 1.4.2 - about 0 MB download");
  EXPECT_EQ(compose_version_note("1.4.2", 1048576), "Version 1.4.2 - about 1 MB download");
  EXPECT_EQ(compose_version_note("1.4.2", 0), "Version 1.4.2");
  EXPECT_EQ(version_note_for_feed("path: a\n"), "Version ");
  EXPECT_EQ(version_note_for_feed("size: 3145728\n"), "Version  - about 3 MB download");
  EXPECT_EQ(version_note_for_feed("version: 2\nsize: 1.5e9\n"), "Version 2");
}

TEST(FeedExpiry, ReadsOnlyTheExactUtcForm) {
  const std::pair<const char*, std::optional<std::int64_t>> rows[] = {
      {"1970-01-01T00:00:00Z", 0},
      {"2027-01-09T12:00:00Z", 1799496000},
      {"2038-01-19T03:14:07Z", 2147483647},  // the last second of 32-bit time, and past it
      {"2038-01-19T03:14:08Z", 2147483648},
      {"2106-02-07T06:28:16Z", 4294967296},
      {"9999-12-31T23:59:59Z", 253402300799},
      {"2024-02-29T00:00:00Z", 1709164800},  // leap days: every 4th year, every 400th century
      {"2000-02-29T23:59:59Z", 951868799},
      {"2023-02-29T00:00:00Z", std::nullopt},
      {"2100-02-29T00:00:00Z", std::nullopt},
      {"2026-04-31T00:00:00Z", std::nullopt},  // month ends
      {"2026-12-32T00:00:00Z", std::nullopt},
      {"2026-00-10T00:00:00Z", std::nullopt},
      {"2026-13-10T00:00:00Z", std::nullopt},
      {"2026-01-00T00:00:00Z", std::nullopt},
      {"1969-12-31T23:59:59Z", std::nullopt},
      {"2027-01-09T24:00:00Z", std::nullopt},
      {"2027-01-09T12:60:00Z", std::nullopt},
      {"2027-01-09T12:00:60Z", std::nullopt},
      {"2027-01-09t12:00:00Z", std::nullopt},
      {"2027-01-09T12:00:00z", std::nullopt},
      {"2027-01-09 12:00:00Z", std::nullopt},
      {"2027-01-09T12:00:00", std::nullopt},
      {"2027-01-09T12:00:00+00:00", std::nullopt},
      {"2027-01-09T12:00:00.000Z", std::nullopt},
      {"2027-1-09T12:00:00Z", std::nullopt},
      {"+027-01-09T12:00:00Z", std::nullopt},
      {"2027-01-09T12:00:0-Z", std::nullopt},
      {" 2027-01-09T12:00:00Z", std::nullopt},  // the feed's clean-up trims; this does not
      {"", std::nullopt},
  };
  for (const auto& [text, seconds] : rows) EXPECT_EQ(parse_expiry_time(text), seconds) << text;
}

TEST(FeedExpiry, ServerTimeIsAnImfFixdatePlusAge) {
  const std::optional<std::string> date = "Sun, 06 Nov 1994 08:49:37 GMT";
  EXPECT_EQ(server_time(date, std::nullopt), 784111777);
  EXPECT_EQ(server_time(" Sun, 06 Nov 1994 08:49:37 GMT\t", std::nullopt), 784111777);
  EXPECT_EQ(server_time(date, "3600"), 784111777 + 3600);
  EXPECT_EQ(server_time(date, "18446744073709551615"), 784111777 + (std::int64_t{1} << 31));
  EXPECT_EQ(server_time("Thu, 01 Jan 1970 00:00:00 GMT", std::nullopt), 0);
  EXPECT_EQ(server_time("Wed, 31 Dec 2036 23:59:60 GMT", std::nullopt), 2114380800);
  for (const char* age : {"", "-5", "+5", "1.5", "soon"}) {
    EXPECT_EQ(server_time(date, std::string(age)), std::nullopt) << age;
  }
  EXPECT_EQ(server_time(std::nullopt, "5"), std::nullopt);
  for (const char* other : {"Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
                            "Sun, 06 Nov 1994 08:49:37 UTC", "Sun, 6 Nov 1994 08:49:37 GMT",
                            "Sun, 06 nov 1994 08:49:37 GMT", "Xyz, 06 Nov 1994 08:49:37 GMT",
                            "Sun, 31 Nov 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:61 GMT",
                            "Sun, 06 Nov 1994 8:49:37 GMT", "1994-11-06T08:49:37Z"}) {
    EXPECT_EQ(server_time(std::string(other), std::nullopt), std::nullopt) << other;
  }
}

TEST(FeedExpiry, ClockReadings) {
  constexpr std::uint64_t k1970 = 116444736000000000;
  EXPECT_EQ(unix_seconds_from_filetime(k1970), 0);
  EXPECT_EQ(unix_seconds_from_filetime(k1970 + 9999999), 0);  // whole seconds, rounded down
  EXPECT_EQ(unix_seconds_from_filetime(k1970 + 10000000), 1);
  EXPECT_EQ(unix_seconds_from_filetime(k1970 - 1), -1);
  EXPECT_EQ(unix_seconds_from_filetime(0), -11644473600);
  EXPECT_EQ(date_text(2026, 12, 8), "2026-12-08");
  EXPECT_EQ(date_text(987, 1, 2), "0987-01-02");
}

TEST(FeedExpiry, WhenASignedFeedIsStillUsed) {
  const FeedPublicKey key{};
  const TrustSettings keys{{&key, 1}, ""}, required{{&key, 1}, "", true}, none{};
  constexpr std::int64_t kExpires = 1799496000, kLast = kExpires + 86400, kDay = 86400;
  const std::string feed = "version: 1\nexpires: 2027-01-09T12:00:00Z\n";
  const std::string clock =
      "this computer's clock looks wrong (it says 2027-02-09): set the "
      "right date and try again";
  const std::string expired(kFeedExpired), no_date(kFeedNoExpiry);
  struct Row {
    std::string feed;
    const TrustSettings& trust;
    std::int64_t now;
    std::optional<std::int64_t> server;
    std::string reason;  // empty: used
  };
  const Row rows[] = {
      {feed, keys, kExpires - 30 * kDay, std::nullopt, ""},
      {feed, required, kLast, std::nullopt, ""},  // the day of slack, to the second
      {feed, keys, kLast + 1, std::nullopt, expired},
      {"expires: \"2027-01-09T12:00:00Z\"\n", keys, kLast + 1, std::nullopt, expired},
      {"  expires: 2027-01-09T12:00:00Z\n", keys, kLast + 1, std::nullopt, ""},  // not top-level
      {"version: 1\n", keys, kLast + 1, std::nullopt, ""},
      {"version: 1\n", required, kExpires, std::nullopt, no_date},
      {"expires:\nexpires: ''\n", required, kExpires, std::nullopt, no_date},
      {"expires: 2027-01-09\n", keys, kExpires, std::nullopt, no_date},
      {"expires: 2027-02-29T00:00:00Z\n", keys, kExpires, std::nullopt, no_date},
      {feed, none, kLast + 365 * kDay, std::nullopt, ""},  // no keys: the line is not read
      {"expires: never\n", none, kExpires, std::nullopt, ""},
      // The server's clock only chooses the words: expired by ours, valid by the server's and
      // more than a day apart.
      {feed, keys, kExpires + 31 * kDay, kExpires, clock},
      {feed, keys, kLast + kDay + 1, kLast, clock},
      {feed, keys, kLast + kDay, kLast, expired},              // a day apart is not wrong
      {feed, keys, kExpires + 31 * kDay, kLast + 1, expired},  // the server agrees
      {feed, keys, kExpires, kLast + 400 * kDay, ""},          // a server ahead refuses nothing
  };
  for (const Row& row : rows) {
    const Status judged =
        check_feed_expiry(row.feed, row.trust, FeedClocks{row.now, row.server, "2027-02-09"});
    EXPECT_EQ(judged.reason(), row.reason) << row.feed << " at " << row.now;
  }
}

TEST(SignedFeed, SplitsOffAStrictSignatureLine) {
  // The base64 of the bytes 0 to 63.
  const std::string sig =
      "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+Pw==";
  const std::string body = "version: 1\r\nsize: 2\n";
  for (const std::string end : {"\n", "\r\n", ""}) {
    const std::string feed = body + "signature: " + sig + end;  // outlives the split's view
    const auto split = split_signed_feed(feed);
    ASSERT_TRUE(split) << end.size();
    EXPECT_EQ(split->signed_bytes, body);
    for (std::size_t i = 0; i < split->signature.size(); ++i) EXPECT_EQ(split->signature[i], i);
  }
  const std::string alone = "signature: " + sig;
  EXPECT_EQ(split_signed_feed(alone)->signed_bytes, "");  // nothing before it
  // An old installer reads a signed feed as it reads the unsigned one.
  EXPECT_EQ(feed_value(body + "signature: " + sig, "size"), "2");

  const std::string cut = sig.substr(0, 84) + "==";
  const std::string malformed[] = {
      body,                                        // no signature line
      body + "signature: " + sig + "\n\n",         // not the last line
      body + "signature: " + sig + "\nsize: 3\n",  // a line after it
      body + "signature: " + sig + "\r",           // a lone "\r" is not a line end
      body + "signature: " + sig + " ",            // nothing after the padding
      body + "signature:" + sig,                   // the space belongs to the line's start
      body + " signature: " + sig,
      body + "Signature: " + sig,
      body + "signature: " + cut,                // cut short
      body + "signature: " + sig.substr(0, 86),  // no padding
      body + "signature: " + sig.substr(0, 87) + "=" + "=",
      body + "signature: " + sig.substr(0, 85) + "x==",  // low bits set: not canonical
      body + "signature: " + sig.substr(0, 40) + "-" + sig.substr(41),  // URL-safe alphabet
      body + "signature: " + sig.substr(0, 40) + "=" + sig.substr(41),
      body + "signature: " + sig.substr(0, 40) + " " + sig.substr(41),
  };
  for (const std::string& feed : malformed) {
    EXPECT_FALSE(split_signed_feed(feed)) << feed.substr(body.size());
  }
}

}  // namespace
}  // namespace qv

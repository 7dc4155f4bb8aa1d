#include "net/url.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "net/http_headers.h"

namespace qv {
namespace {

TEST(SplitUrl, SchemesDefaultsAndPaths) {
  const auto https = split_url("https://releases.example.com/stable/latest.yml");
  ASSERT_TRUE(https);
  EXPECT_TRUE(https->secure);
  EXPECT_EQ(https->port, 443);
  EXPECT_EQ(https->host, "releases.example.com");
  EXPECT_EQ(https->path, "/stable/latest.yml");

  const auto http = split_url("http://127.0.0.1:8080/a/b?x=1&y=%20#frag");
  ASSERT_TRUE(http);
  EXPECT_FALSE(http->secure);
  EXPECT_EQ(http->port, 8080);
  EXPECT_EQ(http->host, "127.0.0.1");
  EXPECT_EQ(http->path, "/a/b?x=1&y=%20#frag");  // query and fragment go out unchanged

  const auto bare = split_url("http://example.com");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->path, "/");
  EXPECT_EQ(bare->port, 80);

  const auto no_host = split_url("https:///latest.yml");
  ASSERT_TRUE(no_host);  // the host is not checked here; connecting fails later
  EXPECT_EQ(no_host->host, "");
}

TEST(SplitUrl, RejectsOtherSchemesAndCase) {
  EXPECT_FALSE(split_url("HTTPS://example.com/"));
  EXPECT_FALSE(split_url("Http://example.com/"));
  EXPECT_FALSE(split_url("ftp://example.com/"));
  EXPECT_FALSE(split_url("example.com/latest.yml"));
  EXPECT_FALSE(split_url("/latest.yml"));
  EXPECT_FALSE(split_url(""));
}

TEST(SplitUrl, PortRules) {
  EXPECT_EQ(split_url("http://h:0/")->port, 0);
  EXPECT_EQ(split_url("http://h:65535/")->port, 65535);
  EXPECT_EQ(split_url("http://h:+8080/")->port, 8080);
  EXPECT_EQ(split_url("http://h:00080")->port, 80);
  EXPECT_FALSE(split_url("http://h:/"));  // empty port
  EXPECT_FALSE(split_url("http://h:"));
  EXPECT_FALSE(split_url("http://h:65536/"));
  EXPECT_FALSE(split_url("http://h:99999999999999999999999/"));
  EXPECT_FALSE(split_url("http://h:+/"));
  EXPECT_FALSE(split_url("http://h:-1/"));
  EXPECT_FALSE(split_url("http://h:80a/"));
  EXPECT_FALSE(split_url("http://h: 80/"));
  // Only the authority's first ":" splits; a ":" in the path is the path's.
  const auto colon_in_path = split_url("http://h/a:b");
  ASSERT_TRUE(colon_in_path);
  EXPECT_EQ(colon_in_path->path, "/a:b");
  EXPECT_EQ(colon_in_path->port, 80);
}

TEST(ResponseHeaders, TheWholeFilesSizeFromLengthAndRange) {
  const std::pair<const char*, std::optional<std::uint64_t>> lengths[] = {
      {"1000", 1000},
      {" 42 ", 42},
      {"0", 0},
      {"18446744073709551615", ~0ull},
      {"", std::nullopt},
      {"+5", std::nullopt},
      {"-5", std::nullopt},
      {"1 000", std::nullopt},
      {"0x10", std::nullopt},
      {"18446744073709551616", std::nullopt}};
  for (const auto& [text, size] : lengths) EXPECT_EQ(parse_content_length(text), size) << text;

  const std::pair<const char*, std::optional<std::uint64_t>> ranges[] = {
      {"bytes 0-99/1000", 1000},
      {"bytes */6291456", 6291456},  // what a 416 answer says
      {"bytes 100-199/*", std::nullopt},
      {"bytes 0-99/", std::nullopt},
      {"bytes 0-99", std::nullopt},
      {"bytes x-99/1000", std::nullopt},
      {"items 0-99/1000", std::nullopt},
      {"bytes 0-99/1000/2", std::nullopt},
      {"", std::nullopt}};
  for (const auto& [text, size] : ranges) EXPECT_EQ(content_range_total(text), size) << text;
}

// What configure makes of a feed address: "host=H port=P path=/p" when it accepts it, else
// nothing.
std::optional<std::string> configure_split(const std::string& url) {
  const std::string command = std::string("'") + QV_CMAKE + "' -DQV_SHOW_FEED_PARTS=ON " +
                              "'-DQUORVANE_FEED_BASE_URL=" + url +
                              "' -DQUORVANE_RELEASE_PAGE_URL=https://example.com/ -P '" +
                              QV_CHECK_SETTINGS + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string said;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) said += buffer;
  if (pclose(pipe) != 0) return std::nullopt;
  const auto at = said.find("host=");
  if (at == std::string::npos) return std::nullopt;
  return said.substr(at, said.find('\n', at) - at);
}

// Every feed address that configure accepts reaches the servers the installer's split names, and
// configure refuses nothing that split accepts but what it refuses on purpose.
TEST(SplitUrl, ConfigureAgreesWithTheInstaller) {
  for (const char* accepted : {
           "https://releases.example.com/stable/",
           "http://releases.example.com",
           "https://releases.example.com:8443/q/",
           "https://releases.example.com:+80/",
           "https://releases.example.com:0/",  // the scheme's default
           "https://releases.example.com:000000443/",
           "https://Releases.Example.COM:65535/a/b/",
       }) {
    const auto parts = split_url(accepted);
    ASSERT_TRUE(parts) << accepted;
    const std::string installer =
        "host=" + parts->host + " port=" + std::to_string(parts->port) + " path=" + parts->path;
    EXPECT_EQ(configure_split(accepted), installer) << accepted;
  }
  // Both refuse.
  for (const char* refused :
       {"https://releases.example.com:65536/", "https://releases.example.com:/",
        "https://releases.example.com:+/", "https://releases.example.com:-1/",
        "https://releases.example.com:80:90/", "ftp://releases.example.com/"}) {
    EXPECT_FALSE(split_url(refused)) << refused;
    EXPECT_EQ(configure_split(refused), std::nullopt) << refused;
  }
  // Configure alone, on purpose: white space, a user name, "?" and "#", no host name.
  for (const char* on_purpose : {"https://releases.example.com/my stuff/", "https://u@example.com/",
                                 "https://releases.example.com?x/", "https://example.com/#a/",
                                 "https:///stable/", "https://exa_mple.com/"}) {
    EXPECT_TRUE(split_url(on_purpose)) << on_purpose;
    EXPECT_EQ(configure_split(on_purpose), std::nullopt) << on_purpose;
  }
}

}  // namespace
}  // namespace qv

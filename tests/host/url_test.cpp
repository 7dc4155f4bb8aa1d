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

// What configure makes of a feed address: "host=H port=P path=/p" when it accepts it.
std::optional<std::string> configure_split(const std::string& url) {
  const std::string command = std::string("'") + QV_CMAKE + "' -DQV_SHOW_FEED_PARTS=ON '-D" +
                              "QUORVANE_FEED_BASE_URL=" + url +
                              "' -DQUORVANE_RELEASE_PAGE_URL=" + "https://e.example/ -P '" +
                              QV_CHECK_SETTINGS + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string said;
  char buffer[512];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe)) said += buffer;
  const auto at = said.find("host=");
  if (!pipe || pclose(pipe) != 0 || at == std::string::npos) return std::nullopt;
  return said.substr(at, said.find('\n', at) - at);
}

// Every feed address that configure accepts splits as the installer splits it, and configure
// refuses nothing the installer accepts but what it refuses on purpose.
TEST(SplitUrl, ConfigureAgreesWithTheInstaller) {
  const std::string h = "https://releases.example.com";
  for (const std::string& url : {h + "/stable/", std::string("http://a.example"), h + ":+80/",
                                 h + ":0/", h + ":000000443/q/", h + ":65535/a/b/"}) {
    const auto parts = split_url(url);
    ASSERT_TRUE(parts) << url;
    EXPECT_EQ(configure_split(url), "host=" + parts->host + " port=" + std::to_string(parts->port) +
                                        " path=" + parts->path);
  }
  // Both refuse; then configure alone, on purpose: white space, "@", "?", "#", no host name.
  for (const std::string& url :
       {h + ":65536/", h + ":/", h + ":+/", h + ":80:90/", h + "/a b/",
        std::string("https://u@a.example/"), h + "?x/", h + "/#a/", std::string("https:///stable/"),
        std::string("https://a_b.example/")}) {
    EXPECT_EQ(configure_split(url), std::nullopt) << url;
  }
}

}  // namespace
}  // namespace qv
